#include "widgets/track_bar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>

#include <algorithm>

namespace {

constexpr int MinimumPosition = 0;
constexpr int MaximumPosition = 31;
constexpr int ArrowStep = 1;
constexpr int PageStep = 2;

} // namespace

// Position 0 is at the top and the Up key moves towards it. The program's own changes go
// through setPosition, which blocks the signals, so valueChanged only reports the user's moves.
TrackBar::TrackBar(QWidget *parent) : QSlider(Qt::Vertical, parent)
{
    setRange(MinimumPosition, MaximumPosition);
    setSingleStep(ArrowStep);
    setPageStep(PageStep);
    setTickPosition(QSlider::NoTicks);
    setInvertedAppearance(true);
    setInvertedControls(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, &TrackBar::changed);
}

int TrackBar::position() const
{
    return value();
}

// Only the left button moves a track bar; the toolkit's sliders would jump to a middle click.
void TrackBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    QSlider::mousePressEvent(event);
}

void TrackBar::setPosition(int position)
{
    const QSignalBlocker blocker(this);
    setValue(std::clamp(position, MinimumPosition, MaximumPosition));
}

// Left and Right act like Up and Down, so that every arrow towards the top moves towards 0.
void TrackBar::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) {
        QSlider::keyPressEvent(event);
        return;
    }
    QKeyEvent vertical(event->type(), key == Qt::Key_Left ? Qt::Key_Up : Qt::Key_Down,
                       event->modifiers(), event->text(), event->isAutoRepeat(), event->count());
    QSlider::keyPressEvent(&vertical);
    event->setAccepted(vertical.isAccepted());
}
