#include "bench/bench_support.h"

#include "app/application.h"
#include "huefile/hue_file.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr double StartupGoal = 1.3;
constexpr double MemoryGoal = 1.15;
constexpr int ExposeTimeoutMilliseconds = 10000;
// A child that hangs anywhere ends itself, so the parent's wait never blocks for good.
constexpr unsigned ChildTimeLimitSeconds = 30;

// The child's exit codes; any other ending is a failure the parent reports as it saw it.
constexpr int ChildShown = 0;
constexpr int ChildNotExposed = 2;
constexpr int ChildFilesMissing = 3;
constexpr int ChildUnknownKind = 4;

const std::string TimeMeasure = "start-up to exposed window (wall)";
const std::string CpuMeasure = "start-up, child CPU (user+sys)";
const std::string MemoryMeasure = "start-up, peak resident memory";

struct ChildRun {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakKibibytes = 0;
};

double Seconds(const timeval &time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

// A failing child says why last; what comes before is the toolkit's chatter.
std::string LastLineOf(const std::string &fileName)
{
    std::ifstream file(fileName);
    std::string last;
    for (std::string line; std::getline(file, line);)
        if (!line.empty())
            last = line;
    return last.empty() ? "no output" : last;
}

std::string DescribeEnding(int status)
{
    if (WIFSIGNALED(status))
        return std::string("ended by signal ") + strsignal(WTERMSIG(status));
    switch (WEXITSTATUS(status)) {
    case ChildNotExposed:
        return "its window was never exposed";
    case ChildFilesMissing:
        return "it did not find both hue files";
    case ChildUnknownKind:
        return "it did not know its kind";
    default:
        return "it exited with " + std::to_string(WEXITSTATUS(status));
    }
}

// The wall time covers everything from asking for the process to having reaped it: loading
// the program and its libraries, building and showing the window, and the exit right after
// the window is exposed.
ChildRun RunChild(const std::string &self, const std::string &kind, const std::string &logName)
{
    std::string program = self;
    std::string argument = "--startup-child=" + kind;
    char *arguments[] = {program.data(), argument.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logName.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failure =
        posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw BenchNotRun("the " + kind + " child could not start: " + std::strerror(failure));
    int status = 0;
    rusage usage{};
    pid_t waited = -1;
    do {
        waited = wait4(child, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    if (waited != child)
        throw BenchNotRun("the " + kind + " child could not be waited for");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != ChildShown)
        throw BenchNotRun("the " + kind + " child failed, " + DescribeEnding(status) + ": " +
                          LastLineOf(logName));
    return {wall.count(), Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
            static_cast<double>(usage.ru_maxrss)};
}

std::string FormatMebibytes(const Spread &kibibytes)
{
    return FormatNumber(kibibytes.median / 1024) + " MiB (" + FormatNumber(kibibytes.min / 1024) +
           "–" + FormatNumber(kibibytes.max / 1024) + ")";
}

template <typename Field>
std::vector<double> Values(const std::vector<ChildRun> &runs, Field field)
{
    std::vector<double> values;
    for (const ChildRun &run : runs)
        values.push_back(run.*field);
    return values;
}

template <typename Field>
std::vector<double> Ratios(const std::vector<ChildRun> &ours, const std::vector<ChildRun> &bare,
                           Field field)
{
    std::vector<double> ratios;
    for (std::size_t round = 0; round < ours.size() && round < bare.size(); ++round)
        if (bare[round].*field > 0)
            ratios.push_back(ours[round].*field / bare[round].*field);
    return ratios;
}

const char *Verdict(const Spread &ratio, double goal)
{
    if (ratio.min <= 0)
        return "not run";
    return ratio.median <= goal ? "pass" : "FAIL";
}

void MeasureStartup(BenchTable &table, const std::string &self, int rounds)
{
    BenchHueFolder folder;
    const std::string logName = folder.path("child.log");
    // Each kind once untimed, so that both find the program and its libraries in the page
    // cache.
    RunChild(self, "ours", logName);
    RunChild(self, "bare", logName);
    std::vector<ChildRun> ours;
    std::vector<ChildRun> bare;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            ours.push_back(RunChild(self, "ours", logName));
            bare.push_back(RunChild(self, "bare", logName));
        } else {
            bare.push_back(RunChild(self, "bare", logName));
            ours.push_back(RunChild(self, "ours", logName));
        }
    }

    const Spread wallRatio = SpreadOf(Ratios(ours, bare, &ChildRun::wallSeconds));
    table.add({TimeMeasure, FormatSeconds(SpreadOf(Values(ours, &ChildRun::wallSeconds))),
               FormatSeconds(SpreadOf(Values(bare, &ChildRun::wallSeconds))),
               FormatRatio(wallRatio), FormatGoalRatio(StartupGoal),
               Verdict(wallRatio, StartupGoal)});
    const Spread cpuRatio = SpreadOf(Ratios(ours, bare, &ChildRun::cpuSeconds));
    table.add({CpuMeasure, FormatSeconds(SpreadOf(Values(ours, &ChildRun::cpuSeconds))),
               FormatSeconds(SpreadOf(Values(bare, &ChildRun::cpuSeconds))),
               cpuRatio.min > 0 ? FormatRatio(cpuRatio) : "—", "—", "info"});

    // The kernel reports a child's peak as at least the peak of the process that started it,
    // so a child that peaked lower cannot be told from this process.
    rusage own{};
    getrusage(RUSAGE_SELF, &own);
    const Spread oursPeak = SpreadOf(Values(ours, &ChildRun::peakKibibytes));
    const Spread barePeak = SpreadOf(Values(bare, &ChildRun::peakKibibytes));
    if (std::min(oursPeak.min, barePeak.min) <= static_cast<double>(own.ru_maxrss)) {
        table.addNotRun({MemoryMeasure}, FormatGoalRatio(MemoryGoal),
                        "a child's peak did not exceed this process's own, " +
                            FormatNumber(static_cast<double>(own.ru_maxrss) / 1024) + " MiB");
        return;
    }
    const Spread memoryRatio = SpreadOf(Ratios(ours, bare, &ChildRun::peakKibibytes));
    table.add({MemoryMeasure, FormatMebibytes(oursPeak), FormatMebibytes(barePeak),
               FormatRatio(memoryRatio), FormatGoalRatio(MemoryGoal),
               Verdict(memoryRatio, MemoryGoal)});
}

[[noreturn]] void EndChild(bool exposed)
{
    std::fflush(nullptr);
    // Tearing the window down is not start-up, and both kinds skip it alike.
    std::_Exit(exposed ? ChildShown : ChildNotExposed);
}

// Baseline: a plain toolkit window of the program's size with a handful of stock controls, a
// group box holding two line edits and a button, and a multi-line text field; no files read.
[[noreturn]] void ShowBareWindow(int &argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare window");
    window.resize(ClientWidth, ClientHeightFull);
    auto *layout = new QVBoxLayout(&window);
    auto *group = new QGroupBox("Files", &window);
    auto *groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(new QLineEdit("patch-hues.mul", group));
    groupLayout->addWidget(new QLineEdit("hues.mul", group));
    groupLayout->addWidget(new QPushButton("Copy", group));
    layout->addWidget(group);
    layout->addWidget(new QPlainTextEdit(&window));
    window.show();
    EndChild(WaitUntilExposed(&window, ExposeTimeoutMilliseconds));
}

// The program as its own main starts it, in a folder holding both hue files.
[[noreturn]] void ShowProgramWindow(int &argc, char **argv)
{
    if (!CanOpenHueFile("patch-hues.mul") || !CanOpenHueFile("hues.mul")) {
        std::fprintf(stderr, "both hue files must be in the current folder\n");
        std::_Exit(ChildFilesMissing);
    }
    ColvaneApplication app(argc, argv);
    app.setApplicationName("Colvane");
    TForm1 form;
    form.show();
    EndChild(WaitUntilExposed(&form, ExposeTimeoutMilliseconds));
}

} // namespace

void RunStartupChild(int &argc, char **argv, const std::string &kind)
{
    alarm(ChildTimeLimitSeconds);
    if (kind == "ours")
        ShowProgramWindow(argc, argv);
    if (kind == "bare")
        ShowBareWindow(argc, argv);
    std::fprintf(stderr, "unknown start-up child kind '%s'\n", kind.c_str());
    std::_Exit(ChildUnknownKind);
}

void RunStartupBenches(BenchTable &table, const std::string &self, int rounds)
{
    try {
        MeasureStartup(table, self, rounds);
    } catch (const BenchNotRun &reason) {
        table.addNotRun({TimeMeasure}, FormatGoalRatio(StartupGoal), reason.what());
        table.addNotRun({CpuMeasure}, "—", "see " + TimeMeasure);
        table.addNotRun({MemoryMeasure}, FormatGoalRatio(MemoryGoal), "see " + TimeMeasure);
    }
}
