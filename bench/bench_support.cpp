#include "bench/bench_support.h"

#include "huefile/hue_entry.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int EntriesPerBlock = 8;
constexpr unsigned char BlockHeaderByte = 0xA5;
constexpr int ExposeTimeoutMilliseconds = 10000;
const char NoFigure[] = "—";

// Stops the wait once the window reports itself exposed. The event goes on to the window
// afterwards, which paints it before the wait ends.
class ExposeWatcher : public QObject {
public:
    ExposeWatcher(QWindow *window, QEventLoop *loop) : m_window(window), m_loop(loop) {}
    bool exposed = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Expose && m_window->isExposed()) {
            exposed = true;
            m_loop->quit();
        }
        return false;
    }

private:
    QWindow *m_window;
    QEventLoop *m_loop;
};

// Characters as a terminal shows them, so that lines holding "—" or "≤" line up.
std::size_t DisplayWidth(const std::string &text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Padded(const std::string &text, std::size_t width)
{
    const std::size_t shown = DisplayWidth(text);
    return text + std::string(width > shown ? width - shown : 0, ' ');
}

std::vector<double> Pick(const std::vector<BenchSample> &samples, bool cpu)
{
    std::vector<double> values;
    for (const BenchSample &sample : samples)
        values.push_back(cpu ? sample.cpuSeconds : sample.realSeconds);
    return values;
}

// Ratios round by round, so that a slow stretch of the machine slows both sides of a ratio.
std::vector<double> RoundRatios(const PairedSamples &samples, bool cpu)
{
    std::vector<double> ratios;
    const std::size_t rounds = std::min(samples.ours.size(), samples.baseline.size());
    for (std::size_t round = 0; round < rounds; ++round) {
        const BenchSample &ours = samples.ours[round];
        const BenchSample &baseline = samples.baseline[round];
        const double below = cpu ? baseline.cpuSeconds : baseline.realSeconds;
        if (below > 0)
            ratios.push_back((cpu ? ours.cpuSeconds : ours.realSeconds) / below);
    }
    return ratios;
}

double Seconds(const timeval &time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

} // namespace

ProcessRun RunProcess(const std::vector<std::string> &arguments, const std::string &outputName,
                      const std::string &errorName, char *const *environment)
{
    std::vector<std::string> owned = arguments;
    std::vector<char *> argv;
    for (std::string &argument : owned)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputName.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorName.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failure = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw BenchNotRun(arguments[0] + " could not start: " + std::strerror(failure));
    ProcessRun run;
    rusage usage{};
    pid_t waited = -1;
    do {
        waited = wait4(child, &run.status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    if (waited != child)
        throw BenchNotRun(arguments[0] + " could not be waited for");
    run.time = {wall.count(), Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
    return run;
}

HueEntry GeneratedEntry(int n, int seed)
{
    HueEntry entry{};
    for (int c = 0; c < HueColourCount; ++c)
        entry.colours[c] = static_cast<HueColour>((n * 37 + c * 1021 + seed) & 0x7FFF);
    std::snprintf(entry.name, sizeof entry.name, "bench %d", n);
    return entry;
}

bool WriteGeneratedHueFile(const std::string &fileName, int seed)
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
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

BenchHueFolder::BenchHueFolder() : m_previous(QDir::currentPath())
{
    if (!m_dir.isValid())
        throw BenchNotRun("no temporary folder for the hue files");
    if (!WriteGeneratedHueFile(path("patch-hues.mul"), 0) ||
        !WriteGeneratedHueFile(path("hues.mul"), 7))
        throw BenchNotRun("the hue files could not be written");
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

bool ReadEntryFair(const char *fileName, int entryNumber)
{
    const int file = open(fileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0)
        return false;
    struct stat info {};
    HueEntry entry{};
    const bool read =
        fstat(file, &info) == 0 && pread(file, &entry, sizeof entry, EntryOffset(entryNumber)) ==
                                       static_cast<ssize_t>(sizeof entry);
    benchmark::DoNotOptimize(entry);
    close(file);
    return read;
}

bool WaitUntilExposed(QWidget *window, int timeoutMilliseconds)
{
    QWindow *handle = window->windowHandle();
    if (!handle)
        return false;
    QEventLoop loop;
    ExposeWatcher watcher(handle, &loop);
    handle->installEventFilter(&watcher);
    // Exposed before the watch began: the paint that follows may still be pending.
    if (handle->isExposed()) {
        handle->removeEventFilter(&watcher);
        QApplication::processEvents();
        return true;
    }
    QTimer::singleShot(timeoutMilliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    handle->removeEventFilter(&watcher);
    return watcher.exposed;
}

std::unique_ptr<TForm1> ShowBenchForm()
{
    auto form = std::make_unique<TForm1>();
    form->show();
    if (!WaitUntilExposed(form.get(), ExposeTimeoutMilliseconds))
        throw BenchNotRun("the window was never exposed");
    return form;
}

Spread SpreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    const double median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {values.front(), median, values.back()};
}

std::string FormatNumber(double value)
{
    char text[32];
    if (value >= 100)
        std::snprintf(text, sizeof text, "%.0f", value);
    else if (value >= 10)
        std::snprintf(text, sizeof text, "%.1f", value);
    else
        std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string FormatSeconds(const Spread &seconds)
{
    double scale = 1e6;
    const char *unit = "µs";
    if (seconds.median >= 1) {
        scale = 1;
        unit = "s";
    } else if (seconds.median >= 1e-3) {
        scale = 1e3;
        unit = "ms";
    }
    return FormatNumber(seconds.median * scale) + " " + unit + " (" +
           FormatNumber(seconds.min * scale) + "–" + FormatNumber(seconds.max * scale) + ")";
}

std::string FormatRatio(const Spread &ratio)
{
    return FormatNumber(ratio.median) + " (" + FormatNumber(ratio.min) + "–" +
           FormatNumber(ratio.max) + ")";
}

std::string FormatGoalRatio(double goal)
{
    char text[32];
    // One decimal unless the goal needs two, as in 1.15.
    const bool oneDecimal = std::abs(goal * 10 - std::round(goal * 10)) < 1e-9;
    std::snprintf(text, sizeof text, oneDecimal ? "≤ %.1f" : "≤ %.2f", goal);
    return text;
}

std::string FormatGoalSeconds(double seconds)
{
    return "≤ " + FormatNumber(seconds * 1e3) + " ms";
}

void BenchTable::append(const BenchTable &other)
{
    m_lines.insert(m_lines.end(), other.m_lines.begin(), other.m_lines.end());
    m_notes.insert(m_notes.end(), other.m_notes.begin(), other.m_notes.end());
}

void BenchTable::addNotRun(const std::vector<std::string> &measures, const std::string &goal,
                           const std::string &reason)
{
    for (const std::string &measure : measures)
        add({measure, NoFigure, NoFigure, NoFigure, goal, "not run"});
    note(measures.front() + ": not run: " + reason);
}

void BenchTable::addTimedRatio(const std::string &measure, const PairedSamples &samples,
                               double goal)
{
    const Spread cpuRatio = SpreadOf(RoundRatios(samples, true));
    const bool cpuKnown = cpuRatio.min > 0;
    const bool judged = goal != NoGoal;
    add({measure + " (CPU)", FormatSeconds(SpreadOf(Pick(samples.ours, true))),
         FormatSeconds(SpreadOf(Pick(samples.baseline, true))),
         cpuKnown ? FormatRatio(cpuRatio) : NoFigure, judged ? FormatGoalRatio(goal) : NoFigure,
         !cpuKnown                 ? "not run"
         : !judged                 ? "info"
         : cpuRatio.median <= goal ? "pass"
                                   : "FAIL"});
    if (!cpuKnown)
        note(measure + ": not run: the baseline took no measurable CPU time");
    const Spread realRatio = SpreadOf(RoundRatios(samples, false));
    add({measure + " (real)", FormatSeconds(SpreadOf(Pick(samples.ours, false))),
         FormatSeconds(SpreadOf(Pick(samples.baseline, false))),
         realRatio.min > 0 ? FormatRatio(realRatio) : NoFigure, NoFigure, "info"});
}

void BenchTable::addTimedAbsolute(const std::string &measure,
                                  const std::vector<BenchSample> &samples, double goalSeconds)
{
    const Spread cpu = SpreadOf(Pick(samples, true));
    // A process that used no CPU time at all did not do the work, or the clock failed.
    const bool cpuKnown = cpu.min > 0;
    add({measure + " (CPU)", FormatSeconds(cpu), NoFigure, NoFigure, FormatGoalSeconds(goalSeconds),
         !cpuKnown                   ? "not run"
         : cpu.median <= goalSeconds ? "pass"
                                     : "FAIL"});
    if (!cpuKnown)
        note(measure + ": not run: no CPU time was measured");
    add({measure + " (real)", FormatSeconds(SpreadOf(Pick(samples, false))), NoFigure, NoFigure,
         NoFigure, "info"});
}

void BenchTable::addTimedInformation(const std::string &measure,
                                     const std::vector<BenchSample> &samples)
{
    add({measure + " (CPU)", FormatSeconds(SpreadOf(Pick(samples, true))), NoFigure, NoFigure,
         NoFigure, "info"});
    add({measure + " (real)", FormatSeconds(SpreadOf(Pick(samples, false))), NoFigure, NoFigure,
         NoFigure, "info"});
}

void BenchTable::print() const
{
    const Line header{"measure", "ours", "baseline", "ratio", "goal", "pass/fail"};
    std::size_t widths[6] = {};
    const auto widen = [&widths](const Line &line) {
        const std::string *cells[] = {&line.measure, &line.ours, &line.baseline,
                                      &line.ratio,   &line.goal, &line.result};
        for (int c = 0; c < 6; ++c)
            widths[c] = std::max(widths[c], DisplayWidth(*cells[c]));
    };
    widen(header);
    for (const Line &line : m_lines)
        widen(line);
    const auto printLine = [&widths](const Line &line) {
        const std::string text =
            Padded(line.measure, widths[0]) + "  " + Padded(line.ours, widths[1]) + "  " +
            Padded(line.baseline, widths[2]) + "  " + Padded(line.ratio, widths[3]) + "  " +
            Padded(line.goal, widths[4]) + "  " + line.result;
        std::printf("%s\n", text.c_str());
    };
    std::size_t total = 2 * 5;
    for (std::size_t width : widths)
        total += width;
    std::string rule;
    for (std::size_t c = 0; c < total; ++c)
        rule += "─";
    std::printf("%s\n", rule.c_str());
    printLine(header);
    std::printf("%s\n", rule.c_str());
    for (const Line &line : m_lines)
        printLine(line);
    std::printf("%s\n", rule.c_str());
    for (const std::string &text : m_notes)
        std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}
