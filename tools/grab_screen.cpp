// Saves a picture of the whole screen of the display it runs on; used to photograph the
// window on a virtual display.
#include <QApplication>
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
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
