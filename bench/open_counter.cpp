#include "bench/bench_support.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>

// Every hue file the program opens goes through one of the C library's open calls. Defined in
// the executable, these take the place of the library's for the whole process; they count
// opens of the two hue files while counting is on and otherwise only pass the call on, so the
// timed work pays no more than a flag test per open.
namespace {

// Other threads of the toolkit open files too, so both are shared safely between threads.
std::atomic<bool> Counting{false};
std::atomic<int> CountedOpens{0};

bool IsHueFileName(const char *path)
{
    if (!path)
        return false;
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    return std::strcmp(name, "patch-hues.mul") == 0 || std::strcmp(name, "hues.mul") == 0;
}

void Count(const char *path)
{
    if (Counting.load(std::memory_order_relaxed) && IsHueFileName(path))
        CountedOpens.fetch_add(1, std::memory_order_relaxed);
}

// The mode argument is only there when the flags create a file.
mode_t ModeArgument(int flags, va_list arguments)
{
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        return static_cast<mode_t>(va_arg(arguments, unsigned));
    return 0;
}

template <typename Function>
Function Next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFunction = int (*)(const char *, int, ...);
using OpenAtFunction = int (*)(int, const char *, int, ...);

} // namespace

extern "C" int open(const char *path, int flags, ...)
{
    static const auto next = Next<OpenFunction>("open");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    Count(path);
    return next(path, flags, mode);
}

extern "C" int open64(const char *path, int flags, ...)
{
    static const auto next = Next<OpenFunction>("open64");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    Count(path);
    return next(path, flags, mode);
}

extern "C" int openat(int folder, const char *path, int flags, ...)
{
    static const auto next = Next<OpenAtFunction>("openat");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    Count(path);
    return next(folder, path, flags, mode);
}

extern "C" int openat64(int folder, const char *path, int flags, ...)
{
    static const auto next = Next<OpenAtFunction>("openat64");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    Count(path);
    return next(folder, path, flags, mode);
}

// A build with the checked C library functions opens through these when the flags are not a
// constant.
extern "C" int __open_2(const char *path, int flags)
{
    static const auto next = Next<int (*)(const char *, int)>("__open_2");
    Count(path);
    return next(path, flags);
}

extern "C" int __open64_2(const char *path, int flags)
{
    static const auto next = Next<int (*)(const char *, int)>("__open64_2");
    Count(path);
    return next(path, flags);
}

void StartCountingHueOpens()
{
    CountedOpens.store(0);
    Counting.store(true);
}

int StopCountingHueOpens()
{
    Counting.store(false);
    return CountedOpens.load();
}
