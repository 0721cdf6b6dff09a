#include "bench/bench_support.h"

#include "huefile/hue_entry.h"
#include "widgets/draw_grid.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

constexpr int MiddleRow = MaxEntryNumber / 2;
constexpr double ScrollAim = 3.0;
constexpr double PageRepaintAimSeconds = 0.001;

const char PageRepaintName[] = "BM_BrowserPageRepaint";
const char ScrollName[] = "BM_BrowserScrollAllRows";
const char BaselineName[] = "BM_PlainFileReadsAllRows";

// One page of the browser, read from both files and painted, as after a file check.
void BM_BrowserPageRepaint(benchmark::State &state)
{
    BenchHueFolder folder;
    const auto form = ShowBenchForm();
    form->HueGrid1->setTopRow(MiddleRow);
    form->HueGrid1->repaint();
    for (auto _ : state)
        form->HueGrid1->repaint();
    state.counters["rows"] = form->HueGrid1->visibleRowCount();
}

// Pages through all 3000 rows from the top, each page painted at once as the scroll bar's
// page step shows it.
void BM_BrowserScrollAllRows(benchmark::State &state)
{
    BenchHueFolder folder;
    const auto form = ShowBenchForm();
    DrawGrid *grid = form->HueGrid1;
    const int page = grid->visibleRowCount();
    for (auto _ : state) {
        for (int top = 0; top < MaxEntryNumber; top += page) {
            grid->setTopRow(top);
            grid->repaint();
        }
    }
    state.counters["page"] = page;
}

// The file work of the scroll without any painting: for every row, both files opened, one
// record read from each at the entry's place, both closed.
void ReadBothEntries(const char *readName, const char *writeName, int entryNumber)
{
    for (const char *name : {readName, writeName}) {
        HueEntry entry{};
        std::FILE *file = std::fopen(name, "rb");
        if (!file)
            continue;
        std::fseek(file, EntryOffset(entryNumber), SEEK_SET);
        benchmark::DoNotOptimize(std::fread(&entry, sizeof entry, 1, file));
        benchmark::DoNotOptimize(entry);
        std::fclose(file);
    }
}

void BM_PlainFileReadsAllRows(benchmark::State &state)
{
    BenchHueFolder folder;
    for (auto _ : state)
        for (int n = 1; n <= MaxEntryNumber; ++n)
            ReadBothEntries("patch-hues.mul", "hues.mul", n);
}

// Zero for a benchmark that did not run, for example when a filter left it out.
BenchTime TimeOf(const BenchTimes &times, const char *name)
{
    const auto found = times.find(name);
    return found == times.end() ? BenchTime{} : found->second;
}

void PrintBrowserSummary(const BenchTimes &times)
{
    const BenchTime page = TimeOf(times, PageRepaintName);
    if (page.realSeconds > 0)
        std::printf("Browser page repaint: %.3f ms real, %.3f ms CPU (aim: under %.0f ms)\n",
                    page.realSeconds * 1e3, page.cpuSeconds * 1e3, PageRepaintAimSeconds * 1e3);
    const BenchTime scroll = TimeOf(times, ScrollName);
    const BenchTime plain = TimeOf(times, BaselineName);
    if (scroll.realSeconds > 0 && plain.realSeconds > 0 && plain.cpuSeconds > 0)
        std::printf("Browser scroll / plain file reads: %.2f real, %.2f CPU (aim: at most %.0f)\n",
                    scroll.realSeconds / plain.realSeconds, scroll.cpuSeconds / plain.cpuSeconds,
                    ScrollAim);
}

const bool summaryRegistered = RegisterBenchSummary(&PrintBrowserSummary);

} // namespace

BENCHMARK(BM_BrowserPageRepaint)->Name(PageRepaintName)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BrowserScrollAllRows)->Name(ScrollName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFileReadsAllRows)->Name(BaselineName)->Unit(benchmark::kMillisecond);
