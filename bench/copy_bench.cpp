#include "bench/bench_support.h"

#include "copy/entry_copy.h"
#include "huefile/hue_entry.h"
#include "huefile/hue_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double StreamAim = 2.0;

const char StreamsName[] = "BM_CopyFullRangeStreams";
const char BaselineName[] = "BM_CopyFullRangePreadPwrite";
const char HandlerName[] = "BM_CopyColorsClickFullRange";

// The copy's own work for entries 1 to 3000 onto 1 to 3000: both files opened once, every
// pair through the program's file layer, every entry written all or nothing.
void BM_CopyFullRangeStreams(benchmark::State &state)
{
    BenchHueFolder folder;
    for (auto _ : state) {
        const auto readFile = HueFile::openForReading("patch-hues.mul");
        auto writeFile = HueFile::openForUpdate("hues.mul");
        if (!readFile || !writeFile) {
            state.SkipWithError("the hue files did not open");
            break;
        }
        benchmark::DoNotOptimize(
            CopyHueEntryRange(*readFile, *writeFile, 1, MaxEntryNumber, 1, MaxEntryNumber));
    }
}

// The same 3000 pairs with one positioned system call per read and per write, no buffering.
void BM_CopyFullRangePreadPwrite(benchmark::State &state)
{
    BenchHueFolder folder;
    for (auto _ : state) {
        const int readFile = open("patch-hues.mul", O_RDONLY);
        const int writeFile = open("hues.mul", O_RDWR);
        if (readFile < 0 || writeFile < 0) {
            state.SkipWithError("the hue files did not open");
            break;
        }
        for (int n = 1; n <= MaxEntryNumber; ++n) {
            HueEntry entry{};
            if (pread(readFile, &entry, sizeof entry, EntryOffset(n)) ==
                static_cast<ssize_t>(sizeof entry))
                benchmark::DoNotOptimize(pwrite(writeFile, &entry, sizeof entry, EntryOffset(n)));
        }
        close(writeFile);
        close(readFile);
    }
}

// The whole click as the user sees it: the copy, its two log lines and the browser repaint.
void BM_CopyColorsClickFullRange(benchmark::State &state)
{
    BenchHueFolder folder;
    const auto form = ShowBenchForm();
    form->RadioButtonGetColor1->setChecked(true);
    form->Only1Color->setChecked(false);
    form->NumberFrom->setText("1");
    form->NumberTo->setText(QString::number(MaxEntryNumber));
    for (auto _ : state)
        form->CopyColorsClick();
}

void PrintCopySummary(const BenchTimes &times)
{
    const auto streams = times.find(StreamsName);
    const auto baseline = times.find(BaselineName);
    if (streams != times.end() && baseline != times.end()) {
        const BenchTime &copied = streams->second;
        const BenchTime &plain = baseline->second;
        if (plain.realSeconds > 0 && plain.cpuSeconds > 0)
            std::printf("Copy of 3000 entries: streams %.3f ms real, %.3f ms CPU; pread/pwrite "
                        "%.3f ms real, %.3f ms CPU; ratio %.2f real, %.2f CPU (aim: at most "
                        "%.0f)\n",
                        copied.realSeconds * 1e3, copied.cpuSeconds * 1e3, plain.realSeconds * 1e3,
                        plain.cpuSeconds * 1e3, copied.realSeconds / plain.realSeconds,
                        copied.cpuSeconds / plain.cpuSeconds, StreamAim);
    }
    const auto handler = times.find(HandlerName);
    if (handler != times.end())
        std::printf("Copy button, 3000 entries with log and repaint: %.3f ms real, %.3f ms CPU\n",
                    handler->second.realSeconds * 1e3, handler->second.cpuSeconds * 1e3);
}

const bool CopySummaryRegistered = RegisterBenchSummary(PrintCopySummary);

} // namespace

BENCHMARK(BM_CopyFullRangeStreams)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyFullRangePreadPwrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyColorsClickFullRange)->Unit(benchmark::kMillisecond);
