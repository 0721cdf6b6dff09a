#include "support/test_support.h"

#include "huefile/hue_file.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

TempFolder::TempFolder() : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
}

TempFolder::~TempFolder()
{
    QDir::setCurrent(m_previous);
}

std::string TempFolder::path(const std::string &name) const
{
    return (m_dir.path() + "/" + QString::fromStdString(name)).toStdString();
}

HueEntry PatternEntry(int n, int seed)
{
    HueEntry entry{};
    for (int c = 0; c < HueColourCount; ++c)
        entry.colours[c] = static_cast<HueColour>((n * 37 + c * 5 + seed) & 0x7FFF);
    for (int i = 0; i < 4; ++i)
        entry.carried[i] = static_cast<std::uint8_t>(n + i + seed);
    std::snprintf(entry.name, sizeof entry.name, "entry %d", n);
    return entry;
}

void WriteHueFile(const std::string &fileName, int count, int seed)
{
    std::vector<unsigned char> bytes;
    for (int n = 1; n <= count; ++n) {
        if ((n - 1) % 8 == 0)
            bytes.insert(bytes.end(), 4, 0xA5);
        const HueEntry entry = PatternEntry(n, seed);
        const auto *raw = reinterpret_cast<const unsigned char *>(&entry);
        bytes.insert(bytes.end(), raw, raw + sizeof entry);
    }
    WriteBytes(fileName, bytes);
}

void WriteBytes(const std::string &fileName, const std::vector<unsigned char> &bytes)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ReadBytes(const std::string &fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool FileExists(const std::string &fileName)
{
    return QFileInfo::exists(QString::fromStdString(fileName));
}

HueEntry EntryOnDisk(const std::string &fileName, int n)
{
    HueEntry entry{};
    const auto bytes = ReadBytes(fileName);
    const auto offset = static_cast<std::size_t>(EntryOffset(n));
    if (offset < bytes.size())
        std::memcpy(&entry, bytes.data() + offset, std::min(sizeof entry, bytes.size() - offset));
    return entry;
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

void Settle(int milliseconds)
{
    QCoreApplication::processEvents();
    if (milliseconds > 0)
        QTest::qWait(milliseconds);
}
