#pragma once

#include <functional>
#include <string>
#include <vector>

// A program run as a process. One that does not end within 20 s, as one blocked on a pipe
// would, fails the test instead of hanging it (status -1); one ended by a signal has status -2.
struct ProcessOutcome {
    int status;
    std::string out;
    std::string err;
};

// Runs the program, looked up on PATH when its name has no folder, with the arguments, as UTF-8 on
// every system, and `input` on its standard input. No Qt: the command line's tests run on Windows
// too. inChild prepares the child process before the program starts in it; Windows has no such
// moment, and it must be empty there.
ProcessOutcome RunCommand(const std::string &program, const std::vector<std::string> &arguments,
                          const std::string &input = {}, const std::function<void()> &inChild = {});
