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

namespace {

constexpr double CopyGoal = 1.2;
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
// a write that fails), then one pwrite per entry at its place.
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
            for (int n = 1; n <= MaxEntryNumber; ++n)
                copied +=
                    pwrite(writeFile, range.data() + (EntryOffset(n) - start), sizeof(HueEntry),
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
