// Kills colvane-cli with SIGKILL while it writes a hue file, opens the file again with
// `colvane-cli list`, and checks that the write was undone or done as a whole: the file is then
// the before-file or the after-file, byte for byte and in length, with no journal left beside it.
//
// Four operations write, each into a file of 80 entries that it extends and into one of 3000
// that it changes in place: a copy of 3000 entries, an import of one palette (into entry 3000 of
// the short file, which extends it by most of its length, and into an entry that straddles a
// page of the long one), the apply of a patch that changes every entry, and a merge that writes
// THEIRS' changes into OURS. An import writes one record, which no kill can stop halfway, so
// its kills land around the record: before it, between the extension and it, and after it while
// the write is flushed; extending by most of the file makes the middle one likely. Each such
// kind is killed in three phases:
// - write: after its first write to the hue file and before its journal is gone; the journal
//   must put every entry back, whatever a kill tore at a page edge;
// - journal: while its journal is being made, before the first write to the hue file; a journal
//   cut short must be recognised and dropped;
// - recovery: a `list` that is putting back a write interrupted in the write phase; the next
//   open must finish what it began.
// Starting a process varies by milliseconds, far more than these phases last, so each kill is
// timed from what the polling sees first in its phase (the journal's name, the hue file's first
// change, the put-back's first change), and the delay after it is drawn from that phase's
// length, measured by whole runs. A kill counts for the phase the files show it landed in,
// whatever it aimed at; one that found no journal beside the file landed too early or too late
// and counts for none, but is checked all the same.
// Exit status: 0 when every file came back whole, 1 when a `list` after a kill, or a recovery
// let run to its end, left anything but the before-file or the after-file, 2 when the soak could
// not run or, with no failure, too few kills landed.
#include "huefile/entry_bytes.h"
#include "huefile/file_checks.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<char>;

constexpr int ShortFileEntries = 80;
constexpr long PageSize = 4096;
constexpr int CalibrationRuns = 6;
// A phase gives up after this many attempts per kill it still has to land.
constexpr int AttemptsPerLanding = 20;
constexpr auto PollInterval = std::chrono::microseconds(20);
// A phase shorter than the polling can see is aimed at over this much.
constexpr double MinimumWindowMs = 0.05;
// Interrupted writes kept per kind for the recovery phase to start from.
constexpr std::size_t KeptInterruptions = 16;
// Failures whose files are kept for a look, beyond those only described.
constexpr int KeptFailures = 5;

struct SoakFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every byte of an entry but the last differs between two seeds and is never zero; the last,
// the end of the name, is zero, so each fixture holds zero bytes in its first 4 KiB as a hue
// file does, and a record made of two seeds' parts matches neither.
HueEntry SeededEntry(int n, int seed)
{
    HueEntry entry{};
    auto *bytes = reinterpret_cast<unsigned char *>(&entry);
    for (std::size_t i = 0; i + 1 < sizeof entry; ++i)
        bytes[i] = static_cast<unsigned char>(1 + (n * 131 + i * 17 + seed * 53) % 254);
    return entry;
}

Bytes FileOfEntries(int count, int seed)
{
    Bytes bytes(static_cast<std::size_t>(EntryOffset(count) + sizeof(HueEntry)), '\0');
    for (int n = 1; n <= count; ++n) {
        const HueEntry entry = SeededEntry(n, seed);
        std::memcpy(bytes.data() + EntryOffset(n), &entry, sizeof entry);
    }
    return bytes;
}

// In place, so that the file keeps its identity, which names its journal.
void WriteFile(const std::string &fileName, const Bytes &bytes)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw SoakFailure(fileName + ": the fixture could not be written");
}

Bytes ReadFile(const std::string &fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Straddles(int n)
{
    return EntryOffset(n) / PageSize != (EntryOffset(n) + long(sizeof(HueEntry)) - 1) / PageSize;
}

// The record of entry n in a file's bytes, zeroes where the file ends, as a file extended over
// it would read.
HueEntry EntryIn(const Bytes &file, int n)
{
    HueEntry entry{};
    const auto offset = static_cast<std::size_t>(EntryOffset(n));
    if (offset < file.size())
        std::memcpy(&entry, file.data() + offset, std::min(sizeof entry, file.size() - offset));
    return entry;
}

std::string Hex(const HueEntry &entry)
{
    std::string text;
    char digits[3];
    for (const unsigned char byte :
         std::string_view(reinterpret_cast<const char *>(&entry), sizeof entry)) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

Clock::duration FromMilliseconds(double ms)
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

std::string Decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// A phase's length as whole runs show it. Where a busy machine keeps the polling from its core,
// it sees two steps at once, so the upper quartile rather than the median: an aim a little
// long only costs a kill that lands too late.
double UpperQuartile(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() * 3 / 4];
}

// One run of the command line, its output thrown away; killed and reaped when dropped.
class Process {
public:
    explicit Process(std::vector<std::string> arguments) : m_arguments(std::move(arguments))
    {
        std::vector<char *> argv;
        for (std::string &argument : m_arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int error = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            throw SoakFailure(m_arguments[0] + ": " + std::strerror(error));
    }
    ~Process()
    {
        if (!m_reaped && kill(m_pid, SIGKILL) == 0) {
            while (waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    bool exited()
    {
        if (!m_reaped && waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            m_reaped = true;
        return m_reaped;
    }
    int wait()
    {
        while (!m_reaped) {
            if (waitpid(m_pid, &m_status, 0) == m_pid)
                m_reaped = true;
            else if (errno != EINTR)
                throw SoakFailure(m_arguments[0] + ": the process vanished");
        }
        return m_status;
    }
    void killAt(Clock::time_point when)
    {
        std::this_thread::sleep_until(when);
        if (!exited())
            kill(m_pid, SIGKILL);
        wait();
    }
    bool killed() { return WIFSIGNALED(wait()) && WTERMSIG(m_status) == SIGKILL; }
    bool succeeded() { return WIFEXITED(wait()) && WEXITSTATUS(m_status) == 0; }
    std::string status()
    {
        wait();
        return WIFEXITED(m_status) ? "exit status " + std::to_string(WEXITSTATUS(m_status))
                                   : "signal " + std::to_string(WTERMSIG(m_status));
    }

    // Polls until `seen` holds or the process ends; when it held, the moment it was seen.
    std::optional<Clock::time_point> pollUntil(const std::function<bool()> &seen)
    {
        while (!exited()) {
            if (seen())
                return Clock::now();
            std::this_thread::sleep_for(PollInterval);
        }
        return std::nullopt;
    }

private:
    std::vector<std::string> m_arguments;
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_reaped = false;
};

std::string CommandLine(const std::vector<std::string> &arguments)
{
    std::string line;
    for (const std::string &argument : arguments)
        line += (line.empty() ? "" : " ") + argument;
    return line;
}

enum class Operation { Copy, Import, Apply, Merge };
enum class Shape { Extending, InPlace };
enum class Phase { Write, Journal, Recovery };
constexpr std::array<Phase, 3> Phases = {Phase::Write, Phase::Journal, Phase::Recovery};

const char *OperationName(Operation operation)
{
    switch (operation) {
    case Operation::Copy:
        return "copy";
    case Operation::Import:
        return "import";
    case Operation::Apply:
        return "apply";
    case Operation::Merge:
        return "merge";
    }
    return "";
}

const char *PhaseName(Phase phase)
{
    switch (phase) {
    case Phase::Write:
        return "write";
    case Phase::Journal:
        return "journal";
    case Phase::Recovery:
        return "recovery";
    }
    return "";
}

struct PhaseFigures {
    int attempts = 0;
    int landed = 0;
    // Write phase: kills that left the file neither before nor after, and those that left an
    // entry of neither, torn, for the next open to put back.
    int midWrite = 0;
    int tornLeft = 0;
    // Journal phase: kills that left a journal cut short.
    int partialJournal = 0;
    int rolledBack = 0;
    int finished = 0;
    int failures = 0;
};

// A write interrupted in its write phase, as the kill left it, for a recovery to start from.
struct Interruption {
    Bytes file;
    Bytes journal;
};

// When the polling saw each step of a whole run: the journal's name, the first change of the
// file, its last record written, the journal's name gone.
struct Timeline {
    std::optional<Clock::time_point> journal;
    std::optional<Clock::time_point> first;
    std::optional<Clock::time_point> last;
    std::optional<Clock::time_point> gone;
};

// How a file came back from `list`; a failure says why.
struct Settled {
    bool rolledBack = false;
    bool finished = false;
    std::string failure;
};

class Kind {
public:
    Kind(Operation operation, Shape shape, const std::string &cli, const std::string &parent,
         int writeLandings, int journalLandings, int recoveryLandings)
        : m_cli(cli), m_name(std::string(OperationName(operation)) +
                             (shape == Shape::Extending ? " extending" : " in place")),
          m_folder(parent + "/" + OperationName(operation) +
                   (shape == Shape::Extending ? "-extending" : "-in-place")),
          m_target(m_folder + "/hues.mul"),
          m_before(FileOfEntries(shape == Shape::Extending ? ShortFileEntries : MaxEntryNumber, 2)),
          m_landings{writeLandings, journalLandings, recoveryLandings}
    {
        std::filesystem::create_directory(m_folder);
        const std::string theirs = m_folder + "/theirs.mul";
        WriteFile(theirs, FileOfEntries(MaxEntryNumber, 1));
        WriteFile(m_target, m_before);
        switch (operation) {
        case Operation::Copy:
            m_command = {cli, "copy", theirs, m_target, "1.." + std::to_string(MaxEntryNumber)};
            break;
        case Operation::Import: {
            // The long file's first entry across a page, where a write can tear; the short
            // file's last entry, whose extension is most of the file.
            m_watched = MaxEntryNumber;
            for (int n = 1; shape == Shape::InPlace && n <= MaxEntryNumber; ++n)
                if (Straddles(n)) {
                    m_watched = n;
                    break;
                }
            const std::string palette = m_folder + "/palette.gpl";
            run({cli, "export", theirs, std::to_string(m_watched), "-f", "gpl", "-o", palette},
                {0});
            m_command = {cli,     "import",     m_target, std::to_string(m_watched),
                         palette, "--keep-name"};
            m_lastWritten = m_watched;
            break;
        }
        case Operation::Apply: {
            const std::string old = m_folder + "/old.mul";
            const std::string patch = m_folder + "/change.huepatch";
            WriteFile(old, m_before);
            run({cli, "diff", "--patch", old, theirs, "-o", patch}, {0, 1});
            m_command = {cli, "apply", patch, m_target};
            break;
        }
        case Operation::Merge: {
            const std::string base = m_folder + "/base.mul";
            WriteFile(base, m_before);
            m_command = {cli, "merge", base, m_target, theirs};
            break;
        }
        }
        m_journal = journalName();
    }

    const std::string &name() const { return m_name; }
    const PhaseFigures &figures(Phase phase) const { return m_figures[index(phase)]; }
    int landings(Phase phase) const { return m_landings[index(phase)]; }
    bool landedEnough(Phase phase) const { return figures(phase).landed >= landings(phase); }
    bool done(Phase phase) const
    {
        const PhaseFigures &f = figures(phase);
        return f.landed >= landings(phase) || f.attempts >= landings(phase) * AttemptsPerLanding;
    }
    // The recovery phase waits for a write phase kill to start from.
    bool canAttempt(Phase phase) const
    {
        return !done(phase) && (phase != Phase::Recovery || !m_interruptions.empty());
    }

    // Whole runs: the file they leave, and how long each phase lasts as the polling sees it.
    // The first run only shows the after-file, whose last record the later ones wait for.
    void calibrate()
    {
        std::vector<double> journal;
        std::vector<double> writing;
        std::vector<double> tail;
        for (int run = 0; run <= CalibrationRuns; ++run) {
            WriteFile(m_target, m_before);
            Process operation(m_command);
            const Timeline seen = watch(operation, m_before, run > 0);
            if (!operation.succeeded())
                throw SoakFailure(m_name + ": a run that was not killed ended with " +
                                  operation.status() + ": " + CommandLine(m_command));
            const Bytes after = ReadFile(m_target);
            if (after == m_before || (run > 0 && after != m_after) || JournalBeside(m_target))
                throw SoakFailure(m_name + ": whole runs do not all leave one changed file "
                                           "and nothing beside it");
            m_after = after;
            if (seen.journal && seen.first)
                journal.push_back(Milliseconds(*seen.first - *seen.journal));
            if (seen.first && seen.last && seen.gone) {
                writing.push_back(Milliseconds(*seen.last - *seen.first));
                tail.push_back(Milliseconds(*seen.gone - *seen.last));
            }
        }
        m_journalMs = std::max(UpperQuartile(journal), MinimumWindowMs);
        m_writingMs = std::max(UpperQuartile(writing), MinimumWindowMs);
        m_tailMs = std::max(UpperQuartile(tail), MinimumWindowMs);
    }

    std::string calibration() const
    {
        char text[200];
        std::snprintf(text, sizeof text,
                      "%-18s journal %6.2f ms, writes %6.2f ms, then %6.2f ms until the journal "
                      "is gone (upper quartiles of %d whole runs)",
                      m_name.c_str(), m_journalMs, m_writingMs, m_tailMs, CalibrationRuns);
        return text;
    }

    void attempt(Phase phase, std::mt19937 &random)
    {
        ++m_figures[index(phase)].attempts;
        if (phase == Phase::Recovery)
            attemptRecovery(random);
        else
            attemptOperation(phase, random);
    }

private:
    static std::size_t index(Phase phase) { return static_cast<std::size_t>(phase); }

    void run(const std::vector<std::string> &arguments, std::initializer_list<int> accepted)
    {
        Process process(arguments);
        const int status = process.wait();
        if (!WIFEXITED(status) ||
            std::find(accepted.begin(), accepted.end(), WEXITSTATUS(status)) == accepted.end())
            throw SoakFailure(CommandLine(arguments) + ": ended with " + process.status());
    }

    // The journal and a set-aside one are named after the file's identity, which an in-place
    // write keeps, beside the file's resolved name.
    std::string besideName(
        const std::function<std::string(const std::string &, const FileIdentity &)> &nameFor) const
    {
        const NameFacts facts = FactsOfName(m_target);
        const std::size_t cut = facts.resolvedName.find_last_of('/');
        if (facts.error != 0 || cut == std::string::npos)
            throw SoakFailure(m_target + ": its folder cannot be told");
        return nameFor(facts.resolvedName.substr(0, cut + 1), facts.identity);
    }
    std::string journalName() const { return besideName(JournalNameFor); }

    // Whether the file's length or its watched entry is no longer what `earlier` holds. One
    // glance, which neither locks nor looks for a journal, keeps the polling light and out of
    // the way of what it watches.
    bool touched(const Bytes &earlier) const
    {
        const Expected<HueFile> file = HueFile::openForGlance(m_target);
        if (!file)
            return false;
        HueEntry entry{};
        file->readEntry(m_watched, entry);
        return file->size() != static_cast<FileOffset>(earlier.size()) ||
               !SameBytes(entry, EntryIn(earlier, m_watched));
    }

    // Follows a whole run from `from` on; the last record is looked for only once the after-file
    // is known.
    Timeline watch(Process &process, const Bytes &from, bool lastKnown) const
    {
        Timeline seen;
        const HueEntry last = EntryIn(m_after, m_lastWritten);
        process.pollUntil([&] {
            const Clock::time_point now = Clock::now();
            const bool beside = JournalBeside(m_target);
            if (!seen.journal && beside)
                seen.journal = now;
            if (!seen.first && touched(from))
                seen.first = now;
            HueEntry entry{};
            if (seen.first && !seen.last && lastKnown &&
                ReadEntryFromFile(m_target, m_lastWritten, entry) == ReadOutcome::Read &&
                SameBytes(entry, last))
                seen.last = now;
            if (seen.first && !seen.gone && !beside)
                seen.gone = now;
            return false;
        });
        process.wait();
        return seen;
    }

    // Entries that are neither before's nor after's, past the file's end not counted.
    int tornEntries(const Bytes &file) const
    {
        int torn = 0;
        for (int n = 1; n <= MaxEntryNumber && EntryOffset(n) < FileOffset(file.size()); ++n) {
            const HueEntry entry = EntryIn(file, n);
            torn +=
                !SameBytes(entry, EntryIn(m_before, n)) && !SameBytes(entry, EntryIn(m_after, n));
        }
        return torn;
    }

    void removeLeftovers() const
    {
        std::error_code ignored;
        std::filesystem::remove(m_journal, ignored);
        std::filesystem::remove(besideName(AsideNameFor), ignored);
    }

    // Kills the operation in the phase it aims at, then lets `list` open the file.
    void attemptOperation(Phase aim, std::mt19937 &random)
    {
        WriteFile(m_target, m_before);
        // Half the write kills aim at the records' writes alone, where a tear can come; the
        // others reach to the journal's end, where every record has been written.
        const double windowMs = aim == Phase::Journal ? m_journalMs
                                : random() % 2 == 0   ? m_writingMs
                                                      : m_writingMs + m_tailMs;
        const double delayMs = std::uniform_real_distribution<double>(0, windowMs)(random);
        Process operation(m_command);
        const std::optional<Clock::time_point> seen =
            aim == Phase::Write ? operation.pollUntil([&] { return touched(m_before); })
                                : operation.pollUntil([&] { return JournalBeside(m_target); });
        if (seen)
            operation.killAt(*seen + FromMilliseconds(delayMs));
        const std::string how = std::string(PhaseName(aim)) + " aim, killed " + Decimal(delayMs) +
                                " ms after the " +
                                (aim == Phase::Write ? "first write" : "journal") +
                                " was seen: " + CommandLine(m_command);
        if (!operation.killed()) {
            const bool whole =
                operation.succeeded() && ReadFile(m_target) == m_after && !JournalBeside(m_target);
            if (!whole)
                fail(m_figures[index(aim)], how,
                     "the run ended by itself with " + operation.status() +
                         " and left a file that is not the after-file",
                     {}, {});
            return;
        }

        const Bytes left = ReadFile(m_target);
        const bool journalLeft = std::filesystem::exists(m_journal);
        const Bytes journal = journalLeft ? ReadFile(m_journal) : Bytes();
        const bool journalWhole =
            journalLeft && ParseJournal(std::string(journal.begin(), journal.end())).has_value();
        std::optional<Phase> landedIn;
        if (journalLeft)
            landedIn = left == m_before ? Phase::Journal : Phase::Write;
        PhaseFigures &figures = m_figures[index(landedIn.value_or(aim))];
        if (landedIn) {
            ++figures.landed;
            if (landedIn == Phase::Write) {
                figures.midWrite += left != m_after;
                figures.tornLeft += tornEntries(left) > 0;
                if (journalWhole)
                    keep({left, journal}, random);
            } else {
                figures.partialJournal += !journalWhole;
            }
        }
        const Settled settled = settle(false);
        const std::string unjournalled = !journalLeft && left != m_before && left != m_after
                                             ? "the kill left a changed file and no journal "
                                               "beside it"
                                             : "";
        if (!unjournalled.empty() || !settled.failure.empty()) {
            fail(figures, how,
                 unjournalled + (unjournalled.empty() || settled.failure.empty() ? "" : "; ") +
                     settled.failure,
                 left, journal);
            removeLeftovers();
        } else if (landedIn) {
            figures.rolledBack += settled.rolledBack;
            figures.finished += settled.finished;
        }
    }

    // Puts an interrupted write back in place, kills the `list` that rolls it back, and lets
    // the next `list` finish.
    void attemptRecovery(std::mt19937 &random)
    {
        PhaseFigures &figures = m_figures[index(Phase::Recovery)];
        const Interruption &start = m_interruptions[std::uniform_int_distribution<std::size_t>(
            0, m_interruptions.size() - 1)(random)];
        if (m_recoveryMs == 0)
            calibrateRecovery();
        const double delayMs = std::uniform_real_distribution<double>(0, m_recoveryMs)(random);
        restore(start);
        Process list({m_cli, "list", m_target});
        if (const auto seen = list.pollUntil([&] { return touched(start.file); }))
            list.killAt(*seen + FromMilliseconds(delayMs));
        const std::string how = "recovery killed " + Decimal(delayMs) +
                                " ms after its first change was seen: " + m_cli + " list " +
                                m_target;
        if (!list.killed() && !list.succeeded()) {
            fail(figures, how, "the recovering list ended with " + list.status(), start.file,
                 start.journal);
            removeLeftovers();
            return;
        }
        const Bytes left = ReadFile(m_target);
        const bool landed =
            list.killed() && std::filesystem::exists(m_journal) && left != start.file;
        figures.landed += landed;
        const Settled settled = settle(true);
        if (!settled.failure.empty()) {
            fail(figures, how, settled.failure, start.file, start.journal);
            removeLeftovers();
        } else if (landed) {
            figures.rolledBack += settled.rolledBack;
        }
    }

    // Whole recoveries, from the first change seen to the journal gone, each of which must
    // roll back.
    void calibrateRecovery()
    {
        std::vector<double> putting;
        for (int run = 0; run < CalibrationRuns; ++run) {
            const Interruption &start =
                m_interruptions[static_cast<std::size_t>(run) % m_interruptions.size()];
            restore(start);
            Process list({m_cli, "list", m_target});
            const Timeline seen = watch(list, start.file, false);
            if (const Settled settled = judge(list, true); !settled.failure.empty()) {
                fail(m_figures[index(Phase::Recovery)],
                     "a whole recovery: " + m_cli + " list " + m_target, settled.failure,
                     start.file, start.journal);
                removeLeftovers();
            }
            if (seen.first && seen.gone)
                putting.push_back(Milliseconds(*seen.gone - *seen.first));
        }
        m_recoveryMs = std::max(UpperQuartile(putting), MinimumWindowMs);
        std::printf("%-18s recovery %6.2f ms from its first change until the journal is gone\n",
                    m_name.c_str(), m_recoveryMs);
        std::fflush(stdout);
    }

    void restore(const Interruption &interruption) const
    {
        if (journalName() != m_journal)
            throw SoakFailure(m_target + ": the file's identity changed, so its journal's name");
        WriteFile(m_target, interruption.file);
        WriteFile(m_journal, interruption.journal);
    }

    void keep(Interruption interruption, std::mt19937 &random)
    {
        if (m_interruptions.size() < KeptInterruptions)
            m_interruptions.push_back(std::move(interruption));
        else
            m_interruptions[std::uniform_int_distribution<std::size_t>(0, KeptInterruptions - 1)(
                random)] = std::move(interruption);
    }

    // Opens the file as a user would next, and tells whether it came back whole.
    Settled settle(bool onlyBefore) const
    {
        Process list({m_cli, "list", m_target});
        return judge(list, onlyBefore);
    }

    // Whether a `list` that ran to its end left the file whole; only the before-file where the
    // write's journal was whole when it started.
    Settled judge(Process &list, bool onlyBefore) const
    {
        std::vector<std::string> reasons;
        if (!list.succeeded())
            reasons.push_back("list ended with " + list.status());
        Settled settled;
        const Bytes file = ReadFile(m_target);
        settled.rolledBack = file == m_before;
        settled.finished = !onlyBefore && file == m_after;
        if (JournalBeside(m_target))
            reasons.push_back("a journal or a set-aside one is left beside the file");
        if (!settled.rolledBack && !settled.finished)
            reasons.push_back(describe(file));
        for (const std::string &reason : reasons)
            settled.failure += (settled.failure.empty() ? "" : "; ") + reason;
        return settled;
    }

    // Which entries a file holds from where, an entry past a file's end read as zeroes, and the
    // bytes of the first entry that is neither the before-file's nor the after-file's.
    std::string describe(const Bytes &file) const
    {
        int asBefore = 0;
        int asAfter = 0;
        int firstBefore = 0;
        int firstAfter = 0;
        int firstTorn = 0;
        const int reach =
            EntryAt(std::max<FileOffset>(FileOffset(file.size()), FileOffset(m_after.size())) - 1);
        for (int n = 1; n <= std::min(reach, MaxEntryNumber); ++n) {
            const HueEntry entry = EntryIn(file, n);
            const bool before = SameBytes(entry, EntryIn(m_before, n));
            const bool after = SameBytes(entry, EntryIn(m_after, n));
            if (before == after) {
                firstTorn = firstTorn == 0 && !before ? n : firstTorn;
                continue;
            }
            (before ? asBefore : asAfter) += 1;
            int &first = before ? firstBefore : firstAfter;
            first = first == 0 ? n : first;
        }
        const auto from = [](int first) {
            return first == 0 ? std::string() : " from entry " + std::to_string(first);
        };
        std::string text = "the file is " + std::to_string(file.size()) + " bytes long (before " +
                           std::to_string(m_before.size()) + ", after " +
                           std::to_string(m_after.size()) + ") and holds " +
                           std::to_string(asBefore) + " entries as before" + from(firstBefore) +
                           " and " + std::to_string(asAfter) + " as after" + from(firstAfter);
        if (firstTorn != 0)
            text += "; entry " + std::to_string(firstTorn) + " is torn: it holds " +
                    Hex(EntryIn(file, firstTorn)) + ", before " +
                    Hex(EntryIn(m_before, firstTorn)) + ", after " +
                    Hex(EntryIn(m_after, firstTorn));
        return text;
    }

    // Says what went wrong at once, and keeps the first failures' files for a look: the hue
    // file and journal as the kill left them, beside the files before and after the write.
    void fail(PhaseFigures &figures, const std::string &how, const std::string &why,
              const Bytes &left, const Bytes &journal)
    {
        ++figures.failures;
        std::string kept;
        if (++m_failuresSeen <= KeptFailures && !left.empty()) {
            const std::filesystem::path ours(m_folder);
            const std::string folder = ours.parent_path().string() + "-failures/" +
                                       ours.filename().string() + "-" +
                                       std::to_string(m_failuresSeen);
            std::filesystem::create_directories(folder);
            WriteFile(folder + "/hues.mul", left);
            WriteFile(folder + "/before.mul", m_before);
            WriteFile(folder + "/after.mul", m_after);
            if (!journal.empty())
                WriteFile(folder + "/" + std::filesystem::path(m_journal).filename().string(),
                          journal);
            kept = " (the files are kept in " + folder + ")";
        }
        std::fprintf(stderr, "kill-soak: FAIL %s, %s: %s%s\n", m_name.c_str(), how.c_str(),
                     why.c_str(), kept.c_str());
    }

    std::string m_cli;
    std::string m_name;
    std::string m_folder;
    std::string m_target;
    std::string m_journal;
    std::vector<std::string> m_command;
    // The entry the polling watches: the first the operation writes and a recovery puts back.
    int m_watched = 1;
    int m_lastWritten = MaxEntryNumber;
    Bytes m_before;
    Bytes m_after;
    std::array<int, 3> m_landings;
    double m_journalMs = 0;
    double m_writingMs = 0;
    double m_tailMs = 0;
    double m_recoveryMs = 0;
    std::array<PhaseFigures, 3> m_figures{};
    std::vector<Interruption> m_interruptions;
    int m_failuresSeen = 0;
};

void PrintFigures(const std::vector<Kind> &kinds)
{
    for (const Phase phase : Phases) {
        std::printf("\n%s kills\n%-18s %8s %7s %11s %8s %9s", PhaseName(phase), "kind", "attempts",
                    "landed", "rolled back", "finished", "failures");
        if (phase == Phase::Write)
            std::printf(" %9s %10s", "mid-write", "torn left");
        if (phase == Phase::Journal)
            std::printf(" %15s", "journal cut off");
        std::printf("\n");
        for (const Kind &kind : kinds) {
            const PhaseFigures &f = kind.figures(phase);
            std::printf("%-18s %8d %7d %11d %8d %9d", kind.name().c_str(), f.attempts, f.landed,
                        f.rolledBack, f.finished, f.failures);
            if (phase == Phase::Write)
                std::printf(" %9d %10d", f.midWrite, f.tornLeft);
            if (phase == Phase::Journal)
                std::printf(" %15d", f.partialJournal);
            std::printf("\n");
        }
    }
}

struct Counts {
    int extending = 500;
    int inPlace = 500;
    int journal = 100;
    int recovery = 100;
    std::vector<std::string> operations = {"copy", "import", "apply", "merge"};
};

int Soak(const std::string &cli, const std::string &folder, const Counts &counts, unsigned seed)
{
    std::vector<Kind> kinds;
    for (const Operation operation :
         {Operation::Copy, Operation::Import, Operation::Apply, Operation::Merge}) {
        if (std::find(counts.operations.begin(), counts.operations.end(),
                      OperationName(operation)) == counts.operations.end())
            continue;
        kinds.emplace_back(operation, Shape::Extending, cli, folder, counts.extending,
                           counts.journal, counts.recovery);
        kinds.emplace_back(operation, Shape::InPlace, cli, folder, counts.inPlace, counts.journal,
                           counts.recovery);
    }
    for (Kind &kind : kinds) {
        kind.calibrate();
        std::printf("%s\n", kind.calibration().c_str());
    }
    std::fflush(stdout);
    std::mt19937 random(seed);
    // The kinds and phases take turns, so that a change in the machine's load reaches all alike.
    const auto waiting = [&kinds] {
        return std::any_of(kinds.begin(), kinds.end(), [](const Kind &kind) {
            return std::any_of(Phases.begin(), Phases.end(),
                               [&kind](Phase phase) { return kind.canAttempt(phase); });
        });
    };
    while (waiting()) {
        for (Kind &kind : kinds)
            for (const Phase phase : Phases)
                if (kind.canAttempt(phase))
                    kind.attempt(phase, random);
    }
    PrintFigures(kinds);
    int failures = 0;
    bool tooFew = false;
    for (const Kind &kind : kinds) {
        for (const Phase phase : Phases) {
            failures += kind.figures(phase).failures;
            if (!kind.landedEnough(phase)) {
                std::fprintf(stderr, "kill-soak: %s: only %d of %d %s kills landed\n",
                             kind.name().c_str(), kind.figures(phase).landed, kind.landings(phase),
                             PhaseName(phase));
                tooFew = true;
            }
        }
    }
    if (failures > 0) {
        std::fprintf(stderr,
                     "kill-soak: %d kills left a file that list did not bring back whole; seed "
                     "%u repeats the delays\n",
                     failures, seed);
        return 1;
    }
    return tooFew ? 2 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("Kills colvane-cli during its writes, its journal and its recovery, and checks "
                 "that the next open leaves the file as it was before or after the write");
    std::string cli;
    std::string parent = std::filesystem::temp_directory_path().string();
    Counts counts;
    unsigned seed = std::random_device()();
    app.add_option("CLI", cli, "The colvane-cli program to run")
        ->required()
        ->check(CLI::ExistingFile);
    app.add_option("--folder", parent, "Where the fixture folder is made")
        ->check(CLI::ExistingDirectory);
    app.add_option("--extending", counts.extending,
                   "Write phase kills that must land in each operation extending its file")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--in-place", counts.inPlace,
                   "Write phase kills that must land in each operation writing in place")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--journal", counts.journal,
                   "Kills that must land in each kind's making of its journal")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--recovery", counts.recovery,
                   "Kills that must land in each kind's recovery of an interrupted write")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--operation", counts.operations, "Only these operations (default: all)")
        ->check(CLI::IsMember({"copy", "import", "apply", "merge"}));
    app.add_option("--seed", seed, "Seed of the kill delays, to repeat a run");
    CLI11_PARSE(app, argc, argv);
    // A sleep may otherwise overrun by 50 microseconds, the time of fifty entries' writes.
    prctl(PR_SET_TIMERSLACK, 1UL);

    const std::filesystem::path folder =
        std::filesystem::path(parent) / ("colvane-kill-soak-" + std::to_string(getpid()));
    std::printf("kill soak: %d write kills to land per extending kind, %d per in-place kind, %d "
                "journal and %d recovery kills per kind, seed %u, in %s\n",
                counts.extending, counts.inPlace, counts.journal, counts.recovery, seed,
                folder.c_str());
    int status = 2;
    try {
        std::filesystem::create_directory(folder);
        status = Soak(std::filesystem::absolute(cli).string(), folder.string(), counts, seed);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "kill-soak: %s\n", error.what());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
