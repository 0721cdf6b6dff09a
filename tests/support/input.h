#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <iosfwd>
#include <vector>

class QWidget;

// Failure messages show texts as text.
void PrintTo(const QString &text, std::ostream *out);

// Shows a top-level window and waits until it is active, so presses and keys reach it as they
// would on screen.
void ShowActive(QWidget *window);

// Qt 6's QTest::mouseMove carries no buttons. A widget keeps receiving moves while a button
// pressed on it is held, wherever the pointer goes, so the move is sent to it directly, as the
// pointer grab would.
void MoveWithButtonsHeld(QWidget *widget, QPoint pos, Qt::MouseButtons held = Qt::LeftButton);

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget);
    int paints = 0;
    // The bounding rectangle of each paint's region, in order.
    std::vector<QRect> painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override;
};
