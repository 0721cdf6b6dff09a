#pragma once

#include <QImage>
#include <QRect>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

// A scroll bar for long lists. A value change repaints a scroll bar wholly, yet in a list of
// thousands a one-row step seldom moves the slider by a pixel. This one repaints on a value
// change only when what it shows changes: the slider's place, or reaching or leaving an end.
// A slider that only moves along its groove repaints where it was and where it is, not the rest
// of the groove or the arrow buttons; and a bar repainted as it was, as with every refresh of
// the list around it, is a picture drawn again: the style's groove pattern costs more than
// painting a page of the list's rows.
class SteppingScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QStyleOptionSlider styleOption() const;
    QRect subControlRect(const QStyleOptionSlider &option, QStyle::SubControl control) const;
    bool atAnEnd() const;
    // A pressed or hovered part of the bar looks different, which only a whole repaint shows.
    bool showsPlainState() const;
    // The bar as the style paints it for the option, in its plain state, on a transparent
    // picture; null the first time a look is painted. A bar whose look changes at every paint,
    // as while a list scrolls page by page, is painted straight: only a look painted again is
    // kept, and the picture is painted anew only when the option or the style changes.
    const QImage *picture(const QStyleOptionSlider &option);
    QImage m_picture;
    QStyleOptionSlider m_pictureOption;
    const QStyle *m_pictureStyle = nullptr;
    qreal m_pictureRatio = 0;

    QRect m_paintedSlider;
    bool m_paintedAtAnEnd = true;
    bool m_pressed = false;
};
