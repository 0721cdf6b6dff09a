#pragma once

#include <QColor>
#include <QFrame>

// A panel with an inner and an outer 1-pixel bevel and a solid background colour that it
// keeps exactly as given.
class BevelPanel : public QFrame {
    Q_OBJECT

public:
    enum class Bevel { None, Raised, Lowered };

    BevelPanel(Bevel inner, Bevel outer, QWidget *parent = nullptr);

    void setColour(const QColor &colour);
    QColor colour() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Bevel m_inner;
    Bevel m_outer;
    QColor m_colour;
};
