#include "preview/preview_window.h"

#include "huefile/formats/recolour.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int Zooms[] = {1, 2, 4, 8};

} // namespace

PreviewWindow::PreviewWindow(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setWindowTitle("Colvane - preview on a picture");
    auto *choose = new QPushButton("&Open picture...", this);
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
    controls->addWidget(m_wholeImage);
    controls->addWidget(new QLabel("&Zoom:", this));
    controls->addWidget(m_zoom);
    controls->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_status);
    layout->addWidget(scroll, 1);
    static_cast<QLabel *>(controls->itemAt(2)->widget())->setBuddy(m_zoom);

    connect(choose, &QPushButton::clicked, this, &PreviewWindow::chooseImage);
    connect(m_wholeImage, &QCheckBox::toggled, this, &PreviewWindow::render);
    connect(m_zoom, &QComboBox::currentIndexChanged, this, &PreviewWindow::render);
    resize(420, 360);
    // Beside the main window, not over it.
    if (owner)
        move(owner->frameGeometry().topRight() + QPoint(8, 0));
}

void PreviewWindow::setEntry(const HueEntry &entry)
{
    m_entry = entry;
    render();
}

bool PreviewWindow::loadImage(const QString &fileName)
{
    QImageReader reader(fileName);
    QImage image = reader.read();
    if (image.isNull()) {
        m_status->setText(QString("%1: %2").arg(fileName, reader.errorString()));
        return false;
    }
    m_image = image;
    m_status->setText(fileName);
    render();
    return true;
}

void PreviewWindow::chooseImage()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, "Choose a picture", QString(), "PNG pictures (*.png)");
    if (!fileName.isEmpty())
        loadImage(fileName);
}

void PreviewWindow::render()
{
    if (m_image.isNull())
        return;
    const int zoom = m_zoom->currentData().toInt();
    m_shown = RecolourImage(m_image, m_entry, m_wholeImage->isChecked())
                  .scaled(m_image.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_picture->setPixmap(QPixmap::fromImage(m_shown));
}
