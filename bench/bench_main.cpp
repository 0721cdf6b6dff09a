#include "bench/bench_support.h"

#include "huefile/hue_entry.h"

#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

namespace {

constexpr int EntriesPerBlock = 8;
constexpr unsigned char BlockHeaderByte = 0xA5;

std::vector<BenchSummary> &Summaries()
{
    static std::vector<BenchSummary> summaries;
    return summaries;
}

// Every colour and name differs from its neighbours, so nothing paints the same twice.
HueEntry GeneratedEntry(int n, int seed)
{
    HueEntry entry{};
    for (int c = 0; c < HueColourCount; ++c)
        entry.colours[c] = static_cast<HueColour>((n * 37 + c * 1021 + seed) & 0x7FFF);
    std::snprintf(entry.name, sizeof entry.name, "bench %d", n);
    return entry;
}

void WriteGeneratedHueFile(const std::string &fileName, int seed)
{
    std::vector<unsigned char> bytes;
    for (int n = 1; n <= MaxEntryNumber; ++n) {
        if ((n - 1) % EntriesPerBlock == 0)
            bytes.insert(bytes.end(), 4, BlockHeaderByte);
        const HueEntry entry = GeneratedEntry(n, seed);
        const auto *raw = reinterpret_cast<const unsigned char *>(&entry);
        bytes.insert(bytes.end(), raw, raw + sizeof entry);
    }
    std::FILE *file = std::fopen(fileName.c_str(), "wb");
    if (!file)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// Keeps the console output and remembers each benchmark's best time for the summaries.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const double unitsPerSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
            const BenchTime time{run.GetAdjustedRealTime() / unitsPerSecond,
                                 run.GetAdjustedCPUTime() / unitsPerSecond};
            const auto known = m_times.find(run.benchmark_name());
            if (known == m_times.end() || time.realSeconds < known->second.realSeconds)
                m_times[run.benchmark_name()] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    const BenchTimes &times() const { return m_times; }

private:
    BenchTimes m_times;
};

} // namespace

BenchHueFolder::BenchHueFolder() : m_previous(QDir::currentPath())
{
    WriteGeneratedHueFile(path("patch-hues.mul"), 0);
    WriteGeneratedHueFile(path("hues.mul"), 7);
    QDir::setCurrent(m_dir.path());
}

BenchHueFolder::~BenchHueFolder()
{
    QDir::setCurrent(m_previous);
}

std::string BenchHueFolder::path(const char *name) const
{
    return (m_dir.path() + "/" + name).toStdString();
}

std::unique_ptr<TForm1> ShowBenchForm()
{
    auto form = std::make_unique<TForm1>();
    form->show();
    QApplication::processEvents();
    return form;
}

bool RegisterBenchSummary(BenchSummary summary)
{
    Summaries().push_back(summary);
    return true;
}

// The window needs a QApplication, and benchmarks run where no display may be: offscreen
// unless the caller chose a platform.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QApplication app(argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (BenchSummary summary : Summaries())
        summary(reporter.times());
    benchmark::Shutdown();
    return 0;
}
