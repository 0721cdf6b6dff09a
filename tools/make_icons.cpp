// Writes the program's icon into a folder as the installed files: PNG pictures in the sizes of
// the desktop's icon theme, and the same drawing as a scalable SVG.
#include "app/logo.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: colvane-icons FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString name = folder.filePath(QString("colvane-%1.png").arg(size));
        if (!MakeIcon(size).save(name)) {
            std::fprintf(stderr, "colvane-icons: %s: cannot write\n", qPrintable(name));
            return 2;
        }
    }
    QFile svg(folder.filePath("colvane.svg"));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(IconSvg().toUtf8()) < 0) {
        std::fprintf(stderr, "colvane-icons: %s: cannot write\n", qPrintable(svg.fileName()));
        return 2;
    }
    return 0;
}
