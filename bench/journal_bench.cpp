#include "bench/bench_support.h"

#include "huefile/checked_write.h"
#include "huefile/entry_copy.h"
#include "huefile/file_notices.h"
#include "huefile/hue_file.h"
#include "huefile/system_file.h"
#include "huefile/write_journal.h"

#include <functional>
#include <optional>

namespace {

// A write-back takes tens of microseconds without flushes; many make a sample. Flushed, each
// waits for the disk several times, and fewer keep the rounds short.
constexpr int WriteBacksPerSample = 40;
constexpr int CopiesPerSample = 4;
constexpr int PrototypeOperationsPerSample = 40;
// Where the window's editor writes back, away from either end of the file.
constexpr int WrittenEntry = MaxEntryNumber / 2;

const char HueName[] = "hues.mul";
const char ReadName[] = "patch-hues.mul";
// Where the hue file's name goes while a write runs without a journal.
const char AwayName[] = "hues-away.mul";

const char *FlushesWords(Flushes flushes)
{
    return flushes == Flushes::PowerCut ? "flushed" : "no flush";
}

// How the write under measure is kept. With no journal, the bench takes the program's own
// route for a file whose journal has no place: once the name the file was opened by no longer
// leads to it, the operation writes as it would without a journal and notices so.
struct Keeping {
    bool journal = true;
    Flushes flushes = Flushes::KillOnly;
};

// Times the work of `units` operations, each in two timed parts: the opens, then what follows
// them. Between the two the name is taken away when no journal is to be made, and afterwards it
// is given back, both untimed. With a journal the name makes the same two moves before the
// opens, so both sides leave the folder and the caches with the same work.
template <typename Open, typename Write>
BenchSample TimeOperations(int units, const Keeping &keeping, Open &&open, Write &&write)
{
    BenchSample total;
    const auto timed = [&total](auto &&work) {
        const double cpuStart = ProcessCpuSeconds();
        const auto realStart = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> real = std::chrono::steady_clock::now() - realStart;
        total.realSeconds += real.count();
        total.cpuSeconds += ProcessCpuSeconds() - cpuStart;
    };
    const auto move = [](const char *from, const char *to) {
        if (!MoveIntoName(from, to, false))
            throw BenchNotRun(std::string("could not rename ") + from + " to " + to);
    };
    for (int unit = 0; unit < units; ++unit) {
        if (keeping.journal) {
            move(HueName, AwayName);
            move(AwayName, HueName);
        }
        timed([&] { open(); });
        if (!keeping.journal)
            move(HueName, AwayName);
        timed([&] { write(unit); });
        if (!keeping.journal)
            move(AwayName, HueName);
    }
    return {total.realSeconds / units, total.cpuSeconds / units};
}

// The window's autosave of one entry: open for update, write the entry only where it still
// holds what the editor last saw, close. Each write swaps the entry between two versions.
class WriteBack {
public:
    BenchSample sample(const Keeping &keeping)
    {
        std::optional<HueFile> file;
        return TimeOperations(
            WriteBacksPerSample, keeping,
            [&] {
                Expected<HueFile> opened = HueFile::openForUpdate(HueName, WindowLockWait);
                if (!opened)
                    throw BenchNotRun("the write file did not open: " + opened.error());
                file = std::move(*opened);
            },
            [&](int) {
                const HueEntry next = GeneratedEntry(WrittenEntry, m_version == 0 ? 1 : 0);
                const HueEntry expected = GeneratedEntry(WrittenEntry, m_version);
                const CheckedWrite result =
                    WriteEntryIfUnchanged(*file, WrittenEntry, next, &expected, keeping.flushes);
                file.reset();
                if (result.outcome != CheckedWriteOutcome::Written)
                    throw BenchNotRun("the write-back did not write the entry");
                m_version = m_version == 0 ? 1 : 0;
            });
    }

    // Puts the first of the two versions into the file, which the first write-back expects.
    void start()
    {
        Expected<HueFile> file = HueFile::openForUpdate(HueName);
        if (!file ||
            !WriteOneEntry(*file, WrittenEntry, GeneratedEntry(WrittenEntry, 0), Flushes::KillOnly))
            throw BenchNotRun("the write-back's entry could not be set");
        m_version = 0;
    }

private:
    // The seed of the version the file holds.
    int m_version = 0;
};

// The copy of 3000 entries as the copy's ratio row makes it, through CopyHueEntryRange.
BenchSample CopySample(const Keeping &keeping)
{
    std::optional<HueFile> readFile;
    std::optional<HueFile> writeFile;
    return TimeOperations(
        CopiesPerSample, keeping,
        [&] {
            Expected<HueFile> reading = HueFile::openForReading(ReadName);
            Expected<HueFile> writing = HueFile::openForUpdate(HueName);
            if (!reading || !writing)
                throw BenchNotRun("the hue files did not open");
            readFile = std::move(*reading);
            writeFile = std::move(*writing);
        },
        [&](int) {
            const Expected<void> copied = CopyHueEntryRange(
                *readFile, *writeFile, 1, MaxEntryNumber, 1, MaxEntryNumber, keeping.flushes);
            writeFile.reset();
            readFile.reset();
            if (!copied)
                throw BenchNotRun("the program's copy failed: " + copied.error());
        });
}

// Counts the notices that a write went without a journal, while it lives.
class NoJournalNotices {
public:
    NoJournalNotices()
        : m_previous(SetNoticeListener([this](const FileNotice &notice) {
              m_count += notice.kind == NoticeKind::NoJournal;
          }))
    {
    }
    ~NoJournalNotices() { SetNoticeListener(m_previous); }
    int count() const { return m_count; }

private:
    int m_count = 0;
    NoticeListener m_previous;
};

// A baseline that made a journal after all, or a measured side that made none, would compare
// nothing: one operation of each kind, told apart by the notice that only a write without a
// journal gives.
template <typename Sample> void CheckKeeping(Sample &&sample)
{
    for (const bool journal : {false, true}) {
        const NoJournalNotices notices;
        sample(Keeping{journal, Flushes::KillOnly});
        if ((notices.count() == 0) != journal)
            throw BenchNotRun(journal ? "the write went without a journal"
                                      : "the write without a journal made one");
    }
}

void AddJournalRows(BenchTable &table, const std::string &measure, int rounds,
                    const std::function<BenchSample(const Keeping &)> &sample)
{
    CheckKeeping(sample);
    const auto none = [&] { return sample(Keeping{false, Flushes::KillOnly}); };
    for (const Flushes flushes : {Flushes::KillOnly, Flushes::PowerCut}) {
        const auto kept = [&] { return sample(Keeping{true, flushes}); };
        table.addTimedRatio(measure + ", journal, " + FlushesWords(flushes) + " vs none",
                            RunInterleaved(rounds, kept, none), NoGoal);
    }
}

// ---- A journal file per operation, against one kept open beside the hue file

// The journal of an operation over the first `entries` entries, as the program writes it.
std::string JournalOf(int entries)
{
    Journal journal;
    journal.identity = {true, 1, 2};
    journal.oldLength = EntryOffset(MaxEntryNumber) + static_cast<FileOffset>(sizeof(HueEntry));
    for (int n = 1; n <= entries; ++n)
        journal.records.push_back({n, GeneratedEntry(n, 7), GeneratedEntry(n, 0)});
    return JournalBytes(journal);
}

// Only the journal's own steps: the hue file's writes, and its flush before the journal goes,
// are the same in both designs.
class JournalPrototype {
public:
    JournalPrototype(const std::string &folder, int entries, Flushes flushes)
        : m_folder(folder), m_name(folder + ".colvane-journal-bench"), m_bytes(JournalOf(entries)),
          m_flushes(flushes)
    {
    }

    // Made exclusively, written in one go, its header zeroed and its name removed at the end.
    BenchSample perOperation()
    {
        return TimeUnits(PrototypeOperationsPerSample, [&](int) {
            std::optional<SystemFile> journal =
                SystemFile::createNew(m_name, FileKeeps{-1, -1, 0600});
            bool kept = journal && journal->writeAll(m_bytes);
            if (m_flushes == Flushes::PowerCut)
                kept = kept && journal->flush() && FlushFolder(m_folder);
            kept = kept && invalidate(*journal) && journal->close() && RemoveName(m_name);
            if (!kept)
                throw BenchNotRun("the per-operation journal could not be made and removed");
        });
    }

    // Opened once and left beside the file: each operation writes over it from its start and
    // zeroes its header at the end. Its name is on the disk already, so no folder flush.
    BenchSample keptOpen()
    {
        if (!m_keptOpen) {
            m_keptOpen = SystemFile::createNew(m_name + "-kept", FileKeeps{-1, -1, 0600});
            if (!m_keptOpen)
                throw BenchNotRun("the kept journal could not be made");
        }
        const auto size = static_cast<FileOffset>(m_bytes.size());
        return TimeUnits(PrototypeOperationsPerSample, [&](int) {
            bool kept = m_keptOpen->writeAt(m_bytes.data(), size, 0) == size;
            if (m_flushes == Flushes::PowerCut)
                kept = kept && m_keptOpen->flush();
            if (!kept || !invalidate(*m_keptOpen))
                throw BenchNotRun("the kept journal could not be written");
        });
    }

    ~JournalPrototype()
    {
        if (m_keptOpen) {
            m_keptOpen->close();
            RemoveName(m_name + "-kept");
        }
    }

private:
    static bool invalidate(SystemFile &journal)
    {
        static const std::string zeroes(64, '\0');
        const auto size = static_cast<FileOffset>(zeroes.size());
        return journal.writeAt(zeroes.data(), size, 0) == size;
    }

    std::string m_folder;
    std::string m_name;
    std::string m_bytes;
    Flushes m_flushes;
    std::optional<SystemFile> m_keptOpen;
};

void PrototypeRows(BenchTable &table, int rounds)
{
    for (const int entries : {1, MaxEntryNumber})
        for (const Flushes flushes : {Flushes::KillOnly, Flushes::PowerCut}) {
            // The current folder is the bench's temporary folder, on the disk the hue files use.
            JournalPrototype prototype("", entries, flushes);
            const std::string measure =
                "journal file per operation vs kept open, " + std::to_string(entries) +
                (entries == 1 ? " entry, " : " entries, ") + FlushesWords(flushes);
            table.addTimedRatio(measure,
                                RunInterleaved(
                                    rounds, [&] { return prototype.perOperation(); },
                                    [&] { return prototype.keptOpen(); }),
                                NoGoal);
        }
}

} // namespace

void RunJournalBenches(BenchTable &table, int rounds)
{
    const std::string writeBack = "write-back, one entry";
    const std::string copy = "copy, 3000 entries";
    try {
        BenchHueFolder folder;
        WriteBack write;
        write.start();
        AddJournalRows(table, writeBack, rounds,
                       [&](const Keeping &keeping) { return write.sample(keeping); });
        AddJournalRows(table, copy, rounds, CopySample);
        PrototypeRows(table, rounds);
    } catch (const BenchNotRun &reason) {
        table.addNotRun({"journal's cost (CPU)", "journal's cost (real)"}, "—", reason.what());
    }
    table.note("journal lines: the operation with its journal against the same operation with "
               "none (the route a file takes whose journal has no place); \"flushed\" is the "
               "journal kept against a power cut, as every colvane-cli write and the window's "
               "writes of many entries keep it; \"no flush\" against a kill alone, as the "
               "window's one-entry writes do. For information, without goals.");
    table.note("journal file per operation vs kept open: the journal's own steps alone, made, "
               "written and removed for each operation against one file kept open and written "
               "over; the hue file's own flush, the same in both, is left out.");
}
