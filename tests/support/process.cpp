#include "support/process.h"

#include <chrono>
#include <thread>
#include <utility>

namespace {

constexpr auto Patience = std::chrono::seconds(20);

} // namespace

#ifdef _WIN32
#include <windows.h>

namespace {

std::wstring Wide(const std::string &text)
{
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

// Quoted as the C library of the child splits its command line again.
std::wstring Quoted(const std::string &argument)
{
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : Wide(argument)) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
};

// The child's end is inherited, this process's end is not.
Pipe MakePipe(bool childReads)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    Pipe pipe;
    CreatePipe(&pipe.read, &pipe.write, &inherited, 0);
    SetHandleInformation(childReads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

void Drain(HANDLE from, std::string &into)
{
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0)
        into.append(buffer, got);
}

} // namespace

ProcessOutcome RunCommand(const std::string &program, const std::vector<std::string> &arguments,
                          const std::string &input, const std::function<void()> &)
{
    std::wstring commandLine = Quoted(program);
    for (const std::string &argument : arguments)
        commandLine += L" " + Quoted(argument);
    const Pipe in = MakePipe(true);
    const Pipe out = MakePipe(false);
    const Pipe err = MakePipe(false);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read;
    startup.hStdOutput = out.write;
    startup.hStdError = err.write;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(Wide(program).c_str(), commandLine.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startup, &process);
    for (const HANDLE childEnd : {in.read, out.write, err.write})
        CloseHandle(childEnd);
    ProcessOutcome outcome{-1, "", ""};
    std::thread feeding([&] {
        DWORD put = 0;
        if (!input.empty())
            WriteFile(in.write, input.data(), static_cast<DWORD>(input.size()), &put, nullptr);
        CloseHandle(in.write);
    });
    std::thread errors([&] { Drain(err.read, outcome.err); });
    Drain(out.read, outcome.out);
    errors.join();
    feeding.join();
    CloseHandle(out.read);
    CloseHandle(err.read);
    if (!started)
        return {-1, "", "could not be started"};
    const auto limit = static_cast<DWORD>(std::chrono::milliseconds(Patience).count());
    if (WaitForSingleObject(process.hProcess, limit) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        outcome = {-1, "", "did not finish"};
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        outcome.status = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads what is ready on either pipe, and feeds the input as the child takes it, until both
// pipes end or the time is up. False when the time ran out. The feeding end is closed once
// the input is all given, so that the child sees its end; the reading ends stay open.
bool Exchange(int inFeed, int outRead, int errRead, const std::string &input,
              ProcessOutcome &outcome)
{
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    std::size_t fed = 0;
    pollfd watched[3] = {{outRead, POLLIN, 0}, {errRead, POLLIN, 0}, {inFeed, POLLOUT, 0}};
    const auto stopFeeding = [&watched] {
        if (watched[2].fd >= 0)
            close(std::exchange(watched[2].fd, -1));
    };
    if (input.empty())
        stopFeeding();
    std::string *into[2] = {&outcome.out, &outcome.err};
    bool inTime = true;
    while (inTime && (watched[0].fd >= 0 || watched[1].fd >= 0)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        inTime = left.count() > 0 &&
                 (poll(watched, 3, static_cast<int>(left.count())) >= 0 || errno == EINTR);
        for (int i = 0; inTime && i < 2; ++i) {
            if (watched[i].fd < 0 || !watched[i].revents)
                continue;
            char buffer[65536];
            const ssize_t got = read(watched[i].fd, buffer, sizeof buffer);
            if (got > 0)
                into[i]->append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                watched[i].fd = -1;
        }
        if (inTime && watched[2].fd >= 0 && watched[2].revents) {
            const ssize_t put = write(watched[2].fd, input.data() + fed, input.size() - fed);
            if (put > 0)
                fed += static_cast<std::size_t>(put);
            if (put < 0 || fed == input.size())
                stopFeeding();
        }
    }
    stopFeeding();
    return inTime;
}

} // namespace

ProcessOutcome RunCommand(const std::string &program, const std::vector<std::string> &arguments,
                          const std::string &input, const std::function<void()> &inChild)
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return {-1, "", "no pipes"};
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (inChild)
            inChild();
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // A child that stops reading its input must not end this program.
    std::signal(SIGPIPE, SIG_IGN);
    ProcessOutcome outcome{0, "", ""};
    const bool finished = child > 0 && Exchange(in[1], out[0], err[0], input, outcome);
    close(out[0]);
    close(err[0]);
    int status = 0;
    if (!finished) {
        if (child > 0)
            kill(child, SIGKILL);
        outcome = {-1, "", "did not finish"};
    }
    if (child > 0)
        waitpid(child, &status, 0);
    if (finished)
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    return outcome;
}
#endif
