#include "bench/bench_support.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

extern char **environ;

namespace {

// One run of colvane-cli takes a millisecond or a few; several make a sample.
constexpr int RunsPerSample = 5;

// A command and the small program it is measured against, which prints the same output.
struct CommandLineRow {
    std::string measure;
    std::vector<std::string> ours;
    std::vector<std::string> baseline;
    int exitStatus;
    double goal;
};

std::string Contents(const std::string &fileName)
{
    std::ifstream file(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class CommandLineBench {
public:
    explicit CommandLineBench(const std::string &programs) : m_programs(programs + "/") {}

    std::vector<CommandLineRow> rows() const
    {
        const std::string cli = m_programs + "colvane-cli";
        const std::string baseline = m_programs + "colvane-bench-";
        return {
            {"colvane-cli --version", {cli, "--version"}, {baseline + "version"}, 0, 1.5},
            {"colvane-cli list, 3000 entries",
             {cli, "list", "patch-hues.mul"},
             {baseline + "list", "patch-hues.mul"},
             0,
             2.0},
            {"colvane-cli diff, two full files",
             {cli, "diff", "patch-hues.mul", "hues.mul"},
             {baseline + "diff", "patch-hues.mul", "hues.mul"},
             1,
             2.0},
            {"colvane-cli copy, 3000 entries",
             {cli, "copy", "patch-hues.mul", "hues.mul", "1..3000"},
             {baseline + "copy", "patch-hues.mul", "hues.mul"},
             0,
             1.3},
        };
    }

    void measure(const CommandLineRow &row, int rounds, BenchTable &table)
    {
        // Fresh files for each row, so that the copy's row leaves the diff's files as they were.
        BenchHueFolder folder;
        const std::string oursOutput = folder.path("ours.out");
        const std::string baselineOutput = folder.path("baseline.out");
        const auto ours = [&] { return timeRuns(row.ours, oursOutput, row.exitStatus, folder); };
        const auto baseline = [&] {
            return timeRuns(row.baseline, baselineOutput, row.exitStatus, folder);
        };
        ours();
        baseline();
        if (Contents(oursOutput).empty() || Contents(oursOutput) != Contents(baselineOutput))
            throw BenchNotRun("the small program's output differs from colvane-cli's");
        table.addTimedRatio(row.measure, RunInterleaved(rounds, ours, baseline), row.goal);
    }

private:
    BenchSample timeRuns(const std::vector<std::string> &command, const std::string &outputName,
                         int exitStatus, const BenchHueFolder &folder)
    {
        const std::string errorName = folder.path("error.out");
        BenchSample total;
        for (int run = 0; run < RunsPerSample; ++run) {
            const ProcessRun ended = RunProcess(command, outputName, errorName, environ);
            if (!WIFEXITED(ended.status) || WEXITSTATUS(ended.status) != exitStatus) {
                std::istringstream errors(Contents(errorName));
                std::string line;
                std::getline(errors, line);
                std::string shown;
                for (const std::string &word : command)
                    shown += (shown.empty() ? "" : " ") + word;
                throw BenchNotRun(shown + " ended with status " + std::to_string(ended.status) +
                                  ": " + line);
            }
            total.realSeconds += ended.time.realSeconds / RunsPerSample;
            total.cpuSeconds += ended.time.cpuSeconds / RunsPerSample;
        }
        return total;
    }

    std::string m_programs;
};

} // namespace

void RunCommandLineBenches(BenchTable &table, const std::string &programs, int rounds)
{
    CommandLineBench bench(programs);
    for (const CommandLineRow &row : bench.rows()) {
        try {
            bench.measure(row, rounds, table);
        } catch (const BenchNotRun &reason) {
            table.addNotRun({row.measure + " (CPU)", row.measure + " (real)"},
                            FormatGoalRatio(row.goal), reason.what());
        }
    }
    table.note("colvane-cli lines: whole processes, " + std::to_string(RunsPerSample) +
               " runs a sample, against small programs printing the same output; (CPU) is the "
               "child's user + system time.");
}
