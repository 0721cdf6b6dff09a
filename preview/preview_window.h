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

    // The entry the picture is recoloured by, and where it comes from ("entry 12 of hues.mul")
    // for the title; the picture follows at once.
    void setEntry(const HueEntry &entry, const QString &source);
    // False, with the reason shown in the window, when the file is no picture.
    bool loadImage(const QString &fileName);
    // What the window shows: the recoloured picture at the chosen zoom.
    const QImage &shownImage() const { return m_shown; }
    // The recoloured picture at 1x as png, through the checks every export passes, so that
    // nothing is replaced that may not be. False, with the reason shown, when it was not.
    bool savePicture(const QString &fileName);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void chooseImage();
    void chooseSaveName();
    void render();
    void showTitle();

    HueEntry m_entry{};
    QImage m_image;
    QString m_fileName;
    QString m_source;
    QImage m_shown;
    // The entry changed while the window was closed; showing it recolours the picture.
    bool m_stale = false;
    QLabel *m_picture = nullptr;
    QLabel *m_status = nullptr;
    QCheckBox *m_wholeImage = nullptr;
    QComboBox *m_zoom = nullptr;
};
