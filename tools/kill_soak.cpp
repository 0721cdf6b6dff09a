// Kills colvane-cli copies with SIGKILL while they write, and checks that every entry they leave
// is whole: old, new or zero, in a file whose length ends between entries.
//
// Two kinds of copy run in turn: 3000 entries into a file of 80 (extending) and 3000 into 3000
// other ones (in place). Starting a process varies by milliseconds, more than the writes take,
// so each kill is timed from the copy's first write, seen by polling the target's first entry,
// and the delay after it follows the copy's measured progress: a line fitted to the kills that
// landed says how long after its first write the copy reaches an entry. The copy writes an
// entry in about a microsecond while a kill's timing varies by tens, so no kill can aim at one
// entry; every copy covers all 3000, and the in-place kind, whose tears can only come at the
// few entries that straddle a page boundary, gets more kills to hit them.
// A file a kill left may end inside an entry (cut), or hold an entry of two records' parts
// (torn). The file gets its new length before any record goes past its old end, so a cut is a
// fault. A torn entry can still come where a kill stops one record's write between two pages,
// in place and past the old end alike; those are reported, not failed.
// Exit status: 0 when no file was cut, 1 when one was, 2 when the soak could not run or too few
// kills landed.
#include "huefile/entry_bytes.h"
#include "huefile/hue_file.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
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

constexpr int ExtendedFileEntries = 80;
constexpr long PageSize = 4096;
constexpr int CalibrationRuns = 12;
// A kind gives up after this many attempts per kill it still has to land.
constexpr int AttemptsPerLanding = 20;
constexpr auto PollInterval = std::chrono::microseconds(20);

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

// The copy as a process of its own, its output thrown away.
class CopyProcess {
public:
    CopyProcess(const std::string &cli, const std::string &source, const std::string &target)
    {
        std::string arguments[] = {cli, "copy", source, target,
                                   "1.." + std::to_string(MaxEntryNumber)};
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int error = posix_spawn(&m_pid, cli.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            throw SoakFailure(cli + ": " + std::strerror(error));
    }
    ~CopyProcess()
    {
        if (!m_reaped && kill(m_pid, SIGKILL) == 0) {
            while (waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    CopyProcess(const CopyProcess &) = delete;
    CopyProcess &operator=(const CopyProcess &) = delete;

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
                throw SoakFailure("the copy's process vanished");
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

private:
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_reaped = false;
};

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Least squares of kill delay (ms after the first write) on the entry the copy had reached, so
// that a delay can aim at a point of the copy. Until enough kills landed, the line is the
// calibrated one.
class Progress {
public:
    void calibrate(double writingMs) { m_perEntry = std::max(writingMs, 0.01) / MaxEntryNumber; }
    void add(int entry, double delayMs)
    {
        ++m_count;
        m_sumX += entry;
        m_sumY += delayMs;
        m_sumXX += double(entry) * entry;
        m_sumXY += entry * delayMs;
    }
    double delayFor(double entry) const
    {
        const double spread = m_count * m_sumXX - m_sumX * m_sumX;
        if (m_count < 20 || spread <= 0)
            return m_perEntry * entry;
        const double slope = (m_count * m_sumXY - m_sumX * m_sumY) / spread;
        const double start = (m_sumY - slope * m_sumX) / m_count;
        return std::max(0.0, start + std::max(slope, 1e-6) * entry);
    }

private:
    double m_perEntry = 0;
    int m_count = 0;
    double m_sumX = 0, m_sumY = 0, m_sumXX = 0, m_sumXY = 0;
};

struct KindFigures {
    int attempts = 0;
    int landed = 0;
    int tornEntries = 0;
    int tornKills = 0;
    int cutFiles = 0;
    int straddlingHits = 0;
    std::set<int> straddlersHit;
};

class Kind {
public:
    Kind(std::string name, const std::string &folder, int targetEntries, int landings)
        : m_name(std::move(name)), m_source(folder + "/source.mul"),
          m_target(folder + "/" + m_name + ".mul"), m_before(FileOfEntries(targetEntries, 2)),
          m_landings(landings)
    {
        for (int n = 1; n <= MaxEntryNumber; ++n) {
            m_new.push_back(SeededEntry(n, 1));
            m_old.push_back(n <= targetEntries ? SeededEntry(n, 2) : HueEntry{});
            if (Straddles(n))
                m_straddlers.push_back(n);
        }
    }

    const std::string &name() const { return m_name; }
    const KindFigures &figures() const { return m_figures; }
    std::size_t straddlerCount() const { return m_straddlers.size(); }

    // Whole copies: the file they leave, and how long they write, from the first write seen
    // to the last entry seen written or the end of the process.
    void calibrate(const std::string &cli)
    {
        std::vector<double> writing;
        for (int run = 0; run < CalibrationRuns; ++run) {
            WriteFile(m_target, m_before);
            CopyProcess copy(cli, m_source, m_target);
            const std::optional<Clock::time_point> first = firstWriteSeen(copy);
            std::optional<Clock::time_point> last;
            while (first && !last && !copy.exited()) {
                if (sameEntryOnDisk(MaxEntryNumber, m_new.back()))
                    last = Clock::now();
                std::this_thread::sleep_for(PollInterval);
            }
            // The last write comes just before the end, which the polling may see first.
            const Clock::time_point end = last.value_or(Clock::now());
            if (copy.wait() != 0)
                throw SoakFailure(m_name + ": a copy that was not killed failed");
            writing.push_back(first ? Milliseconds(end - *first) : 0);
            m_after = ReadFile(m_target);
        }
        for (int n = 1; n <= MaxEntryNumber; ++n) {
            if (!SameBytes(entryAt(m_after, n), m_new[n - 1]))
                throw SoakFailure(m_name + ": a whole copy did not copy entry " +
                                  std::to_string(n));
        }
        std::sort(writing.begin(), writing.end());
        m_writingMs = writing[writing.size() / 2];
        m_progress.calibrate(m_writingMs);
    }

    std::string calibration() const
    {
        char text[160];
        std::snprintf(text, sizeof text, "%s: writes for %.2f ms (median of %d whole copies)",
                      m_name.c_str(), m_writingMs, CalibrationRuns);
        return text;
    }

    bool done() const
    {
        return m_figures.landed >= m_landings ||
               m_figures.attempts >= m_landings * AttemptsPerLanding;
    }
    bool landedEnough() const { return m_figures.landed >= m_landings; }
    int landings() const { return m_landings; }

    void attempt(const std::string &cli, std::mt19937 &random)
    {
        WriteFile(m_target, m_before);
        const double aim = std::uniform_real_distribution<double>(1, MaxEntryNumber)(random);
        const double delayMs = m_progress.delayFor(aim);
        {
            CopyProcess copy(cli, m_source, m_target);
            if (const auto first = firstWriteSeen(copy))
                copy.killAt(*first + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double, std::milli>(delayMs)));
        }
        ++m_figures.attempts;
        const Bytes left = ReadFile(m_target);
        if (left == m_before || left == m_after)
            return;
        ++m_figures.landed;
        m_progress.add(inspect(), delayMs);
    }

private:
    // When the copy's first write, that of entry 1, showed; nothing when it ended first.
    std::optional<Clock::time_point> firstWriteSeen(CopyProcess &copy) const
    {
        while (!copy.exited()) {
            if (!sameEntryOnDisk(1, m_old[0]))
                return Clock::now();
            std::this_thread::sleep_for(PollInterval);
        }
        return std::nullopt;
    }

    // Reading one entry alone keeps the polling light.
    bool sameEntryOnDisk(int n, const HueEntry &expected) const
    {
        HueEntry entry{};
        return ReadEntryFromFile(m_target, n, entry) == ReadOutcome::Read &&
               SameBytes(entry, expected);
    }

    static HueEntry entryAt(const Bytes &file, int n)
    {
        HueEntry entry{};
        const auto offset = static_cast<std::size_t>(EntryOffset(n));
        if (offset < file.size())
            std::memcpy(&entry, file.data() + offset, std::min(sizeof entry, file.size() - offset));
        return entry;
    }

    // Counts the torn entries of a file a kill left, through the program's own reads, and
    // returns the entry the copy had reached: the first that is not yet new.
    int inspect()
    {
        const auto file = HueFile::openForReading(m_target);
        if (!file)
            throw SoakFailure(m_target + ": does not open after a kill");
        std::vector<bool> whole;
        const std::vector<HueEntry> entries = file->readEntries(1, MaxEntryNumber, whole);
        int reached = 0;
        int torn = 0;
        bool cut = false;
        for (int n = 1; n <= MaxEntryNumber; ++n) {
            const HueEntry &entry = entries[n - 1];
            const bool reachedByFile = file->size() > EntryOffset(n);
            const bool isNew = whole[n - 1] && SameBytes(entry, m_new[n - 1]);
            if (reached == 0 && !isNew)
                reached = n;
            cut = cut || (reachedByFile && !whole[n - 1]);
            if (reachedByFile && (!whole[n - 1] || !(isNew || SameBytes(entry, m_old[n - 1]) ||
                                                     SameBytes(entry, HueEntry{}))))
                ++torn;
        }
        reached = reached == 0 ? MaxEntryNumber : reached;
        m_figures.tornEntries += torn;
        m_figures.tornKills += torn > 0;
        m_figures.cutFiles += cut;
        if (Straddles(reached)) {
            ++m_figures.straddlingHits;
            m_figures.straddlersHit.insert(reached);
        }
        return reached;
    }

    std::string m_name;
    std::string m_source;
    std::string m_target;
    Bytes m_before;
    Bytes m_after;
    std::vector<HueEntry> m_new;
    std::vector<HueEntry> m_old;
    std::vector<int> m_straddlers;
    int m_landings;
    double m_writingMs = 0;
    Progress m_progress;
    KindFigures m_figures;
};

void PrintFigures(const std::vector<Kind> &kinds)
{
    std::printf("%-10s %9s %7s %10s %13s %12s %16s\n", "kind", "attempts", "landed", "cut files",
                "torn entries", "torn kills", "straddling hit");
    for (const Kind &kind : kinds) {
        const KindFigures &f = kind.figures();
        char hits[48];
        std::snprintf(hits, sizeof hits, "%d (%zu of %zu)", f.straddlingHits,
                      f.straddlersHit.size(), kind.straddlerCount());
        std::printf("%-10s %9d %7d %10d %13d %12d %16s\n", kind.name().c_str(), f.attempts,
                    f.landed, f.cutFiles, f.tornEntries, f.tornKills, hits);
    }
}

int Soak(const std::string &cli, const std::string &folder, int extending, int inPlace,
         unsigned seed)
{
    WriteFile(folder + "/source.mul", FileOfEntries(MaxEntryNumber, 1));
    std::vector<Kind> kinds;
    kinds.emplace_back("extending", folder, ExtendedFileEntries, extending);
    kinds.emplace_back("in-place", folder, MaxEntryNumber, inPlace);
    for (Kind &kind : kinds) {
        kind.calibrate(cli);
        std::printf("%s\n", kind.calibration().c_str());
    }
    std::fflush(stdout);
    std::mt19937 random(seed);
    // The kinds take turns, so that a change in the machine's load reaches both alike.
    while (!std::all_of(kinds.begin(), kinds.end(), [](const Kind &kind) { return kind.done(); })) {
        for (Kind &kind : kinds) {
            if (!kind.done())
                kind.attempt(cli, random);
        }
    }
    PrintFigures(kinds);
    for (const Kind &kind : kinds) {
        if (!kind.landedEnough()) {
            std::fprintf(stderr, "kill-soak: %s: only %d of %d kills landed during a write\n",
                         kind.name().c_str(), kind.figures().landed, kind.landings());
            return 2;
        }
    }
    const bool cut = std::any_of(kinds.begin(), kinds.end(),
                                 [](const Kind &kind) { return kind.figures().cutFiles > 0; });
    if (cut)
        std::fprintf(stderr, "kill-soak: a killed copy left a file that ends inside an entry\n");
    return cut ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("Kills colvane-cli copies during their writes and checks every entry is whole");
    std::string cli;
    std::string parent = std::filesystem::temp_directory_path().string();
    int extending = 500;
    int inPlace = 1500;
    unsigned seed = std::random_device()();
    app.add_option("CLI", cli, "The colvane-cli program to run")
        ->required()
        ->check(CLI::ExistingFile);
    app.add_option("--folder", parent, "Where the fixture folder is made")
        ->check(CLI::ExistingDirectory);
    app.add_option("--extending", extending, "Kills that must land in extending copies")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--in-place", inPlace, "Kills that must land in in-place copies")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--seed", seed, "Seed of the kill delays, to repeat a run");
    CLI11_PARSE(app, argc, argv);
    // A sleep may otherwise overrun by 50 microseconds, the time of fifty entries' writes.
    prctl(PR_SET_TIMERSLACK, 1UL);

    const std::filesystem::path folder =
        std::filesystem::path(parent) / ("colvane-kill-soak-" + std::to_string(getpid()));
    std::printf("kill soak: %d extending and %d in-place kills to land, seed %u, in %s\n",
                extending, inPlace, seed, folder.c_str());
    int status = 2;
    try {
        std::filesystem::create_directory(folder);
        status = Soak(cli, folder.string(), extending, inPlace, seed);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "kill-soak: %s\n", error.what());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
