#pragma once

#include "huefile/hue_file.h"

#include <optional>
#include <string>
#include <vector>

// The rollback journal: before a write operation touches a hue file, what it will overwrite is
// saved beside the file, so that a program killed halfway leaves nothing half done. Whoever
// opens the file next puts the entries back (hue_file.cpp calls RollBackInterruptedWrite and
// OverlayInterruptedWrite as it opens). The journal is one file per operation, made under the
// writers' lock and gone when the operation ends.

// What one write operation will leave in an entry. An entry is planned once for each state
// the operation leaves it in on the way, as a write taken back when a later one fails does.
struct PlannedWrite {
    int entry = 0;
    HueEntry after{};
};

// What a journal is kept against.
enum class Flushes {
    // On the disk before the first write, and the hue file on the disk before the journal goes:
    // a power cut loses nothing either.
    PowerCut,
    // In the system's memory alone, which a killed program cannot lose; a flush costs more than
    // a whole one-entry write, which autosave makes at every keystroke.
    KillOnly,
};

// One write operation on a hue file opened for update. While it lasts, the file takes writes
// (writeEntry, extendTo, giveBackLength) for the planned entries alone, and the file must
// neither move nor go; any other write fails, so that no write ever goes past the journal.
// Where no journal can be made beside the file (a folder the user may not write), the writes
// go as they would without one, and a notice says so once.
class WriteOperation {
public:
    // Fails, writing nothing, when the file was not opened for update, an operation is already
    // under way, or a journal that is not this operation's lies in the way.
    static Expected<WriteOperation> begin(HueFile &file, const std::vector<PlannedWrite> &plan,
                                          Flushes flushes);
    WriteOperation(WriteOperation &&other) noexcept;
    WriteOperation &operator=(WriteOperation &&) = delete;
    WriteOperation(const WriteOperation &) = delete;
    ~WriteOperation();
    // Ends the operation now: the journal is invalidated, then removed.
    void end();
    // A planned entry as the file held it when the operation began, zeroes where the file
    // ended: what its journal would put back.
    const HueEntry &before(int entry) const
    {
        return m_before[static_cast<std::size_t>(entry - m_first)];
    }

private:
    WriteOperation(HueFile &file, Flushes flushes) : m_file(&file), m_flushes(flushes) {}

    HueFile *m_file = nullptr;
    Flushes m_flushes = Flushes::PowerCut;
    std::optional<SystemFile> m_journal;
    std::string m_journalName;
    int m_first = 1;
    std::vector<HueEntry> m_before;
};

// A one-entry operation around one write, for the callers that make one.
Expected<void> WriteOneEntry(HueFile &file, int n, const HueEntry &entry, Flushes flushes);

// Where the journal of an open hue file lies: beside the file itself, links resolved, and only
// while its name still leads to the file that is open.
struct JournalPlace {
    std::string folder;
    std::string journal;
    std::string aside;
    FileKeeps keeps;
    bool known() const { return !journal.empty(); }
};

// ---- The journal's bytes

struct JournalRecord {
    int entry = 0;
    HueEntry before{};
    HueEntry after{};
};

struct Journal {
    FileIdentity identity;
    // The hue file's length before the operation.
    FileOffset oldLength = 0;
    std::vector<JournalRecord> records;
};

std::string JournalBytes(const Journal &journal);
// The journal the bytes hold, or none when their header or any record does not check out: such
// a journal was never finished, so the operation never wrote.
std::optional<Journal> ParseJournal(const std::string &bytes);

// Whether `now`, the record of `entry` as the file holds it (zeroes where the file ends), is
// what the operation may have left there: on each side of every edge where a disk or the
// system's memory may tear a write, its before-image or one of its after-images.
bool MayHaveLeft(const Journal &journal, int entry, const HueEntry &now);

// The journal's name for a file of this identity, with `folder` ("" or ending in a separator);
// a short hidden name, whatever the hue file's name is. Where a journal that could not be put
// back is kept, under a name of its own.
std::string JournalNameFor(const std::string &folder, const FileIdentity &identity);
std::string AsideNameFor(const std::string &folder, const FileIdentity &identity);

// Whether a journal or a kept-aside one lies beside the named file; a look that opens nothing.
bool JournalBeside(const std::string &fileName);

// Puts back an interrupted write of the named file by hand: also where its file system takes no
// locks, so that nothing can tell a dead write from one under way, and the opens leave it. The
// number of entries put back, 0 when there was no interrupted write.
Expected<int> RecoverHueFile(const std::string &fileName, std::chrono::milliseconds wait);
