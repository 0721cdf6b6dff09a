#include "preview/preview_window.h"

#include "preview/picture_image.h"

#include "huefile/entry_bytes.h"
#include "huefile/formats/picture_limit.h"
#include "huefile/formats/png_picture.h"
#include "huefile/input_file.h"
#include "huefile/output_file.h"
#include "widgets/file_layer_name.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

constexpr int Zooms[] = {1, 2, 4, 8};
// The shown picture and its copy on the screen take 8 bytes a pixel; beyond this a zoom would
// take gigabytes, and the next lower zoom is shown instead.
constexpr qint64 MaxShownPixels = 32 << 20;

// The largest zoom up to the chosen one at which the picture stays within the limit; 1 at
// least, for a picture the reader accepted at all.
int FittingZoom(QSize picture, int chosen)
{
    int zoom = chosen;
    while (zoom > 1 && qint64(picture.width()) * picture.height() * zoom * zoom > MaxShownPixels)
        zoom /= 2;
    return zoom;
}

// The file is held whole in memory while it is decoded, so it gets the decoded picture's
// budget; a larger file is refused before any of it is read.
constexpr FileOffset MaxPictureFileSize = FileOffset(PictureLimitMegabytes) << 20;

std::string PictureFileTooLarge()
{
    return "too large for a picture (more than " + std::to_string(MaxPictureFileSize) + " bytes)";
}

} // namespace

PreviewWindow::PreviewWindow(QWidget *owner) : QWidget(owner, Qt::Window)
{
    showTitle();
    auto *choose = new QPushButton("&Open picture...", this);
    auto *save = new QPushButton("&Save picture...", this);
    save->setToolTip("Save the recoloured picture at 1x as png (Ctrl+S)");
    m_wholeImage = new QCheckBox("&Whole image", this);
    m_wholeImage->setToolTip("Recolour every pixel by its brightness, not only the grey ones");
    m_zoom = new QComboBox(this);
    for (int zoom : Zooms)
        m_zoom->addItem(QString("%1x").arg(zoom), zoom);
    m_status = new QLabel("Grey pixels take the entry's colour of their level (0 to 31).", this);
    m_picture = new QLabel(this);
    m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(m_picture);
    scroll->setWidgetResizable(true);

    auto *controls = new QHBoxLayout;
    controls->addWidget(choose);
    controls->addWidget(save);
    controls->addWidget(m_wholeImage);
    controls->addWidget(new QLabel("&Zoom:", this));
    controls->addWidget(m_zoom);
    controls->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_status);
    layout->addWidget(scroll, 1);
    static_cast<QLabel *>(controls->itemAt(3)->widget())->setBuddy(m_zoom);

    connect(choose, &QPushButton::clicked, this, &PreviewWindow::chooseImage);
    connect(save, &QPushButton::clicked, this, &PreviewWindow::chooseSaveName);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            &PreviewWindow::chooseSaveName);
    connect(m_wholeImage, &QCheckBox::toggled, this, &PreviewWindow::render);
    connect(m_zoom, &QComboBox::currentIndexChanged, this, &PreviewWindow::render);
    resize(420, 360);
    // Beside the main window, not over it.
    if (owner)
        move(owner->frameGeometry().topRight() + QPoint(8, 0));
}

// The editor refreshes on every load and edit; a picture of millions of pixels is recoloured
// only when the entry changed, and not at all while the window is closed.
void PreviewWindow::setEntry(const HueEntry &entry, const QString &source)
{
    if (source != m_source) {
        m_source = source;
        showTitle();
    }
    if (SameBytes(entry, m_entry))
        return;
    m_entry = entry;
    if (isVisible())
        render();
    else
        m_stale = true;
}

// Only a regular file, read whole through the file layer: a pipe would hold the whole program
// until someone wrote to it. A picture too large for the reader is named as such, with its
// size, before it is decoded.
bool PreviewWindow::loadImage(const QString &fileName)
{
    const auto refuse = [&](const QString &why) {
        m_status->setText(QString("%1: %2").arg(fileName, why));
        return false;
    };
    const Expected<std::string> bytes =
        ReadInputFile(FileLayerInputName(fileName), MaxPictureFileSize, PictureFileTooLarge());
    if (!bytes)
        return refuse(QString::fromLocal8Bit(bytes.error().c_str()));
    Expected<QImage> image = ImageFromBytes(*bytes);
    if (!image)
        return refuse(QString::fromStdString(image.error()));
    m_image = std::move(*image);
    m_fileName = fileName;
    showTitle();
    render();
    return true;
}

bool PreviewWindow::savePicture(const QString &fileName)
{
    const auto refuse = [&](const QString &why) {
        m_status->setText(QString("%1: %2").arg(fileName, why));
        return false;
    };
    if (m_image.isNull())
        return refuse("no picture is open to save");
    const QImage recoloured = RecolourImage(m_image, m_entry, m_wholeImage->isChecked());
    const Expected<std::string> png = WritePngPicture(PictureOf(recoloured));
    if (!png)
        return refuse(QString::fromStdString(png.error()));
    const Expected<void> written = WriteOutputFile(FileLayerName(fileName), "png", *png);
    if (!written)
        return refuse(QString::fromLocal8Bit(written.error().c_str()));
    m_status->setText(QString("Saved %1").arg(fileName));
    return true;
}

void PreviewWindow::showTitle()
{
    const QString entry = m_source.isEmpty() ? QString("no entry") : m_source;
    const QString picture =
        m_fileName.isEmpty() ? QString("no picture") : QFileInfo(m_fileName).fileName();
    setWindowTitle(QString("Colvane - preview of %1 on %2").arg(entry, picture));
}

void PreviewWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale)
        render();
}

void PreviewWindow::chooseImage()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, "Choose a picture", QString(), "PNG pictures (*.png)");
    if (!fileName.isEmpty())
        loadImage(fileName);
}

void PreviewWindow::chooseSaveName()
{
    const QString fileName = QFileDialog::getSaveFileName(this, "Save the recoloured picture",
                                                          QString(), "PNG pictures (*.png)");
    if (!fileName.isEmpty())
        savePicture(fileName.endsWith(".png", Qt::CaseInsensitive) ? fileName : fileName + ".png");
}

void PreviewWindow::render()
{
    m_stale = false;
    if (m_image.isNull())
        return;
    const int chosen = m_zoom->currentData().toInt();
    const int zoom = FittingZoom(m_image.size(), chosen);
    m_status->setText(zoom == chosen ? m_fileName
                                     : QString("%1 (shown at %2x: %3x would be too large)")
                                           .arg(m_fileName)
                                           .arg(zoom)
                                           .arg(chosen));
    m_shown = RecolourImage(m_image, m_entry, m_wholeImage->isChecked())
                  .scaled(m_image.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_picture->setPixmap(QPixmap::fromImage(m_shown));
}
