#pragma once

#include "huefile/formats/expected.h"
#include "huefile/hue_entry.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// File names are passed in the platform's file-name encoding, as the C library expects them.

// One entry as a write found it and as it left it; what an undo puts back.
struct EntryWrite {
    int entry = 0;
    HueEntry before{};
    HueEntry after{};
};

enum class ReadOutcome {
    NotOpened, // the file could not be opened; the destination is untouched
    NoRecord,  // opened, but no whole record at the entry's place
    Read,      // one whole record was read
};

// One open hue file, closed when the object goes. Only regular files (symbolic links followed)
// are hue files: a pipe, socket or device is refused, and opening never waits for a writer or
// reader on the other end. Nothing here ever creates or truncates a file that was not extended
// by the write being undone.
class HueFile {
public:
    // Any regular file, its contents unlooked at: what one entry's read needs.
    static std::optional<HueFile> openForReading(const std::string &fileName);
    // An existing file, for reading and writing in place. Refused when it is read-only for
    // everyone or looks like text, whatever its name's check found before.
    static std::optional<HueFile> openForUpdate(const std::string &fileName);

    HueFile(HueFile &&other) noexcept;
    HueFile &operator=(HueFile &&other) noexcept;
    HueFile(const HueFile &) = delete;
    HueFile &operator=(const HueFile &) = delete;
    ~HueFile();

    // Reads entry n. Whatever the file does not hold is zeroed, so a short or missing record
    // never leaves bytes of an earlier entry behind. True when a whole record was read.
    bool readEntry(int n, HueEntry &destination) const;

    // Writes entry n, all or nothing: when the write fails partway, the bytes of the entry
    // that were overwritten get their old values back and a file the write extended gets its
    // old size back, so every entry reads as it did before. True when the whole record landed;
    // then `before`, when given, receives the entry as it was (zeroes where the file ended).
    bool writeEntry(int n, const HueEntry &entry, HueEntry *before = nullptr);
    // The same, for a caller that has just read the entry as it stands (`current`, zeroes
    // where the file ends) and so spares the write its own read.
    bool writeEntry(int n, const HueEntry &entry, const HueEntry &current);

    // Entries first to last in one read, as readEntry would give them one by one; whole[i]
    // tells whether entry first + i was a whole record.
    std::vector<HueEntry> readEntries(int first, int last, std::vector<bool> &whole) const;

    // A non-empty file whose first 4 KiB hold no zero byte. A hue file always holds one there:
    // in its carried bytes, in any name shorter than 20 characters, in the high byte of any
    // colour without red.
    bool looksLikeText() const;

    // The size when the file was opened, grown by this object's own writes since.
    off_t size() const { return m_size; }
    // For an undo of writes that extended the file: gives it back the length it had before
    // them. The caller has checked that the file still ends where those writes left it, so
    // only bytes that the undone writes added go.
    bool giveBackLength(off_t earlierSize);

private:
    HueFile(int descriptor, off_t size) : m_descriptor(descriptor), m_size(size) {}
    static std::optional<HueFile> open(const std::string &fileName, int flags);

    int m_descriptor = -1;
    off_t m_size = 0;
};

// Open, read one record, close. With NotOpened the destination keeps its bytes.
ReadOutcome ReadEntryFromFile(const std::string &fileName, int n, HueEntry &destination);

enum class HueFileUse { Reading, Update };

// The file behind a name that is checked as a hue file, or why it is none, in the words of
// huefile/file_checks.h: a regular file that does not look like text and, for an update, is
// not read-only for everyone and may be written.
Expected<HueFile> OpenHueFile(const std::string &fileName, HueFileUse use);

// A name is valid when it opens for reading as a hue file.
bool CanOpenHueFile(const std::string &fileName);

// Why a name does not open for reading as a hue file; empty when it does.
std::string WhyNotAHueFile(const std::string &fileName);

// For a program's start: puts the null device on any of standard input, output and error
// that the caller left closed. Otherwise the next file opened would take that number, and
// whatever is written "to standard error" would land in it.
void OpenClosedStandardStreams();
