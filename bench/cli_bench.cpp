#include "bench/bench_support.h"

#include "huefile/formats/patch.h"

#include <cstring>
#include <fstream>
#include <functional>
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
    // Makes the row's further files in the folder, before anything runs.
    std::function<void()> prepare = {};
    // A hue file the commands change, given its first bytes back before every run.
    std::string restored = {};
};

std::string Contents(const std::string &fileName)
{
    std::ifstream file(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteContents(const std::string &fileName, const std::string &bytes)
{
    std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
    file << bytes;
    if (!file.flush())
        throw BenchNotRun(fileName + " could not be written");
}

EntrySlots SlotsOf(const std::string &fileName)
{
    const Expected<HueFile> file = HueFile::openForReading(fileName);
    if (!file)
        throw BenchNotRun(fileName + " could not be read");
    return ReadEntrySlots(*file);
}

// The patch that turns hues.mul into patch-hues.mul: all 3000 entries.
void WriteFullPatch()
{
    WriteContents("full.huepatch",
                  WritePatch(MakePatch(SlotsOf("hues.mul"), SlotsOf("patch-hues.mul"))));
}

// patch-hues.mul with every name changed, and slot 0 of every tenth entry, which hues.mul
// changes as well: a merge over patch-hues.mul takes every name and meets 300 conflicts.
void WriteTheirs()
{
    Patch renamed;
    const EntrySlots base = SlotsOf("patch-hues.mul");
    for (std::size_t i = 0; i < base.size(); ++i) {
        HueEntry entry = base[i].value();
        entry.name[0] = 'B';
        if (i % 10 == 0)
            entry.colours[0] ^= 0x5555;
        renamed.push_back({static_cast<int>(i + 1), base[i], entry});
    }
    WriteContents("theirs.mul", ApplyPatchToBytes(Contents("patch-hues.mul"), renamed));
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
            {"colvane-cli diff --patch, two full files",
             {cli, "diff", "patch-hues.mul", "hues.mul", "--patch"},
             {baseline + "patch", "patch-hues.mul", "hues.mul"},
             1,
             2.0},
            {"colvane-cli apply, 3000-entry patch",
             {cli, "apply", "full.huepatch", "hues.mul"},
             {baseline + "apply", "full.huepatch", "hues.mul"},
             0,
             2.0,
             WriteFullPatch,
             "hues.mul"},
            {"colvane-cli merge, three full files",
             {cli, "merge", "patch-hues.mul", "hues.mul", "theirs.mul"},
             {baseline + "merge", "patch-hues.mul", "hues.mul", "theirs.mul"},
             1,
             2.0,
             WriteTheirs,
             "hues.mul"},
        };
    }

    void measure(const CommandLineRow &row, int rounds, BenchTable &table)
    {
        // Fresh files for each row, so that the copy's row leaves the diff's files as they were.
        BenchHueFolder folder;
        if (row.prepare)
            row.prepare();
        const std::string oursOutput = folder.path("ours.out");
        const std::string baselineOutput = folder.path("baseline.out");
        const Restore restore{row.restored, row.restored.empty() ? "" : Contents(row.restored)};
        const auto ours = [&] {
            return timeRuns(row.ours, oursOutput, row.exitStatus, folder, restore);
        };
        const auto baseline = [&] {
            return timeRuns(row.baseline, baselineOutput, row.exitStatus, folder, restore);
        };
        ours();
        baseline();
        if (Contents(oursOutput).empty() || Contents(oursOutput) != Contents(baselineOutput))
            throw BenchNotRun("the small program's output differs from colvane-cli's");
        table.addTimedRatio(row.measure, RunInterleaved(rounds, ours, baseline), row.goal);
    }

private:
    struct Restore {
        std::string fileName;
        std::string bytes;
    };

    BenchSample timeRuns(const std::vector<std::string> &command, const std::string &outputName,
                         int exitStatus, const BenchHueFolder &folder, const Restore &restore)
    {
        const std::string errorName = folder.path("error.out");
        BenchSample total;
        for (int run = 0; run < RunsPerSample; ++run) {
            if (!restore.fileName.empty())
                WriteContents(restore.fileName, restore.bytes);
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
