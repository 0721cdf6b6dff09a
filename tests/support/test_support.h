#pragma once

#include "app/tform1.h"
#include "huefile/hue_entry.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A fresh temporary folder that is the current directory while the object lives, so the
// window's default file names resolve inside it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string path(const std::string &name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A recognisable entry: colour c of entry n is ((n + c) & 0x7FFF), name "entry <n>".
HueEntry PatternEntry(int n, int seed = 0);

// Writes a hue file of count entries (block headers filled with 0xA5 so stray writes show).
void WriteHueFile(const std::string &fileName, int count, int seed = 0);
// Writes a file of raw bytes.
void WriteBytes(const std::string &fileName, const std::vector<unsigned char> &bytes);
std::vector<unsigned char> ReadBytes(const std::string &fileName);
bool FileExists(const std::string &fileName);
// Entry n of a file as it stands on disk (zeroes beyond the end).
HueEntry EntryOnDisk(const std::string &fileName, int n);

// Builds the window in the current folder, shows it and waits until it is exposed.
std::unique_ptr<TForm1> ShowForm();

// Lines of the log pane.
QStringList LogLines(const TForm1 &form);

// Processes pending events for a moment (paints, deferred deletes).
void Settle(int milliseconds = 0);
