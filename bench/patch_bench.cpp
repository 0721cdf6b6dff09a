#include "bench/bench_support.h"

#include "huefile/formats/patch.h"

#include <benchmark/benchmark.h>

namespace {

// A patch is written once per change but may be read many times, by apply, check and merge;
// writing it should still cost about what reading it back does.
constexpr double WriteGoal = 3.0;
// One write of 3000 entries takes about a millisecond; several make a sample.
constexpr int PatchesPerSample = 5;
const std::string WriteMeasure = "patch written vs read back, 3000 entries";

// The two generated files differ in every entry, as diff --patch of the benched files finds.
Patch FullPatch()
{
    EntrySlots from;
    EntrySlots to;
    for (int n = 1; n <= MaxEntryNumber; ++n) {
        from.emplace_back(GeneratedEntry(n, 7));
        to.emplace_back(GeneratedEntry(n, 0));
    }
    return MakePatch(from, to);
}

void WriteBench(int rounds, BenchTable &table)
{
    const Patch patch = FullPatch();
    const std::string written = WritePatch(patch);
    const Expected<Patch> back = ReadPatch(written);
    if (patch.size() != static_cast<std::size_t>(MaxEntryNumber) || !back ||
        back->size() != patch.size())
        throw BenchNotRun("the written patch does not read back whole");
    const auto write = [&] {
        return TimeUnits(PatchesPerSample, [&](int) {
            std::string text = WritePatch(patch);
            benchmark::DoNotOptimize(text);
        });
    };
    const auto read = [&] {
        return TimeUnits(PatchesPerSample, [&](int) {
            Expected<Patch> read = ReadPatch(written);
            benchmark::DoNotOptimize(read);
        });
    };
    table.addTimedRatio(WriteMeasure, RunInterleaved(rounds, write, read), WriteGoal);
}

} // namespace

void RunPatchBenches(BenchTable &table, int rounds)
{
    try {
        WriteBench(rounds, table);
    } catch (const BenchNotRun &reason) {
        table.addNotRun({WriteMeasure + " (CPU)", WriteMeasure + " (real)"},
                        FormatGoalRatio(WriteGoal), reason.what());
    }
}
