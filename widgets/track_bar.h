#pragma once

#include <QSlider>

// A vertical track bar, 0 to 31, position 0 at the top, no ticks. Arrow keys move it by 1,
// page keys and clicks beside the thumb by 2. Only the user's own actions raise changed(),
// after the new position is stored; setPosition from the program is silent.
class TrackBar : public QSlider {
    Q_OBJECT

public:
    explicit TrackBar(QWidget *parent = nullptr);

    int position() const;
    // Silent; clamps to 0..31.
    void setPosition(int position);

signals:
    void changed();

protected:
    void mousePressEvent(QMouseEvent *event) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
