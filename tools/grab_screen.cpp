// Saves a picture of the whole screen of the display it runs on; used to photograph the
// window on a virtual display.
#include "huefile/output_file.h"

#include <QApplication>
#include <QBuffer>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: colvane-grab OUTPUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    const int width = argc > 3 ? std::atoi(argv[2]) : -1;
    const int height = argc > 3 ? std::atoi(argv[3]) : -1;
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, width, height);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!shot.save(&png, "PNG"))
        return 1;
    // The name as given is already in the form the file layer takes.
    const Expected<void> written = WriteOutputFile(argv[1], "png", png.data().toStdString());
    if (!written)
        std::fprintf(stderr, "colvane-grab: %s: %s\n", argv[1], written.error().c_str());
    return written ? 0 : 1;
}
