#include "bench/bench_support.h"

#include "app/application.h"

#include <QByteArray>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const char ChildOption[] = "--startup-child=";
const char XvfbChildOption[] = "--xvfb-scroll-child=";
const char RoundsOption[] = "--rounds=";
const char OnlyOption[] = "--only=";
const char *const Groups[] = {"startup", "browser", "copy", "journal", "cli", "palette", "patch"};
// Fewer rounds give no useful median and range.
constexpr int MinimumRounds = 5;

// The start-up children run this very program again.
std::string SelfPath(const char *argument0)
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return argument0;
    path[length] = '\0';
    return path;
}

bool StartsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

// Each comparison runs the program's work and its baseline in alternating rounds, which the
// one-benchmark-after-another runs of a benchmark library do not, so the timing loops are our
// own; the library only keeps the compiler from dropping the baselines' results. The window
// needs a display, and benchmarks run where there may be none: offscreen unless the caller
// chose a platform, for this process and the start-up children alike.
int main(int argc, char **argv)
{
    int rounds = DefaultRounds;
    int startupRounds = DefaultStartupRounds;
    int xvfbServer = 0;
    // While one measure is being worked on, the others only cost time.
    std::string only;
    for (int a = 1; a < argc; ++a) {
        if (StartsWith(argv[a], ChildOption))
            RunStartupChild(argc, argv, argv[a] + std::strlen(ChildOption));
        if (StartsWith(argv[a], XvfbChildOption)) {
            xvfbServer = std::atoi(argv[a] + std::strlen(XvfbChildOption));
            continue;
        }
        if (StartsWith(argv[a], RoundsOption)) {
            rounds = std::max(MinimumRounds, std::atoi(argv[a] + std::strlen(RoundsOption)));
            startupRounds = rounds;
            continue;
        }
        if (StartsWith(argv[a], OnlyOption)) {
            only = argv[a] + std::strlen(OnlyOption);
            if (std::find(std::begin(Groups), std::end(Groups), only) != std::end(Groups))
                continue;
        }
        std::fprintf(
            stderr,
            "usage: %s [%sN] [%sstartup|browser|copy|journal|cli|palette|patch]  (N >= %d)\n",
            argv[0], RoundsOption, OnlyOption, MinimumRounds);
        return 2;
    }
    if (xvfbServer > 0)
        RunXvfbScrollChild(argc, argv, rounds, xvfbServer);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::printf("Colvane benchmarks on platform %s: %d interleaved rounds each, %d start-ups of "
                "each kind\n",
                qgetenv("QT_QPA_PLATFORM").constData(), rounds, startupRounds);
    std::fflush(stdout);

    BenchTable table;
    table.note("ours, baseline: median (min–max) per unit of work over the rounds; ratio: "
               "median (min–max) of ours / baseline round by round.");
    table.note("The (CPU) line decides: CPU time of the whole process, or of the child for "
               "colvane-cli lines; the (real) line is shown beside it. Start-up decides on wall "
               "time.");

    // Started first, while this process is still small: see RunStartupBenches.
    const auto chosen = [&](const std::string &group) { return only.empty() || only == group; };
    BenchTable startup;
    if (chosen("startup"))
        RunStartupBenches(startup, SelfPath(argv[0]), startupRounds);

    ColvaneApplication app(argc, argv);
    if (chosen("browser"))
        RunBrowserBenches(table, SelfPath(argv[0]), rounds);
    table.append(startup);
    if (chosen("copy"))
        RunCopyBenches(table, rounds);
    if (chosen("journal"))
        RunJournalBenches(table, rounds);
    if (chosen("cli"))
        RunCommandLineBenches(table, COLVANE_BENCH_PROGRAMS, rounds);
    if (chosen("palette"))
        RunPaletteBenches(table, rounds);
    if (chosen("patch"))
        RunPatchBenches(table, rounds);
    table.print();
    return 0;
}
