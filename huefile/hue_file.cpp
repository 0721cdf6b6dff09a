#include "huefile/hue_file.h"

#include "huefile/file_checks.h"
#include "huefile/file_notices.h"
#include "huefile/write_journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace {

constexpr auto RecordSize = static_cast<FileOffset>(sizeof(HueEntry));
constexpr FileOffset TextCheckSize = 4096;

bool HeadHoldsNoZeroByte(const SystemFile &file)
{
    char head[TextCheckSize];
    const FileOffset got = file.readAt(head, TextCheckSize, 0);
    return got > 0 && std::memchr(head, 0, static_cast<std::size_t>(got)) == nullptr;
}

// Why a regular file that opened is refused for writing, as an errno value, or 0. A text file
// has no errno of its own; its reason is found again when the refusal is explained.
int WhyNotWritten(const SystemFile &file, const FileFacts &facts)
{
    if (facts.readOnlyForEveryone)
        return EACCES;
    return HeadHoldsNoZeroByte(file) ? EINVAL : 0;
}

constexpr auto LockRetry = std::chrono::milliseconds(10);

constexpr const char *NoLocksNotice = "this file system takes no locks; writing without one";

enum class LockTaken {
    Held,
    NoneToTake, // the file system takes no locks: waiting would bring none
    Refused,    // with errno set
};

// Polls rather than blocks, so that the wait has an end; a zero wait tries once. Only a lock
// that another open holds is waited for and then refused.
LockTaken TakeLock(SystemFile &file, HueFileUse use, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const auto tryOnce = [&file, use] {
        return use == HueFileUse::Update ? file.tryWriterLock() : file.tryReaderLock();
    };
    while (!tryOnce()) {
        if (errno == ENOLCK || errno == EOPNOTSUPP)
            return LockTaken::NoneToTake;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return LockTaken::Refused;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = EWOULDBLOCK;
            return LockTaken::Refused;
        }
        std::this_thread::sleep_for(LockRetry);
    }
    return LockTaken::Held;
}

// Sets the file's new length, zeroes up to `length`, before any record goes behind the old end,
// so that a kill at any moment leaves whole entries. The zeroes are written too, although the
// file already reads as zeroes there: that brings the new pages into memory and marks them
// dirty ahead of the records. A record that straddles two pages was most often stopped by a
// kill between its two pages, while the second was being allocated; with the pages ready that
// became more than ten times rarer. A short write of zeroes over zeroes changes nothing.
bool Extend(SystemFile &file, FileOffset from, FileOffset length)
{
    if (!file.setLength(length))
        return false;
    const std::vector<char> zeroes(static_cast<std::size_t>(length - from));
    file.writeAt(zeroes.data(), static_cast<FileOffset>(zeroes.size()), from);
    return true;
}

} // namespace

std::optional<HueFile> HueFile::open(const std::string &fileName, SystemFile::Access access)
{
    std::optional<SystemFile> file = SystemFile::open(fileName, access);
    if (!file)
        return std::nullopt;
    const std::optional<FileFacts> facts = file->facts();
    int refusal = 0;
    if (!facts)
        refusal = errno;
    else if (facts->kind != FileKind::Regular)
        refusal = EINVAL;
    else if (access == SystemFile::Access::Update)
        refusal = WhyNotWritten(*file, *facts);
    if (refusal != 0) {
        file.reset();
        errno = refusal;
        return std::nullopt;
    }
    return HueFile(std::move(*file), facts->size);
}

Expected<HueFile> HueFile::openForGlance(const std::string &fileName)
{
    errno = 0;
    std::optional<HueFile> file = open(fileName, SystemFile::Access::Read);
    if (!file)
        return Fail(whyRefused(fileName, HueFileUse::Glance, errno));
    file->m_name = fileName;
    return std::move(*file);
}

// The length is asked again once the lock is held: a write that ended meanwhile may have
// extended the file. An interrupted write is looked for before a reader takes its shared hold,
// and put back through an open for update, which a shared hold would keep waiting; a reader
// that finds one only once it holds the file, or that may not write it, shows the file as it
// was before that write.
//
// On a file system that takes no locks a write goes on without one, since refusing it would
// refuse every write there; the user is told once. A reader says nothing: it changes no file,
// and the read commands that scripts run, and version control at every diff, would repeat the
// line at each run.
Expected<HueFile> HueFile::openLocked(const std::string &fileName, HueFileUse use,
                                      std::chrono::milliseconds wait, Purpose purpose)
{
    if (use == HueFileUse::Reading)
        rollBackFirst(fileName, wait);
    errno = 0;
    const auto access =
        use == HueFileUse::Update ? SystemFile::Access::Update : SystemFile::Access::Read;
    std::optional<HueFile> file = open(fileName, access);
    const LockTaken lock = file ? TakeLock(file->m_file, use, wait) : LockTaken::Refused;
    if (lock != LockTaken::Refused) {
        file->m_name = fileName;
        file->m_use = use;
        file->m_holdsNoLock = lock == LockTaken::NoneToTake;
        if (file->m_holdsNoLock && use == HueFileUse::Update && purpose != Purpose::RollBackFirst)
            Notify(NoticeKind::NoLocks, fileName, NoLocksNotice);
        if (use == HueFileUse::Update) {
            Expected<int> putBack = RollBackInterruptedWrite(*file, purpose);
            if (!putBack)
                return Fail(putBack.error());
            file->m_recovered = *putBack;
        } else {
            OverlayInterruptedWrite(*file);
        }
        file->m_knownLength = std::max<FileOffset>(0, file->size());
        return std::move(*file);
    }
    const int error = errno;
    file.reset();
    return Fail(whyRefused(fileName, use, error));
}

void HueFile::rollBackFirst(const std::string &fileName, std::chrono::milliseconds wait)
{
    if (!JournalBeside(fileName))
        return;
    IgnoreFileSizeSignal();
    openLocked(fileName, HueFileUse::Update, wait, Purpose::RollBackFirst);
}

Expected<HueFile> HueFile::openForReading(const std::string &fileName,
                                          std::chrono::milliseconds wait)
{
    return openLocked(fileName, HueFileUse::Reading, wait);
}

Expected<HueFile> HueFile::openForUpdate(const std::string &fileName,
                                         std::chrono::milliseconds wait)
{
    IgnoreFileSizeSignal();
    return openLocked(fileName, HueFileUse::Update, wait);
}

bool HueFile::looksLikeText() const
{
    return HeadHoldsNoZeroByte(m_file);
}

bool HueFile::readEntry(int n, HueEntry &destination) const
{
    HueEntry record{};
    const FileOffset got = readStored(&record, RecordSize, EntryOffset(n));
    destination = record;
    return got == RecordSize;
}

// The records and the block headers between them are read in one go into the entries' own
// memory, then moved down over the headers: a copy or a listing of 3000 entries then touches
// no second buffer of their size.
std::vector<HueEntry> HueFile::readEntries(int first, int last, std::vector<bool> &whole) const
{
    const auto count = static_cast<std::size_t>(std::max(0, last - first + 1));
    whole.assign(count, false);
    if (count == 0)
        return {};
    const FileOffset start = EntryOffset(first);
    const auto length = static_cast<std::size_t>(EntryOffset(last) + RecordSize - start);
    std::vector<HueEntry> entries((length + sizeof(HueEntry) - 1) / sizeof(HueEntry));
    auto *bytes = reinterpret_cast<char *>(entries.data());
    const FileOffset got =
        std::max<FileOffset>(0, readStored(bytes, static_cast<FileOffset>(length), start));
    for (std::size_t i = 0; i < count; ++i) {
        const FileOffset at = EntryOffset(first + static_cast<int>(i)) - start;
        const auto present =
            static_cast<std::size_t>(std::clamp<FileOffset>(got - at, 0, RecordSize));
        auto *entry = reinterpret_cast<char *>(&entries[i]);
        whole[i] = present == sizeof(HueEntry);
        // Each record lies at or after its place in the vector, so no move overwrites a record
        // still to be moved. A whole record's move has a fixed size, which the compiler inlines.
        if (whole[i]) {
            std::memmove(entry, bytes + at, sizeof(HueEntry));
            continue;
        }
        std::memmove(entry, bytes + at, present);
        std::memset(entry + present, 0, sizeof(HueEntry) - present);
    }
    entries.resize(count);
    return entries;
}

Expected<void> HueFile::writeEntry(int n, const HueEntry &entry, HueEntry *before)
{
    errno = 0;
    const FileOffset offset = EntryOffset(n);
    if (const auto refusal = refusalOfWrite(n, offset + RecordSize))
        return Fail(*refusal);
    const auto existing =
        static_cast<FileOffset>(std::clamp<FileOffset>(size() - offset, 0, RecordSize));
    HueEntry old{};
    if (existing > 0 && m_file.readAt(&old, existing, offset) != existing)
        return Fail(WriteFailureText(errno));
    Expected<void> written = writeEntry(n, entry, old);
    if (written && before)
        *before = old;
    return written;
}

// Beyond the old end `old` holds zeroes, which is what the file held there once extended.
// Only the bytes that actually changed are put back, so the undo never writes further than
// the failed write reached: under a file-size limit, the old bytes beyond it could not land.
Expected<void> HueFile::writeEntry(int n, const HueEntry &entry, const HueEntry &old)
{
    errno = 0;
    const FileOffset offset = EntryOffset(n);
    const FileOffset end = offset + RecordSize;
    if (const auto refusal = refusalOfWrite(n, end))
        return Fail(*refusal);
    const FileOffset lengthBefore = end > m_knownLength ? size() : m_knownLength;
    if (lengthBefore < 0 || (end > lengthBefore && !Extend(m_file, lengthBefore, end)))
        return Fail(WriteFailureText(errno));
    m_knownLength = std::max(lengthBefore, end);
    const FileOffset landed = m_file.writeAt(&entry, RecordSize, offset);
    if (landed == RecordSize)
        return Done();
    // Worded before the tidying up, which may fail for reasons of its own.
    const std::string why = WriteFailureText(errno);
    if (landed > 0)
        m_file.writeAt(&old, landed, offset);
    if (end > lengthBefore)
        giveBackLength(lengthBefore, FileBytes(static_cast<std::size_t>(end - lengthBefore)));
    return Fail(why);
}

FileOffset HueFile::size() const
{
    return m_overlay ? m_overlay->oldLength : m_file.size();
}

std::optional<std::string> HueFile::refusalOfWrite(int entry, FileOffset end) const
{
    if (!m_writing)
        return "no write operation is under way";
    const auto planned = static_cast<std::size_t>(entry);
    if (entry > 0 && (planned >= m_planned.size() || !m_planned[planned]))
        return "entry " + std::to_string(entry) + " is not in the write's journal";
    if (end > m_plannedEnd)
        return "the write would lengthen the file past its journal";
    return std::nullopt;
}

// Beyond its old length the file ends for the reader; the records lie over what it holds.
FileOffset HueFile::readStored(void *buffer, FileOffset count, FileOffset offset) const
{
    if (!m_overlay)
        return m_file.readAt(buffer, count, offset);
    const FileOffset shown = std::clamp<FileOffset>(m_overlay->oldLength - offset, 0, count);
    auto *bytes = static_cast<unsigned char *>(buffer);
    const FileOffset got = m_file.readAt(bytes, shown, offset);
    if (got < 0)
        return got;
    std::fill(bytes + got, bytes + shown, 0);
    for (const JournalRecord &record : m_overlay->records) {
        const FileOffset at = EntryOffset(record.entry);
        const FileOffset from = std::max(at, offset);
        const FileOffset to = std::min(at + RecordSize, offset + shown);
        if (from < to)
            std::memcpy(bytes + (from - offset),
                        reinterpret_cast<const unsigned char *>(&record.before) + (from - at),
                        static_cast<std::size_t>(to - from));
    }
    return shown;
}

Expected<void> HueFile::extendTo(FileOffset length)
{
    errno = 0;
    if (const auto refusal = refusalOfWrite(0, length))
        return Fail(*refusal);
    const FileOffset now = size();
    if (now < 0 || (length > now && !Extend(m_file, now, length)))
        return Fail(WriteFailureText(errno));
    m_knownLength = std::max(now, length);
    return Done();
}

std::optional<FileOffset> HueFile::firstChangeAfter(FileOffset earlierSize,
                                                    const FileBytes &added) const
{
    const FileOffset expected = earlierSize + static_cast<FileOffset>(added.size());
    const FileOffset length = size();
    FileBytes now(added.size());
    const FileOffset got =
        m_file.readAt(now.data(), static_cast<FileOffset>(now.size()), earlierSize);
    if (got < 0)
        return earlierSize;
    const auto differs = std::mismatch(added.begin(), added.begin() + got, now.begin()).first;
    if (differs != added.begin() + got || length != expected)
        return earlierSize + (differs - added.begin());
    return std::nullopt;
}

GiveBackOutcome HueFile::giveBackLength(FileOffset earlierSize, const FileBytes &added)
{
    if (added.empty())
        return GiveBackOutcome::Cut;
    if (refusalOfWrite(0, 0))
        return GiveBackOutcome::Failed;
    if (firstChangeAfter(earlierSize, added))
        return GiveBackOutcome::Touched;
    if (!m_file.setLength(earlierSize))
        return GiveBackOutcome::Failed;
    m_knownLength = earlierSize;
    return GiveBackOutcome::Cut;
}

int EntryAt(FileOffset offset)
{
    const FileOffset block = offset / HueBlockSize;
    const FileOffset slot = std::max<FileOffset>(0, offset % HueBlockSize - 4) / RecordSize;
    return static_cast<int>(block * 8 + slot + 1);
}

ReadOutcome ReadEntryFromFile(const std::string &fileName, int n, HueEntry &destination)
{
    const auto file = HueFile::openForGlance(fileName);
    if (!file)
        return ReadOutcome::NotOpened;
    return file->readEntry(n, destination) ? ReadOutcome::Read : ReadOutcome::NoRecord;
}

ReadOutcome LoadEntryFromFile(const std::string &fileName, int n, HueEntry &destination,
                              std::chrono::milliseconds wait)
{
    const auto file = HueFile::openForReading(fileName, wait);
    if (!file)
        return file.error() == LockedReason ? ReadOutcome::Locked : ReadOutcome::NotOpened;
    return file->readEntry(n, destination) ? ReadOutcome::Read : ReadOutcome::NoRecord;
}

// The checks of an open in their order, told apart; error is what the open that failed left in
// errno, the reason when nothing else explains the refusal (as for a file this user may read
// but not write, or one whose writers' lock another open holds). The facts follow a symbolic
// link as the open does, and never wait on a pipe.
std::string HueFile::whyRefused(const std::string &fileName, HueFileUse use, int error)
{
    if (fileName.empty())
        return "no file name";
    const NameFacts facts = FactsOfName(fileName);
    if (facts.error != 0)
        return ErrorText(facts.error);
    if (const std::string kind = KindText(facts.kind); !kind.empty())
        return kind;
    if (use == HueFileUse::Update && facts.readOnlyForEveryone)
        return ReadOnlyReason;
    errno = 0;
    const std::optional<HueFile> file = open(fileName, SystemFile::Access::Read);
    if (!file)
        return ErrorText(errno);
    if (file->looksLikeText())
        return TextFileReason;
    return ErrorText(error);
}

// An open for update has made the text check itself.
Expected<HueFile> OpenHueFile(const std::string &fileName, HueFileUse use,
                              std::chrono::milliseconds wait)
{
    if (use == HueFileUse::Update)
        return HueFile::openForUpdate(fileName, wait);
    Expected<HueFile> file = use == HueFileUse::Glance ? HueFile::openForGlance(fileName)
                                                       : HueFile::openForReading(fileName, wait);
    if (file && file->looksLikeText())
        return Fail(TextFileReason);
    return file;
}

// A name check is where the window first meets a file, so it puts back an interrupted write
// it finds, as far as it may without waiting; the glance that follows then sees the file whole.
bool CanOpenHueFile(const std::string &fileName)
{
    HueFile::rollBackFirst(fileName, {});
    return OpenHueFile(fileName, HueFileUse::Glance).ok();
}
