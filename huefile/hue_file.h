#pragma once

#include "huefile/expected.h"
#include "huefile/hue_entry.h"
#include "huefile/system_file.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// File names are passed in the file layer's encoding: UTF-8 on Windows, the C library's bytes
// elsewhere.

// One entry as a write found it and as it left it; what an undo puts back.
struct EntryWrite {
    int entry = 0;
    HueEntry before{};
    HueEntry after{};
};

enum class ReadOutcome {
    NotOpened, // the file could not be opened; the destination is untouched
    Locked,    // a writer held the file past the wait; the destination is untouched
    NoRecord,  // opened, but no whole record at the entry's place
    Read,      // one whole record was read
};

// Bytes of a file, as a give-back compares them.
using FileBytes = std::vector<unsigned char>;

enum class GiveBackOutcome {
    Cut,     // the file has its earlier length again
    Touched, // someone else changed the length or the bytes to cut: nothing was cut
    Failed,  // the cut itself failed
};

// A glance is a read that only shows, as the browser's rows and the name checks do: it takes no
// lock, so that neither ever waits for a writer, and whatever it showed half written is shown
// again whole by the next look.
enum class HueFileUse { Reading, Update, Glance };

struct Journal;

// One open hue file, closed when the object goes. Only regular files (symbolic links followed)
// are hue files: a pipe, socket or device is refused, and opening never waits for a writer or
// reader on the other end. Nothing here ever creates or truncates a file that was not extended
// by the write being undone.
class HueFile {
public:
    // Any regular file, its contents unlooked at: what one entry's read needs. A refusal is
    // worded as in huefile/file_checks.h. The object holds a shared hold on the writers' lock
    // from the open until it goes, so that no write of this program runs while it reads and no
    // entry it reads is half one version and half another. When a writer holds the lock, the
    // open waits up to `wait` and then fails as LockedReason.
    static Expected<HueFile> openForReading(const std::string &fileName,
                                            std::chrono::milliseconds wait = {});
    // The same without any lock, for a glance.
    static Expected<HueFile> openForGlance(const std::string &fileName);
    // An existing file, for reading and writing in place. Refused when it is read-only for
    // everyone or looks like text, whatever its name's check found before. The object holds the
    // file's writer lock, advisory, from the open until it goes, so that two writing operations
    // of this program never interleave. When another open of the file holds it, the open waits
    // up to `wait` for it and then fails as LockedReason, as it does while readers hold it. A
    // read through this object needs no lock of its own: it is the writer's.
    static Expected<HueFile> openForUpdate(const std::string &fileName,
                                           std::chrono::milliseconds wait = {});
    // Both locked opens succeed without a lock where the file's file system takes none (a
    // network mount without its lock service): the object then holds none, holdsNoLock says
    // so, and an update open tells the user once through the file notices. Where the system
    // has only classic record locks, the lock belongs to the process (system_file.h): while an
    // object holds it, its caller opens the file no second time, not even for a glance, since
    // closing that open would let go of the lock, and two opens of one process would not keep
    // each other out.

    // The open asked for a lock and the file system had none to give: another writer may be at
    // work on the file now, and nothing tells whether one is. False for a glance, which asks
    // for none.
    bool holdsNoLock() const { return m_holdsNoLock; }

    // Puts back an interrupted write that a kill left in the file, where there is one and this
    // process may write the file; what a reader does before it takes its shared hold. Says
    // nothing of a failure: the reader's open that follows finds the same.
    static void rollBackFirst(const std::string &fileName, std::chrono::milliseconds wait);

    HueFile(HueFile &&other) noexcept = default;
    HueFile &operator=(HueFile &&other) noexcept = default;

    // Reads entry n. Whatever the file does not hold is zeroed, so a short or missing record
    // never leaves bytes of an earlier entry behind. True when a whole record was read.
    bool readEntry(int n, HueEntry &destination) const;

    // The name the file was opened by.
    const std::string &name() const { return m_name; }

    // Writes and length changes are made within a WriteOperation (huefile/write_journal.h)
    // that planned them; any other fails and changes nothing.
    // Writes entry n, all or nothing. A write past the end first sets the file's new length,
    // zeroes up to the record's end, and only then writes the record, so that a process killed
    // at any moment leaves whole entries. When the write fails partway, the bytes of the entry
    // that were overwritten get their old values back and a file the write extended gets its
    // old length back, as long as nobody else has changed what it added; so every entry reads
    // as it did before. Once the whole record landed, `before`, when given, receives the entry
    // as it was (zeroes where the file ended).
    Expected<void> writeEntry(int n, const HueEntry &entry, HueEntry *before = nullptr);
    // The same, for a caller that has just read the entry as it stands (`current`, zeroes
    // where the file ends) and so spares the write its own read.
    Expected<void> writeEntry(int n, const HueEntry &entry, const HueEntry &current);

    // Entries first to last in one read, as readEntry would give them one by one; whole[i]
    // tells whether entry first + i was a whole record.
    std::vector<HueEntry> readEntries(int first, int last, std::vector<bool> &whole) const;

    // The file's bytes from `offset` on, block headers and all, as they lie: the count read, 0
    // at or past the end, -1 on an error. For a scan that needs no entry taken apart.
    FileOffset readBytes(void *buffer, FileOffset count, FileOffset offset) const
    {
        return readStored(buffer, count, offset);
    }

    // A non-empty file whose first 4 KiB hold no zero byte. A hue file always holds one there:
    // in its carried bytes, in any name shorter than 20 characters, in the high byte of any
    // colour without red.
    bool looksLikeText() const;

    // The file's length as it stands now; -1 when it cannot be told.
    FileOffset size() const;
    // For writes that will fill the file up to `length`: sets that length at once, zeroes
    // beyond the old end. Never shortens the file. Fails when the system refuses it, as under
    // a file-size limit; the writes then extend the file one record at a time.
    Expected<void> extendTo(FileOffset length);
    // Where the file differs from its first earlierSize bytes followed by `added`: the offset of
    // the first byte that is not what was added, or of the first byte beyond or missing at the
    // end. None when the file is exactly that long and ends in exactly those bytes.
    std::optional<FileOffset> firstChangeAfter(FileOffset earlierSize,
                                               const FileBytes &added) const;
    // Gives the file back the length earlierSize, after the writes that added `added` behind it
    // were undone, but only when firstChangeAfter finds nothing, checked just before the cut:
    // bytes and lengths that another writer left are never cut.
    GiveBackOutcome giveBackLength(FileOffset earlierSize, const FileBytes &added);

private:
    // Why an open for update is made: as asked, when the caller reports what stops it; by a
    // reader, only to put back an interrupted write first, when the open itself tells what it
    // found; or by hand (`colvane-cli recover`), which puts one back also where locks cannot
    // tell whether it is still under way.
    enum class Purpose { Asked, RollBackFirst, ByHand };

    friend class WriteOperation;
    friend Expected<int> RollBackInterruptedWrite(HueFile &file, Purpose purpose);
    friend Expected<int> RecoverHueFile(const std::string &fileName,
                                        std::chrono::milliseconds wait);
    friend void OverlayInterruptedWrite(HueFile &file);

    HueFile(SystemFile file, FileOffset length) : m_file(std::move(file)), m_knownLength(length) {}
    static std::optional<HueFile> open(const std::string &fileName, SystemFile::Access access);
    static Expected<HueFile> openLocked(const std::string &fileName, HueFileUse use,
                                        std::chrono::milliseconds wait,
                                        Purpose purpose = Purpose::Asked);
    // Why an open failed, `error` being the errno it left.
    static std::string whyRefused(const std::string &fileName, HueFileUse use, int error);
    // The file's bytes as this open shows them: for a reader that found an interrupted write
    // it may not put back, as they were before that write.
    FileOffset readStored(void *buffer, FileOffset count, FileOffset offset) const;
    // Why a write that reaches `end` may not be made now, or nothing.
    std::optional<std::string> refusalOfWrite(int entry, FileOffset end) const;

    SystemFile m_file;
    // The length as this object last saw or left it. Only a write past it asks the system for
    // the length, which another writer may have changed: a copy of 3000 entries in place then
    // costs no more than its writes.
    FileOffset m_knownLength = 0;
    std::string m_name;
    HueFileUse m_use = HueFileUse::Glance;
    // The entries of an interrupted write that this open put back.
    int m_recovered = 0;
    // The interrupted write a reader shows the file without.
    std::shared_ptr<const Journal> m_overlay;
    // The operation under way: the entries it planned, and how far it may lengthen the file.
    bool m_writing = false;
    std::vector<bool> m_planned;
    FileOffset m_plannedEnd = 0;
    bool m_holdsNoLock = false;
};

// The entry whose record holds the byte at `offset`, or the first entry after it when the byte
// is part of a block header.
int EntryAt(FileOffset offset);

// Open, read one record, close, as a glance. With NotOpened the destination keeps its bytes.
ReadOutcome ReadEntryFromFile(const std::string &fileName, int n, HueEntry &destination);
// The same under a shared hold on the writers' lock, waiting up to `wait` for a writer to end;
// Locked when it did not end in time.
ReadOutcome LoadEntryFromFile(const std::string &fileName, int n, HueEntry &destination,
                              std::chrono::milliseconds wait);

// The file behind a name that is checked as a hue file, or why it is none, in the words of
// huefile/file_checks.h: a regular file that does not look like text and, for an update, is
// not read-only for everyone and may be written. An update is openForUpdate's, a reading
// openForReading's, each with its lock and its wait.
Expected<HueFile> OpenHueFile(const std::string &fileName, HueFileUse use,
                              std::chrono::milliseconds wait = {});

// A name is valid when it opens for a glance as a hue file: a writer at work does not make it
// invalid. An interrupted write that a kill left in the file is put back first, where this
// process may and no writer holds the file.
bool CanOpenHueFile(const std::string &fileName);

// For a program's start: puts the null device on any of standard input, output and error
// that the caller left closed. Otherwise the next file opened would take that number, and
// whatever is written "to standard error" would land in it.
void OpenClosedStandardStreams();
