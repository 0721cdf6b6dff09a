#pragma once

#include "app/tform1.h"
#include "huefile/hue_entry.h"

#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QWidget;

// A temporary folder holding a read file and a write file of all 3000 entries under the
// window's default names. It is the current folder while it lives, so a window built in the
// meantime finds both files, and so does a child process started meanwhile.
class BenchHueFolder {
public:
    BenchHueFolder();
    ~BenchHueFolder();
    std::string path(const char *name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Entry n of the generated files: every colour and name differs from its neighbours, so
// nothing paints the same twice, and each seed gives other colours.
HueEntry GeneratedEntry(int n, int seed);
// A hue file of all 3000 entries, each different from its neighbours, in the given variant.
bool WriteGeneratedHueFile(const std::string &fileName, int seed);

// A measurement that cannot go on throws this; its table line then says "not run" and why.
class BenchNotRun : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One entry read as the browser must read it at the least, since no file stays open between
// rows: open (read-only, non-blocking), fstat, one 88-byte pread, close.
bool ReadEntryFair(const char *fileName, int entryNumber);

// Waits until the window system has exposed the widget's window and the window has handled
// that, which paints it. False when that did not happen within the time.
bool WaitUntilExposed(QWidget *window, int timeoutMilliseconds);

// Builds the window in the current folder and shows it, ready to paint; throws BenchNotRun
// when it never gets exposed.
std::unique_ptr<TForm1> ShowBenchForm();

// Time of one measured stretch, or of one unit of work in it. CPU time counts every thread of
// the process, kernel time included; on a machine shared with other work it varies less than
// real time.
struct BenchSample {
    double realSeconds = 0;
    double cpuSeconds = 0;
};

inline double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Times units repetitions of work and returns the time of one of them.
template <typename Work> BenchSample TimeUnits(int units, Work &&work)
{
    const double cpuStart = ProcessCpuSeconds();
    const auto realStart = std::chrono::steady_clock::now();
    for (int unit = 0; unit < units; ++unit)
        work(unit);
    const std::chrono::duration<double> real = std::chrono::steady_clock::now() - realStart;
    const double cpu = ProcessCpuSeconds() - cpuStart;
    return {real.count() / units, cpu / units};
}

// The program's measurement and its baseline, one sample of each per round.
struct PairedSamples {
    std::vector<BenchSample> ours;
    std::vector<BenchSample> baseline;
};

// Machine load drifts over seconds, so the two sides alternate round by round instead of
// running one after the other; which side goes first alternates as well, so neither always
// inherits the caches the other warmed. Both run once untimed first.
template <typename Ours, typename Baseline>
PairedSamples RunInterleaved(int rounds, Ours &&ours, Baseline &&baseline)
{
    ours();
    baseline();
    PairedSamples samples;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            samples.ours.push_back(ours());
            samples.baseline.push_back(baseline());
        } else {
            samples.baseline.push_back(baseline());
            samples.ours.push_back(ours());
        }
    }
    return samples;
}

// A child process's ending as wait reports it, and its wall and CPU (user + system) time.
struct ProcessRun {
    int status = 0;
    BenchSample time;
};

// Runs the program arguments[0] with the given arguments and environment, its standard output
// to outputName and its standard error to errorName, and waits for it. Throws BenchNotRun when
// it cannot start.
ProcessRun RunProcess(const std::vector<std::string> &arguments, const std::string &outputName,
                      const std::string &errorName, char *const *environment);

// The smallest, middle and largest of a set of values.
struct Spread {
    double min = 0;
    double median = 0;
    double max = 0;
};
Spread SpreadOf(std::vector<double> values);

// "87.0 ms (85.2–90.1)": the median and the range, in a unit that suits the median.
std::string FormatSeconds(const Spread &seconds);
std::string FormatRatio(const Spread &ratio);
std::string FormatNumber(double value);
// "≤ 2.0", "≤ 1.15"; "≤ 0.50 ms".
std::string FormatGoalRatio(double goal);
std::string FormatGoalSeconds(double seconds);

// The one table that the run prints at the end, a line per figure, with notes below it.
class BenchTable {
public:
    struct Line {
        std::string measure;
        std::string ours;
        std::string baseline;
        std::string ratio;
        std::string goal;
        std::string result;
    };

    void add(Line line) { m_lines.push_back(std::move(line)); }
    void append(const BenchTable &other);
    void note(const std::string &text) { m_notes.push_back(text); }
    // The measure's lines, each marked as not run, and the reason among the notes.
    void addNotRun(const std::vector<std::string> &measures, const std::string &goal,
                   const std::string &reason);

    // Two lines: CPU time, which decides, and real time, shown beside it. Against NoGoal the
    // ratio is shown for information only.
    void addTimedRatio(const std::string &measure, const PairedSamples &samples, double goal);
    // The same against an absolute goal in seconds, with no baseline.
    void addTimedAbsolute(const std::string &measure, const std::vector<BenchSample> &samples,
                          double goalSeconds);
    // Two lines for information only.
    void addTimedInformation(const std::string &measure, const std::vector<BenchSample> &samples);

    void print() const;

private:
    std::vector<Line> m_lines;
    std::vector<std::string> m_notes;
};

constexpr double NoGoal = 0;

// Rounds of every comparison, and start-ups of each kind of child. Each round takes
// milliseconds, and more of them steady the median on a machine shared with other work.
constexpr int DefaultRounds = 15;
constexpr int DefaultStartupRounds = 15;

void RunBrowserBenches(BenchTable &table, const std::string &self, int rounds);
void RunCopyBenches(BenchTable &table, int rounds);
// A one-entry write-back and a copy of 3000 entries with their journal, flushed and not, against
// the same without one; and a journal file per operation against one kept open.
void RunJournalBenches(BenchTable &table, int rounds);
// A patch of all 3000 entries written, against reading it back.
void RunPatchBenches(BenchTable &table, int rounds);
// Each palette format read from an input of 16 MB, the most an import reads.
void RunPaletteBenches(BenchTable &table, int rounds);
// Must run before this process builds any window: a child's peak memory as the kernel reports
// it is never below this process's own peak when the child was started.
void RunStartupBenches(BenchTable &table, const std::string &self, int rounds);
// The child side of the start-up measurement; never returns.
[[noreturn]] void RunStartupChild(int &argc, char **argv, const std::string &kind);
// colvane-cli and the small programs beside it, as whole processes; `folder` holds them.
void RunCommandLineBenches(BenchTable &table, const std::string &folder, int rounds);
// A full scroll on an X server of its own, in a child of this program on the xcb platform;
// for information, since it counts the server's work too.
void RunXvfbScrollBench(BenchTable &table, const std::string &self, int rounds);
// The child side of it: prints its samples and never returns.
[[noreturn]] void RunXvfbScrollChild(int &argc, char **argv, int rounds, int serverProcess);

// Opens of the two hue files (by their default names, in any folder) while counting is on.
void StartCountingHueOpens();
int StopCountingHueOpens();
