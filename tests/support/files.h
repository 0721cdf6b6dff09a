#pragma once

#include "huefile/hue_file.h"

#include <optional>
#include <string>
#include <vector>

// Test support that needs no Qt, for the tests of the file layer, the formats, the copy and
// the command line as a process, which run on Windows too.

// A fresh temporary folder that is the current directory while the object lives, so the
// window's default file names resolve inside it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    std::string path(const std::string &name) const;

private:
    std::string m_path;
    std::string m_previous;
};

// A recognisable entry: colour c of entry n is ((37n + 5c + seed) & 0x7FFF), name "entry <n>".
HueEntry PatternEntry(int n, int seed = 0);

// Writes a hue file of count entries (block headers filled with 0xA5 so stray writes show).
void WriteHueFile(const std::string &fileName, int count, int seed = 0);
// Writes a file of raw bytes.
void WriteBytes(const std::string &fileName, const std::vector<unsigned char> &bytes);
std::vector<unsigned char> ReadBytes(const std::string &fileName);
// Writes bytes at an offset of an existing file through an open of its own, taking no lock, as
// another program would. False when the bytes did not all land.
bool WriteBytesAt(const std::string &fileName, long offset,
                  const std::vector<unsigned char> &bytes);
bool FileExists(const std::string &fileName);
// Takes every write permission from the file, as a user makes a file read-only: the mode's
// write bits, or Windows' read-only attribute. False when that failed.
bool MakeReadOnly(const std::string &fileName);
// An open hue file, for a test that closes it before it goes; none when it did not open.
std::optional<HueFile> Held(Expected<HueFile> file);
// Writes entry n in place through the program's own file layer; false when the file does not
// open or the record cannot be written.
bool WriteEntryInPlace(const std::string &fileName, int n, const HueEntry &entry);
// Entry n of a file as it stands on disk (zeroes beyond the end).
HueEntry EntryOnDisk(const std::string &fileName, int n);
// Byte for byte, padding and name bytes after the terminator included.
bool SameEntry(const HueEntry &a, const HueEntry &b);
