// A stand-in for the C library's fcntl that refuses locks the way other systems do, so that the
// file layer's answers to them run on any Linux machine: a network mount without its lock
// service (ENOLCK, EOPNOTSUPP), a kernel older than locks of the open (EINVAL), a lock held
// elsewhere (EAGAIN). Preloaded into a program, or linked into a test before the C library.
//
// COLVANE_TEST_OFD_LOCK_ERRNO: the errno that every F_OFD_SETLK fails with.
// COLVANE_TEST_CLASSIC_LOCK_ERRNO: the same for F_SETLK.
// Unset or 0, the request goes to the C library. Everything else always does.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

using Fcntl = int (*)(int, int, ...);

// Read at every call, so that a test linked with the shim can turn the refusals on and off.
int RefusalFor(int command)
{
    const char *variable = command == F_OFD_SETLK ? "COLVANE_TEST_OFD_LOCK_ERRNO"
                           : command == F_SETLK   ? "COLVANE_TEST_CLASSIC_LOCK_ERRNO"
                                                  : nullptr;
    const char *value = variable ? std::getenv(variable) : nullptr;
    return value ? std::atoi(value) : 0;
}

// Every command of fcntl takes at most one argument, an int or a pointer, which the C
// library's own fcntl reads the same way.
int Forward(const char *name, int descriptor, int command, void *argument)
{
    if (const int refusal = RefusalFor(command); refusal != 0) {
        errno = refusal;
        return -1;
    }
    const auto next = reinterpret_cast<Fcntl>(dlsym(RTLD_NEXT, name));
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(descriptor, command, argument);
}

} // namespace

// A build with 64-bit file offsets on a 32-bit system calls fcntl64 instead.
extern "C" int fcntl(int descriptor, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    return Forward("fcntl", descriptor, command, argument);
}

extern "C" int fcntl64(int descriptor, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    return Forward("fcntl64", descriptor, command, argument);
}
