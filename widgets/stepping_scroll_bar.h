#pragma once

#include <QRect>
#include <QScrollBar>

// A scroll bar for long lists. A value change repaints a scroll bar wholly, yet in a list of
// thousands a one-row step seldom moves the slider by a pixel. This one repaints on a value
// change only when what it shows changes: the slider's place, or reaching or leaving an end.
class SteppingScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect sliderRect() const;
    bool atAnEnd() const;

    QRect m_paintedSlider;
    bool m_paintedAtAnEnd = true;
};
