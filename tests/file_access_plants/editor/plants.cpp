// Calls on files that the file access check must find, one a line, and words it must not take
// for them. Never built: the check reads it as it reads the program's sources.
void Caught()
{
    QFile file(name);
    QSaveFile saved(name);
    bool there = QFileInfo(name).exists();
    bool folder = QDir(name).mkdir(sub);
    QString resolved = info.canonicalFilePath();
    std::filesystem::remove(name);
    std::ifstream in(name);
    int descriptor = open(name.c_str(), O_RDONLY);
    ::pread(descriptor, buffer, size, 0);
    std::rename(from, to);
    std::remove(name.c_str());
    QImageReader reader(name);
    image.save(name);
    HANDLE handle = CreateFileW(wide, access, share, nullptr, how, flags, nullptr);
}
#include <fcntl.h>

void NotCaught()
{
    // A comment may name QFile, std::filesystem, open(name) and fopen(name) freely.
    const char *words = "QFile::exists(x), open(x), // stat(x)";
    const char *raw = R"(QFile "quoted" open(x))";
    char quote = '"';
    /* a block comment: QFile open(x)
       running over lines: fopen(x) */
    QString shown = QFileInfo(name).fileName() + QFileInfo(name).suffix();
    QString here = QDir::currentPath() + QDir(folder).filePath(name);
    std::remove(all.begin(), all.end(), 0);
    file.open(name);
    QImageReader fromBytes(&buffer);
    painter.save();
    image.save(&buffer, "PNG");
}
class Widget {
    void open();
};
#include <QFile>
