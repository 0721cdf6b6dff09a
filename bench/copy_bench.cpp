#include "bench/bench_support.h"

#include "huefile/entry_copy.h"
#include "huefile/hue_entry.h"
#include "huefile/hue_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr double CopyGoal = 1.2;

// The least a journal of before- and after-images can be, as the command line's baselines
// write it (bench/baselines/journal.h): a header, a record of entry number, both images and a
// checksum per entry, written in one go into a new file; zeroed and removed after the writes.
class BaselineJournal {
public:
    static constexpr std::size_t HeaderSize = 64;
    static constexpr std::size_t RecordSize = 4 + 2 * sizeof(HueEntry) + 4;
    static constexpr const char *Name = ".colvane-journal-baseline";

    explicit BaselineJournal(std::size_t records) : m_bytes(HeaderSize + records * RecordSize) {}
    void add(int entry, const char *before, const char *after)
    {
        unsigned char *record = m_bytes.data() + HeaderSize + m_records++ * RecordSize;
        const auto number = static_cast<std::uint32_t>(entry);
        std::memcpy(record, &number, 4);
        std::memcpy(record + 4, before, sizeof(HueEntry));
        std::memcpy(record + 4 + sizeof(HueEntry), after, sizeof(HueEntry));
        const auto sum = static_cast<std::uint32_t>(crc32(0, record, RecordSize - 4));
        std::memcpy(record + RecordSize - 4, &sum, 4);
    }
    bool write()
    {
        std::memcpy(m_bytes.data(), "colvJrnl", 8);
        const auto sum = static_cast<std::uint32_t>(crc32(0, m_bytes.data(), HeaderSize - 4));
        std::memcpy(m_bytes.data() + HeaderSize - 4, &sum, 4);
        m_file = open(Name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        return m_file >= 0 &&
               ::write(m_file, m_bytes.data(), m_bytes.size()) ==
                   static_cast<ssize_t>(m_bytes.size());
    }
    ~BaselineJournal()
    {
        const unsigned char zeroes[HeaderSize] = {};
        if (m_file >= 0 && pwrite(m_file, zeroes, HeaderSize, 0) >= 0)
            close(m_file);
        else if (m_file >= 0)
            close(m_file);
        unlink(Name);
    }

private:
    std::vector<unsigned char> m_bytes;
    std::size_t m_records = 0;
    int m_file = -1;
};
// A copy of 3000 entries takes a few milliseconds; several make a sample long enough that
// the clocks' resolution and a single interruption matter little.
constexpr int CopiesPerSample = 4;
constexpr int ClicksPerSample = 4;

const std::string CopyMeasure = "copy, 3000 entries";
// The window keeps a copy of many entries against a power cut, so the click's line waits for
// the disk as well.
const std::string ClickMeasure = "copy button, 3000 entries, log + repaint, flushed";

// The copy's own work for entries 1 to 3000 onto 1 to 3000: both files opened once, every
// pair through the program's file layer, every entry written all or nothing.
BenchSample CopyThroughProgram()
{
    return TimeUnits(CopiesPerSample, [](int) {
        const auto readFile = HueFile::openForReading("patch-hues.mul");
        auto writeFile = HueFile::openForUpdate("hues.mul");
        if (!readFile || !writeFile)
            throw BenchNotRun("the hue files did not open");
        if (!CopyHueEntryRange(*readFile, *writeFile, 1, MaxEntryNumber, 1, MaxEntryNumber,
                               Flushes::KillOnly)
                 .ok())
            throw BenchNotRun("the program's copy failed");
    });
}

// Baseline: the program's own pattern without its checks: both files opened once, one pread of
// the source range and one of the target range (the entries as they were, kept for undo and for
// a write that fails), the journal of both written beside the target, one pwrite per entry at
// its place, the journal removed. Neither side flushes, as the program's copy here does not.
BenchSample CopyWithPreadPwrite()
{
    return TimeUnits(CopiesPerSample, [](int) {
        const int readFile = open("patch-hues.mul", O_RDONLY | O_CLOEXEC);
        const int writeFile = open("hues.mul", O_RDWR | O_CLOEXEC);
        const long start = EntryOffset(1);
        std::vector<char> range(EntryOffset(MaxEntryNumber) + sizeof(HueEntry) - start);
        std::vector<char> before(range.size());
        const auto readRange = [&](int file, std::vector<char> &bytes) {
            return pread(file, bytes.data(), bytes.size(), start) ==
                   static_cast<ssize_t>(bytes.size());
        };
        int copied = 0;
        if (readFile >= 0 && writeFile >= 0 && readRange(readFile, range) &&
            readRange(writeFile, before)) {
            BaselineJournal journal(MaxEntryNumber);
            for (int n = 1; n <= MaxEntryNumber; ++n)
                journal.add(n, before.data() + (EntryOffset(n) - start),
                            range.data() + (EntryOffset(n) - start));
            if (journal.write())
                for (int n = 1; n <= MaxEntryNumber; ++n)
                    copied += pwrite(writeFile, range.data() + (EntryOffset(n) - start),
                                     sizeof(HueEntry),
                                     EntryOffset(n)) == static_cast<ssize_t>(sizeof(HueEntry));
        }
        if (writeFile >= 0)
            close(writeFile);
        if (readFile >= 0)
            close(readFile);
        benchmark::DoNotOptimize(copied);
        benchmark::DoNotOptimize(before.data());
        if (copied != MaxEntryNumber)
            throw BenchNotRun("the pread/pwrite copy did not copy every entry");
    });
}

void CopyBench(int rounds, BenchTable &table)
{
    BenchHueFolder folder;
    table.addTimedRatio(CopyMeasure,
                        RunInterleaved(rounds, CopyThroughProgram, CopyWithPreadPwrite), CopyGoal);
}

// The whole click as the user sees it: the copy, its two log lines and the browser repaint.
void ClickBench(int rounds, BenchTable &table)
{
    BenchHueFolder folder;
    const auto form = ShowBenchForm();
    form->RadioButtonGetColor1->setChecked(true);
    form->Only1Color->setChecked(false);
    form->NumberFrom->setText("1");
    form->NumberTo->setText(QString::number(MaxEntryNumber));
    const auto click = [&] {
        return TimeUnits(ClicksPerSample, [&](int) { form->CopyColorsClick(); });
    };
    // The files differ before the first click, so only a click that copied makes the last
    // entry of both alike.
    click();
    HueEntry read{};
    HueEntry written{};
    if (ReadEntryFromFile("patch-hues.mul", MaxEntryNumber, read) != ReadOutcome::Read ||
        ReadEntryFromFile("hues.mul", MaxEntryNumber, written) != ReadOutcome::Read ||
        std::memcmp(&read, &written, sizeof read) != 0)
        throw BenchNotRun("the copy button did not copy the entries");
    std::vector<BenchSample> samples;
    for (int round = 0; round < rounds; ++round)
        samples.push_back(click());
    table.addTimedInformation(ClickMeasure, samples);
}

} // namespace

void RunCopyBenches(BenchTable &table, int rounds)
{
    try {
        CopyBench(rounds, table);
    } catch (const BenchNotRun &reason) {
        table.addNotRun({CopyMeasure + " (CPU)", CopyMeasure + " (real)"},
                        FormatGoalRatio(CopyGoal), reason.what());
    }
    try {
        ClickBench(rounds, table);
    } catch (const BenchNotRun &reason) {
        table.addNotRun({ClickMeasure + " (CPU)", ClickMeasure + " (real)"}, "—", reason.what());
    }
}
