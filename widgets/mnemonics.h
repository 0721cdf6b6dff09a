#pragma once

#include <QObject>

class QWidget;

// Keyboard accelerators of a window's captions with "&": Alt+key always, and the key alone
// while the focused control takes no typed characters. A button is clicked, a check box
// toggled, a radio button chosen, a label moves the focus to its buddy; hidden or disabled
// controls do not react, except a HiddenTabSet, which always does.
class MnemonicFilter : public QObject {
    Q_OBJECT

public:
    // Filters the key events of every widget inside window.
    explicit MnemonicFilter(QWidget *window);

    // Edit fields and text panes take typed characters; buttons, check boxes, radio
    // buttons, track bars and grids do not.
    static bool takesTypedCharacters(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
