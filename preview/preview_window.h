#pragma once

#include "huefile/hue_entry.h"

#include <QImage>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;

// A window beside the main one that shows a picture recoloured by an entry, at 1x to 8x with
// nearest-neighbour scaling, or at a lower zoom where that would take gigabytes. It keeps
// nothing once the program ends.
class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget *owner);

    // The entry the picture is recoloured by; the picture follows at once.
    void setEntry(const HueEntry &entry);
    // False, with the reason shown in the window, when the file is no picture.
    bool loadImage(const QString &fileName);
    // What the window shows: the recoloured picture at the chosen zoom.
    const QImage &shownImage() const { return m_shown; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void chooseImage();
    void render();

    HueEntry m_entry{};
    QImage m_image;
    QString m_fileName;
    QImage m_shown;
    // The entry changed while the window was closed; showing it recolours the picture.
    bool m_stale = false;
    QLabel *m_picture = nullptr;
    QLabel *m_status = nullptr;
    QCheckBox *m_wholeImage = nullptr;
    QComboBox *m_zoom = nullptr;
};
