#include "huefile/write_journal.h"

#include "huefile/file_checks.h"
#include "huefile/file_notices.h"
#include "huefile/number_text.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

// A journal is a header and one record per planned write:
//   header  "colvJrnl", version, record count, device, index, old length, record size, CRC-32
//   record  entry number, before-image, after-image, CRC-32
// all little-endian. Header and records are written in one go before the first write to the
// hue file, and each carries its own checksum, so a journal cut short by a kill or a power cut
// never checks out; and nothing was written before the whole journal was.

namespace {

constexpr char Magic[8] = {'c', 'o', 'l', 'v', 'J', 'r', 'n', 'l'};
constexpr std::uint32_t Version = 1;
constexpr std::size_t HeaderSize = 64;
constexpr std::size_t HeaderChecked = HeaderSize - 4;
constexpr std::size_t RecordChecked = 4 + 2 * sizeof(HueEntry);
constexpr std::size_t RecordSize = RecordChecked + 4;
constexpr auto EntrySize = static_cast<FileOffset>(sizeof(HueEntry));
// Far more than any operation plans; a larger file is none of ours.
constexpr FileOffset LargestJournal = 64 << 20;
// Where a write may tear: a disk writes 512 bytes whole, the system's memory a page, which is
// a multiple of them.
constexpr FileOffset TearEdge = 512;

std::uint32_t Checksum(const char *bytes, std::size_t count)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(bytes), static_cast<uInt>(count)));
}

template <typename T> void Put(std::string &bytes, std::size_t at, T value)
{
    std::memcpy(&bytes[at], &value, sizeof value);
}

template <typename T> T Get(const std::string &bytes, std::size_t at)
{
    T value{};
    std::memcpy(&value, &bytes[at], sizeof value);
    return value;
}

std::string Hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string NameFor(const std::string &folder, const char *kind, const FileIdentity &identity)
{
    return folder + ".colvane-" + kind + "-" + Hex(identity.index) + "-" + Hex(identity.device);
}

JournalPlace PlaceOf(const NameFacts &facts, const FileIdentity &identity)
{
    if (facts.error != 0 || facts.kind != FileKind::Regular || !(facts.identity == identity) ||
        facts.resolvedName.empty())
        return {};
    const std::size_t cut = facts.resolvedName.find_last_of(NameSeparators);
    const std::string folder =
        cut == std::string::npos ? std::string() : facts.resolvedName.substr(0, cut + 1);
    return {folder, JournalNameFor(folder, identity), AsideNameFor(folder, identity),
            facts.keeps};
}

bool NameTaken(const std::string &name)
{
    const NameFacts facts = FactsOfName(name);
    return facts.error == 0 || facts.isLink;
}

enum class JournalState { None, Trusted, Untrusted };

// A journal is taken at its word only when it is a plain file, no link, that this user or the
// hue file's owner made: in a folder that others may write, anyone could lay one there, and
// putting it back would write their bytes into the file, or zero the file a link leads to.
JournalState LookAtJournal(const JournalPlace &place)
{
    const NameFacts facts = FactsOfName(place.journal);
    if (facts.error != 0 && !facts.isLink)
        return JournalState::None;
    if (facts.isLink || facts.kind != FileKind::Regular ||
        !(facts.ownedByUs || facts.keeps.owner == place.keeps.owner))
        return JournalState::Untrusted;
    return JournalState::Trusted;
}

// The name a user knows a journal by, without its folder.
std::string LastPart(const std::string &name)
{
    const std::size_t cut = name.find_last_of(NameSeparators);
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

// The journal's bytes, or none when there is no journal to read.
std::optional<std::string> ReadJournalFile(const std::string &name)
{
    std::optional<SystemFile> file = SystemFile::open(name, SystemFile::Access::Read);
    if (!file)
        return std::nullopt;
    const FileOffset size = std::min(file->size(), LargestJournal);
    std::string bytes(static_cast<std::size_t>(std::max<FileOffset>(0, size)), '\0');
    const FileOffset got = file->readAt(bytes.data(), size, 0);
    bytes.resize(static_cast<std::size_t>(std::max<FileOffset>(0, got)));
    return bytes;
}

// The header goes first, so that a journal half removed never checks out again.
void Invalidate(SystemFile &journal, const std::string &name)
{
    const std::string zeroes(HeaderSize, '\0');
    journal.writeAt(zeroes.data(), static_cast<FileOffset>(zeroes.size()), 0);
    journal.close();
    RemoveName(name);
}

void InvalidateByName(const std::string &name)
{
    if (std::optional<SystemFile> journal = SystemFile::open(name, SystemFile::Access::Update))
        Invalidate(*journal, name);
    else
        RemoveName(name);
}

std::size_t EntryCount(const Journal &journal)
{
    std::vector<int> entries;
    for (const JournalRecord &record : journal.records)
        entries.push_back(record.entry);
    std::sort(entries.begin(), entries.end());
    return static_cast<std::size_t>(std::unique(entries.begin(), entries.end()) - entries.begin());
}

// Each entry's before-image once, the first record's: every record of an entry saved the same.
std::map<int, HueEntry> BeforeImages(const Journal &journal)
{
    std::map<int, HueEntry> before;
    for (const JournalRecord &record : journal.records)
        before.emplace(record.entry, record.before);
    return before;
}

// The first entry the journal cannot account for, or 0.
int FirstUnaccounted(const HueFile &file, const Journal &journal)
{
    for (const auto &[entry, before] : BeforeImages(journal)) {
        HueEntry now{};
        file.readEntry(entry, now);
        if (!MayHaveLeft(journal, entry, now))
            return entry;
    }
    return 0;
}

} // namespace

// ---- the journal's bytes

namespace {

// The bytes of a journal of `count` records, its header written and its records left for
// PutRecord.
std::string JournalOfRecords(const FileIdentity &identity, FileOffset oldLength, std::size_t count)
{
    std::string bytes(HeaderSize + RecordSize * count, '\0');
    std::memcpy(&bytes[0], Magic, sizeof Magic);
    Put<std::uint32_t>(bytes, 8, Version);
    Put<std::uint32_t>(bytes, 12, static_cast<std::uint32_t>(count));
    Put<std::uint64_t>(bytes, 16, identity.device);
    Put<std::uint64_t>(bytes, 24, identity.index);
    Put<std::int64_t>(bytes, 32, oldLength);
    Put<std::uint32_t>(bytes, 40, static_cast<std::uint32_t>(RecordSize));
    Put<std::uint32_t>(bytes, HeaderChecked, Checksum(bytes.data(), HeaderChecked));
    return bytes;
}

void PutRecord(std::string &bytes, std::size_t index, int entry, const HueEntry &before,
               const HueEntry &after)
{
    const std::size_t at = HeaderSize + RecordSize * index;
    Put<std::uint32_t>(bytes, at, static_cast<std::uint32_t>(entry));
    std::memcpy(&bytes[at + 4], &before, sizeof(HueEntry));
    std::memcpy(&bytes[at + 4 + sizeof(HueEntry)], &after, sizeof(HueEntry));
    Put<std::uint32_t>(bytes, at + RecordChecked, Checksum(&bytes[at], RecordChecked));
}

} // namespace

std::string JournalBytes(const Journal &journal)
{
    std::string bytes =
        JournalOfRecords(journal.identity, journal.oldLength, journal.records.size());
    for (std::size_t i = 0; i < journal.records.size(); ++i)
        PutRecord(bytes, i, journal.records[i].entry, journal.records[i].before,
                  journal.records[i].after);
    return bytes;
}

std::optional<Journal> ParseJournal(const std::string &bytes)
{
    if (bytes.size() < HeaderSize || std::memcmp(bytes.data(), Magic, sizeof Magic) != 0 ||
        Get<std::uint32_t>(bytes, HeaderChecked) != Checksum(bytes.data(), HeaderChecked) ||
        Get<std::uint32_t>(bytes, 8) != Version || Get<std::uint32_t>(bytes, 40) != RecordSize)
        return std::nullopt;
    const auto count = Get<std::uint32_t>(bytes, 12);
    Journal journal;
    journal.identity = {true, Get<std::uint64_t>(bytes, 16), Get<std::uint64_t>(bytes, 24)};
    journal.oldLength = Get<std::int64_t>(bytes, 32);
    if (journal.oldLength < 0 || (bytes.size() - HeaderSize) / RecordSize < count)
        return std::nullopt;
    journal.records.resize(count);
    std::size_t at = HeaderSize;
    for (JournalRecord &record : journal.records) {
        const auto entry = Get<std::uint32_t>(bytes, at);
        if (Get<std::uint32_t>(bytes, at + RecordChecked) != Checksum(&bytes[at], RecordChecked) ||
            entry < 1 || entry > static_cast<std::uint32_t>(MaxEntryNumber))
            return std::nullopt;
        record.entry = static_cast<int>(entry);
        std::memcpy(&record.before, &bytes[at + 4], sizeof(HueEntry));
        std::memcpy(&record.after, &bytes[at + 4 + sizeof(HueEntry)], sizeof(HueEntry));
        at += RecordSize;
    }
    return journal;
}

bool MayHaveLeft(const Journal &journal, int entry, const HueEntry &now)
{
    const FileOffset offset = EntryOffset(entry);
    const FileOffset end = std::min(offset + EntrySize, journal.oldLength);
    const auto *held = reinterpret_cast<const unsigned char *>(&now);
    const auto same = [&](const HueEntry &image, FileOffset from, FileOffset to) {
        return std::memcmp(held + (from - offset),
                           reinterpret_cast<const unsigned char *>(&image) + (from - offset),
                           static_cast<std::size_t>(to - from)) == 0;
    };
    for (FileOffset from = offset; from < end;) {
        const FileOffset to = std::min(end, (from / TearEdge + 1) * TearEdge);
        bool known = false;
        for (const JournalRecord &record : journal.records)
            if (record.entry == entry && (same(record.before, from, to) || same(record.after, from, to)))
                known = true;
        if (!known)
            return false;
        from = to;
    }
    return true;
}

std::string JournalNameFor(const std::string &folder, const FileIdentity &identity)
{
    return NameFor(folder, "journal", identity);
}

std::string AsideNameFor(const std::string &folder, const FileIdentity &identity)
{
    return NameFor(folder, "aside", identity);
}

bool JournalBeside(const std::string &fileName)
{
    const NameFacts facts = FactsOfName(fileName);
    const JournalPlace place = PlaceOf(facts, facts.identity);
    return place.known() && (NameTaken(place.journal) || NameTaken(place.aside));
}

// ---- putting back

// Under the writers' lock. The entries go back first and the length after them, each flushed,
// so that a recovery killed at any point leaves a journal that checks out and a file that it
// still accounts for: run again, it ends where one whole run would have.
Expected<int> RollBackInterruptedWrite(HueFile &file, HueFile::Purpose purpose)
{
    const bool tell = purpose == HueFile::Purpose::RollBackFirst;
    const JournalPlace place = PlaceOf(FactsOfName(file.m_name), file.m_file.identity());
    if (!place.known())
        return 0;
    if (NameTaken(place.aside))
        return Fail("an interrupted write could not be rolled back; the file takes no writes "
                    "until " + LastPart(place.aside) + " beside it is looked at and removed");
    const JournalState state = LookAtJournal(place);
    // Without locks a journal under way looks like one left by a kill, and putting it back
    // would undo a live write halfway: only the user can tell, with `recover`.
    if (state != JournalState::None && file.m_holdsNoLock &&
        purpose != HueFile::Purpose::ByHand) {
        const std::string why = "a journal of a write, " + LastPart(place.journal) +
                                ", lies beside the file, and without locks nothing tells "
                                "whether that write is still under way; the file takes no "
                                "writes until colvane-cli recover is run on it";
        if (tell)
            Notify(NoticeKind::JournalFound, file.m_name, why);
        return Fail(why);
    }
    if (state == JournalState::Untrusted)
        return Fail("a journal that neither this user nor the file's owner made, " +
                    LastPart(place.journal) + ", lies beside the file; it takes no writes "
                    "until that is looked at and removed");
    const std::optional<std::string> bytes =
        state == JournalState::Trusted ? ReadJournalFile(place.journal) : std::nullopt;
    if (!bytes)
        return 0;
    const std::optional<Journal> journal = ParseJournal(*bytes);
    if (!journal || !(journal->identity == file.m_file.identity())) {
        InvalidateByName(place.journal);
        return 0;
    }
    if (const int entry = FirstUnaccounted(file, *journal)) {
        const std::string why = "an interrupted write of " + EntriesText(EntryCount(*journal)) +
                                " was not rolled back: entry " + std::to_string(entry) +
                                " holds what neither it nor the file had; the file takes no "
                                "writes until " + LastPart(place.aside) +
                                " beside it is looked at and removed";
        MoveIntoName(place.journal, place.aside, false);
        if (tell)
            Notify(NoticeKind::SetAside, file.m_name, why);
        return Fail(why);
    }
    errno = 0;
    SystemFile &hues = file.m_file;
    bool putBack = hues.size() >= journal->oldLength || hues.setLength(journal->oldLength);
    for (const auto &[entry, before] : BeforeImages(*journal)) {
        const FileOffset offset = EntryOffset(entry);
        const FileOffset count = std::clamp<FileOffset>(journal->oldLength - offset, 0, EntrySize);
        putBack = putBack && hues.writeAt(&before, count, offset) == count;
    }
    putBack = putBack && hues.flush();
    putBack = putBack && (hues.size() == journal->oldLength || hues.setLength(journal->oldLength));
    putBack = putBack && hues.flush();
    if (!putBack)
        return Fail("an interrupted write of " + EntriesText(EntryCount(*journal)) +
                    " could not be rolled back (" + WriteFailureText(errno) + ")");
    InvalidateByName(place.journal);
    Notify(NoticeKind::RolledBack, file.m_name,
           "an interrupted write of " + EntriesText(EntryCount(*journal)) + " was rolled back");
    return static_cast<int>(EntryCount(*journal));
}

// Under a reader's shared hold, so the journal is no live writer's.
void OverlayInterruptedWrite(HueFile &file)
{
    const JournalPlace place = PlaceOf(FactsOfName(file.m_name), file.m_file.identity());
    if (!place.known())
        return;
    if (LookAtJournal(place) != JournalState::Trusted)
        return;
    const std::optional<std::string> bytes = ReadJournalFile(place.journal);
    std::optional<Journal> journal = bytes ? ParseJournal(*bytes) : std::nullopt;
    if (!journal || !(journal->identity == file.m_file.identity()) ||
        FirstUnaccounted(file, *journal) != 0)
        return;
    Notify(NoticeKind::Overlaid, file.m_name,
           "an interrupted write of " + EntriesText(EntryCount(*journal)) +
               " is not rolled back yet; read as it was before that write");
    file.m_overlay = std::make_shared<const Journal>(std::move(*journal));
}

Expected<int> RecoverHueFile(const std::string &fileName, std::chrono::milliseconds wait)
{
    IgnoreFileSizeSignal();
    Expected<HueFile> file =
        HueFile::openLocked(fileName, HueFileUse::Update, wait, HueFile::Purpose::ByHand);
    if (!file)
        return Fail(file.error());
    return file->m_recovered;
}

// ---- the operation

Expected<WriteOperation> WriteOperation::begin(HueFile &file, const std::vector<PlannedWrite> &plan,
                                               Flushes flushes)
{
    if (file.m_use != HueFileUse::Update || file.m_writing)
        return Fail(file.m_writing ? "a write operation is already under way"
                                   : "the file is not open for writing");
    const FileOffset oldLength = file.size();
    if (oldLength < 0)
        return Fail(WriteFailureText(errno));
    FileOffset end = oldLength;
    int first = MaxEntryNumber;
    int last = 1;
    for (const PlannedWrite &write : plan) {
        if (write.entry < 1 || write.entry > MaxEntryNumber)
            return Fail("entry " + std::to_string(write.entry) + " is beyond the file's entries");
        first = std::min(first, write.entry);
        last = std::max(last, write.entry);
        end = std::max(end, EntryOffset(write.entry) + EntrySize);
    }
    WriteOperation operation(file, flushes);
    std::vector<bool> whole;
    operation.m_first = first;
    operation.m_before = file.readEntries(first, last, whole);
    file.m_planned.assign(static_cast<std::size_t>(last + 1), false);
    const FileIdentity identity = file.m_file.identity();
    std::string bytes = JournalOfRecords(identity, oldLength, plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        file.m_planned[static_cast<std::size_t>(plan[i].entry)] = true;
        PutRecord(bytes, i, plan[i].entry, operation.before(plan[i].entry), plan[i].after);
    }
    file.m_plannedEnd = end;
    file.m_writing = true;
    if (plan.empty())
        return operation;

    const JournalPlace place = PlaceOf(FactsOfName(file.m_name), identity);
    if (!place.known()) {
        Notify(NoticeKind::NoJournal, file.m_name,
               "writing without a journal, as its folder cannot be told");
        return operation;
    }
    errno = 0;
    std::optional<SystemFile> made = SystemFile::createNew(place.journal, place.keeps);
    if (!made && errno == EEXIST) {
        file.m_writing = false;
        return Fail("an interrupted write's journal, " + LastPart(place.journal) +
                    ", lies beside the file; open it again to roll that write back");
    }
    const bool kept = made && made->writeAll(bytes) &&
                      (flushes == Flushes::KillOnly ||
                       (made->flush() && FlushFolder(place.folder)));
    if (!kept) {
        const std::string why = WriteFailureText(errno);
        if (made)
            Invalidate(*made, place.journal);
        Notify(NoticeKind::NoJournal, file.m_name,
               "writing without a journal, as none can be made beside it (" + why + ")");
        return operation;
    }
    operation.m_journal = std::move(made);
    operation.m_journalName = place.journal;
    return operation;
}

WriteOperation::WriteOperation(WriteOperation &&other) noexcept
    : m_file(std::exchange(other.m_file, nullptr)), m_flushes(other.m_flushes),
      m_journal(std::move(other.m_journal)), m_journalName(std::move(other.m_journalName)),
      m_first(other.m_first), m_before(std::move(other.m_before))
{
    other.m_journal.reset();
}

WriteOperation::~WriteOperation()
{
    end();
}

void WriteOperation::end()
{
    if (!m_file)
        return;
    if (m_journal) {
        if (m_flushes == Flushes::PowerCut)
            m_file->m_file.flush();
        Invalidate(*m_journal, m_journalName);
        m_journal.reset();
    }
    m_file->m_writing = false;
    m_file->m_planned.clear();
    m_file = nullptr;
}

Expected<void> WriteOneEntry(HueFile &file, int n, const HueEntry &entry, Flushes flushes)
{
    Expected<WriteOperation> operation = WriteOperation::begin(file, {{n, entry}}, flushes);
    if (!operation)
        return Fail(operation.error());
    return file.writeEntry(n, entry);
}
