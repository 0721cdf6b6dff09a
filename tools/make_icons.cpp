// Writes the program's icon into a folder as the installed files: PNG pictures in the sizes of
// the desktop's icon theme, and the same drawing as a scalable SVG.
#include "app/logo.h"
#include "huefile/output_file.h"
#include "widgets/file_layer_name.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

namespace {

// Through the file layer, as the program writes its own exports: each file whole or not at all.
bool WriteIconFile(const QString &fileName, const char *extension, const QByteArray &bytes)
{
    const Expected<void> written =
        WriteOutputFile(FileLayerName(fileName), extension, bytes.toStdString());
    if (!written)
        std::fprintf(stderr, "colvane-icons: %s: %s\n", qPrintable(fileName),
                     written.error().c_str());
    return written.ok();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: colvane-icons FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        if (!MakeIcon(size).save(&png, "PNG") ||
            !WriteIconFile(folder.filePath(QString("colvane-%1.png").arg(size)), "png", png.data()))
            return 2;
    }
    return WriteIconFile(folder.filePath("colvane.svg"), "svg", IconSvg().toUtf8()) ? 0 : 2;
}
