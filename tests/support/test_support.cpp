#include "support/test_support.h"

#include "huefile/hue_file.h"
#include "widgets/draw_grid.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

FileSizeLimit::FileSizeLimit(long bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_previous = static_cast<long>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_previous);
    setrlimit(RLIMIT_FSIZE, &limit);
}

namespace {

constexpr std::uint32_t PermissionOverrides =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

// The raw system calls act on the calling thread alone; the C library's wrappers would
// change every thread of the process.
bool ThreadCapabilities(__user_cap_data_struct (&data)[2], bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

// Whether a file with no write permission can still be opened for writing.
bool ReadOnlyFileIsWritable()
{
    char name[] = "/tmp/colvane-readonly-XXXXXX";
    const int created = mkstemp(name);
    if (created < 0)
        return true;
    close(created);
    chmod(name, 0444);
    const int opened = open(name, O_RDWR);
    if (opened >= 0)
        close(opened);
    unlink(name);
    return opened >= 0;
}

} // namespace

WithoutPermissionOverride::WithoutPermissionOverride()
{
    __user_cap_data_struct data[2]{};
    if (geteuid() == 0) {
        if (!ThreadCapabilities(data, false)) {
            m_failure = "the thread's capabilities cannot be read";
            return;
        }
        m_savedEffective[0] = data[0].effective;
        m_savedEffective[1] = data[1].effective;
        data[0].effective &= ~PermissionOverrides;
        m_dropped = ThreadCapabilities(data, true);
        if (!m_dropped) {
            m_failure = "the privilege to override file permissions cannot be dropped";
            return;
        }
    }
    if (ReadOnlyFileIsWritable())
        m_failure = "a read-only file stays writable here (a file system that ignores modes?)";
}

WithoutPermissionOverride::~WithoutPermissionOverride()
{
    if (!m_dropped)
        return;
    __user_cap_data_struct data[2]{};
    ThreadCapabilities(data, false);
    data[0].effective = m_savedEffective[0];
    data[1].effective = m_savedEffective[1];
    ThreadCapabilities(data, true);
}

namespace {

std::uint32_t PngCrc(const std::string &bytes)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string BigEndian32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

} // namespace

std::string PngChunk(const std::string &type, const std::string &data)
{
    return BigEndian32(static_cast<std::uint32_t>(data.size())) + type + data +
           BigEndian32(PngCrc(type + data));
}

std::string PngHeaderOfSize(std::uint32_t width, std::uint32_t height)
{
    // Depth 8, colour type 2 (RGB), then compression, filter and interlace methods 0.
    const std::string header =
        BigEndian32(width) + BigEndian32(height) + std::string("\x08\x02\0\0\0", 5);
    const QByteArray pixels = qCompress(QByteArray(16, '\0')).mid(4);
    return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", header) + PngChunk("IDAT", pixels.toStdString()) +
           PngChunk("IEND", "");
}

std::map<std::string, std::string> FolderSnapshot()
{
    std::map<std::string, std::string> snapshot;
    for (const QString &name : QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                         QDir::System | QDir::Hidden)) {
        const std::string fileName = name.toStdString();
        struct stat info {};
        lstat(fileName.c_str(), &info);
        std::string &held = snapshot[fileName] = std::to_string(info.st_mode) + ":";
        if (S_ISREG(info.st_mode)) {
            const auto bytes = ReadBytes(fileName);
            held +=
                std::to_string(std::hash<std::string>()(std::string(bytes.begin(), bytes.end())));
        } else if (S_ISLNK(info.st_mode)) {
            held += QFile::symLinkTarget(name).toStdString();
        }
    }
    return snapshot;
}

std::unique_ptr<TForm1> ShowForm()
{
    auto form = std::make_unique<TForm1>();
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
}

QStringList LogLines(const TForm1 &form)
{
    const QString text = form.MemoLog->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList LogLinesWithoutNotices(const TForm1 &form)
{
    QStringList lines = LogLines(form);
    lines.removeIf([](const QString &line) { return line.startsWith("NOTICE    "); });
    return lines;
}

void Settle(int milliseconds)
{
    QCoreApplication::processEvents();
    if (milliseconds > 0)
        QTest::qWait(milliseconds);
}

void FormTest::Open(int readCount, int writeCount, int readSeed, int writeSeed)
{
    if (readCount >= 0)
        WriteHueFile("patch-hues.mul", readCount, readSeed);
    if (writeCount >= 0)
        WriteHueFile("hues.mul", writeCount, writeSeed);
    form = ShowForm();
}

QStringList CopyFieldTexts(const TForm1 &form)
{
    return {form.NumberFrom->text(), form.NumberTo->text(), form.TargetNumberFrom->text(),
            form.TargetNumberTo->text()};
}

QStringList ChannelFieldTexts(const TForm1 &form)
{
    return {form.EditRED->text(), form.EditGREEN->text(), form.EditBLUE->text()};
}

QStringList ChannelTexts(DisplayColour colour)
{
    return {QString::number(RedOf(colour)), QString::number(GreenOf(colour)),
            QString::number(BlueOf(colour))};
}

QPoint EditorCellCentre(const TForm1 &form, int colour)
{
    return form.HueGridEdit->cellRect(colour + 1, 0).center();
}

std::vector<int> ColoursFrom(int from, int to)
{
    std::vector<int> path;
    const int step = from <= to ? 1 : -1;
    for (int c = from; c != to + step; c += step)
        path.push_back(c);
    return path;
}

void PressAndDragAcrossEditor(TForm1 &form, const std::vector<int> &colours)
{
    QTest::mousePress(form.HueGridEdit, Qt::LeftButton, {},
                      EditorCellCentre(form, colours.front()));
    MoveWithButtonsHeld(form.HueGridEdit, EditorCellCentre(form, colours.front()) + QPoint(1, 1));
    for (std::size_t i = 1; i < colours.size(); ++i)
        MoveWithButtonsHeld(form.HueGridEdit, EditorCellCentre(form, colours[i]));
}

void ReleaseOverEditor(TForm1 &form, int colour)
{
    QTest::mouseRelease(form.HueGridEdit, Qt::LeftButton, {}, EditorCellCentre(form, colour));
}

ProcessOutcome RunProgram(const QString &program, const QStringList &arguments,
                          const std::function<void()> &inChild,
                          const std::map<QString, QString> &environment)
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    if (!environment.empty()) {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : environment)
            variables.insert(name, value);
        process.setProcessEnvironment(variables);
    }
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {-1, "", "did not finish"};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

void DropPermissionOverrides()
{
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}
