#pragma once

#include <QImage>
#include <QWidget>

// A picture with a drawing surface, shown unscaled at the control's top-left corner, so a
// pointer position on the control is a pixel of the picture. While a button pressed on it is
// held, it keeps receiving the pointer's moves and the release, also outside its area.
class PictureBox : public QWidget {
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    const QImage &picture() const;

    // Drawing on a picture that has no surface yet first creates one of the control's size.
    // The right and bottom edges are excluded; what falls outside the picture is not drawn.
    void fillRect(int left, int top, int right, int bottom, const QColor &colour);
    QColor pixel(int x, int y) const;
    // Recolours every pixel connected to (x, y) that has the colour of (x, y).
    void floodFill(int x, int y, const QColor &colour);

    int tag() const;
    void setTag(int tag);

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseMoved(Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Gives the picture a surface that can be drawn on: creates one of the control's size when
    // there is none, and converts a picture whose format cannot be painted on.
    void ensureSurface();

    QImage m_picture;
    int m_tag = 0;
};
