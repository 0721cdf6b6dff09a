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
    // The command writes a hue file, and flushes its journal and the file as it does.
    bool flushes = false;
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
    explicit CommandLineBench(const std::string &programs)
        : m_programs(programs + "/"), m_noFlush(EnvironmentWithoutFlushes())
    {
    }

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
             1.3,
             {},
             {},
             true},
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
             "hues.mul",
             true},
            {"colvane-cli merge, three full files",
             {cli, "merge", "patch-hues.mul", "hues.mul", "theirs.mul"},
             {baseline + "merge", "patch-hues.mul", "hues.mul", "theirs.mul"},
             1,
             2.0,
             WriteTheirs,
             "hues.mul",
             true},
        };
    }

    // A writing command's ratio line runs both sides with their flushes made instant, as the
    // small programs make none; its flushed line, for information, runs colvane-cli as shipped.
    void measure(const CommandLineRow &row, int rounds, BenchTable &table)
    {
        // Fresh files for each row, so that the copy's row leaves the diff's files as they were.
        BenchHueFolder folder;
        if (row.prepare)
            row.prepare();
        const std::string oursOutput = folder.path("ours.out");
        const std::string baselineOutput = folder.path("baseline.out");
        const Restore restore{row.restored, row.restored.empty() ? "" : Contents(row.restored)};
        char *const *judged = row.flushes ? m_noFlush.pointers.data() : environ;
        const auto side = [&](const std::vector<std::string> &command, const std::string &output,
                              char *const *environment) {
            return [&, environment] {
                return timeRuns(command, output, row.exitStatus, folder, restore, environment);
            };
        };
        const auto ours = side(row.ours, oursOutput, judged);
        const auto baseline = side(row.baseline, baselineOutput, judged);
        ours();
        if (row.flushes && Contents(folder.path("error.out")).find("preload") != std::string::npos)
            throw BenchNotRun("the library that makes flushes instant was not loaded");
        baseline();
        if (Contents(oursOutput).empty() || Contents(oursOutput) != Contents(baselineOutput))
            throw BenchNotRun("the small program's output differs from colvane-cli's");
        table.addTimedRatio(row.measure, RunInterleaved(rounds, ours, baseline), row.goal);
        if (row.flushes)
            table.addTimedRatio(row.measure + ", flushed",
                                RunInterleaved(rounds, side(row.ours, oursOutput, environ),
                                               side(row.baseline, baselineOutput, environ)),
                                NoGoal);
    }

private:
    struct Restore {
        std::string fileName;
        std::string bytes;
    };

    // This process's environment with the library that makes flushes instant preloaded.
    struct Environment {
        std::vector<std::string> strings;
        std::vector<char *> pointers;
    };

    static Environment EnvironmentWithoutFlushes()
    {
        Environment environment;
        const std::string preload = "LD_PRELOAD=";
        std::string preloaded = preload + COLVANE_BENCH_NO_FLUSH;
        for (char *const *variable = environ; *variable; ++variable) {
            if (std::strncmp(*variable, preload.c_str(), preload.size()) == 0)
                preloaded += std::string(":") + (*variable + preload.size());
            else
                environment.strings.emplace_back(*variable);
        }
        environment.strings.push_back(preloaded);
        for (std::string &variable : environment.strings)
            environment.pointers.push_back(variable.data());
        environment.pointers.push_back(nullptr);
        return environment;
    }

    BenchSample timeRuns(const std::vector<std::string> &command, const std::string &outputName,
                         int exitStatus, const BenchHueFolder &folder, const Restore &restore,
                         char *const *environment)
    {
        const std::string errorName = folder.path("error.out");
        BenchSample total;
        for (int run = 0; run < RunsPerSample; ++run) {
            if (!restore.fileName.empty())
                WriteContents(restore.fileName, restore.bytes);
            const ProcessRun ended = RunProcess(command, outputName, errorName, environment);
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
    Environment m_noFlush;
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
               "child's user + system time. Lines of writing commands run both sides with flushes "
               "made instant (a preloaded library); their \"flushed\" lines run colvane-cli as "
               "shipped, for information.");
}
