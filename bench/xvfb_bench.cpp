#include "bench/bench_support.h"

#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const std::string XvfbMeasure = "full scroll under Xvfb (xcb)";
constexpr int DisplayWaitMilliseconds = 10000;

// An X server of its own on a display it picks itself, ended with the object.
class XvfbServer {
public:
    XvfbServer()
    {
        int displayPipe[2];
        if (pipe(displayPipe) != 0)
            throw BenchNotRun("no pipe for the X server's display number");
        std::string displayFd = std::to_string(displayPipe[1]);
        std::vector<std::string> words = {"Xvfb", "-displayfd",   displayFd,   "-screen",
                                          "0",    "1280x1024x24", "-nolisten", "tcp"};
        std::vector<char *> argv;
        for (std::string &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, displayPipe[0]);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int failure =
            posix_spawnp(&m_process, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(displayPipe[1]);
        if (failure != 0) {
            close(displayPipe[0]);
            throw BenchNotRun(failure == ENOENT
                                  ? "Xvfb is missing"
                                  : std::string("Xvfb could not start: ") + std::strerror(failure));
        }
        const std::string number = ReadLine(displayPipe[0]);
        close(displayPipe[0]);
        if (number.empty()) {
            stop();
            throw BenchNotRun("Xvfb did not report its display");
        }
        m_display = ":" + number;
    }
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    int process() const { return m_process; }
    const std::string &display() const { return m_display; }

private:
    // The display number and its newline, or nothing when none comes within the wait.
    static std::string ReadLine(int descriptor)
    {
        std::string line;
        pollfd ready{descriptor, POLLIN, 0};
        char c = 0;
        while (poll(&ready, 1, DisplayWaitMilliseconds) == 1 && read(descriptor, &c, 1) == 1) {
            if (c == '\n')
                return line;
            line += c;
        }
        return "";
    }

    void stop()
    {
        if (m_process <= 0)
            return;
        kill(m_process, SIGTERM);
        waitpid(m_process, nullptr, 0);
        m_process = 0;
    }

    pid_t m_process = 0;
    std::string m_display;
};

// This program's environment, with the window system's settings replaced.
std::vector<std::string> ChildEnvironment(const std::string &display)
{
    std::vector<std::string> variables;
    for (char **variable = environ; *variable; ++variable) {
        const std::string text = *variable;
        if (text.rfind("DISPLAY=", 0) != 0 && text.rfind("QT_QPA_PLATFORM=", 0) != 0)
            variables.push_back(text);
    }
    variables.push_back("DISPLAY=" + display);
    variables.push_back("QT_QPA_PLATFORM=xcb");
    return variables;
}

PairedSamples ScrollUnderXvfb(const std::string &self, int rounds)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        throw BenchNotRun("no temporary folder for the child's output");
    const std::string output = (folder.path() + "/samples").toStdString();
    const std::string errors = (folder.path() + "/errors").toStdString();
    const XvfbServer server;
    std::vector<std::string> variables = ChildEnvironment(server.display());
    std::vector<char *> environment;
    for (std::string &variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    const ProcessRun run =
        RunProcess({self, "--xvfb-scroll-child=" + std::to_string(server.process()),
                    "--rounds=" + std::to_string(rounds)},
                   output, errors, environment.data());
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        std::ifstream why(errors);
        std::string line;
        std::string last = "no output";
        while (std::getline(why, line))
            if (!line.empty())
                last = line;
        throw BenchNotRun("the scrolling child failed: " + last);
    }
    PairedSamples samples;
    std::ifstream lines(output);
    BenchSample ours;
    BenchSample baseline;
    while (lines >> ours.realSeconds >> ours.cpuSeconds >> baseline.realSeconds >>
           baseline.cpuSeconds) {
        samples.ours.push_back(ours);
        samples.baseline.push_back(baseline);
    }
    if (samples.ours.empty())
        throw BenchNotRun("the scrolling child reported no samples");
    return samples;
}

} // namespace

void RunXvfbScrollBench(BenchTable &table, const std::string &self, int rounds)
{
    try {
        table.addTimedRatio(XvfbMeasure, ScrollUnderXvfb(self, rounds), NoGoal);
        table.note(XvfbMeasure + ": each pass ends with a round trip to the X server; the CPU "
                                 "line counts the server's time too.");
    } catch (const BenchNotRun &reason) {
        table.addNotRun({XvfbMeasure + " (CPU)", XvfbMeasure + " (real)"}, "—", reason.what());
    }
}
