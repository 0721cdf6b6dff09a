#include "huefile/standard_streams.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define COLVANE_SANITIZED 1
#endif

namespace {

// The caller's standard error while library messages are silenced; -1 otherwise.
int SavedStandardError = -1;

std::string Reason(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// A sanitizer's report is no library chatter: it must reach whoever runs the program.
void SendSanitizerReportsTo(int descriptor)
{
#ifdef COLVANE_SANITIZED
    __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<long>(descriptor)));
#else
    (void)descriptor;
#endif
}

} // namespace

bool StandardStreamClosed(int stream)
{
    return fcntl(stream, F_GETFD) < 0 && errno == EBADF;
}

std::string WriteWhole(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = write(descriptor, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Reason(put < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return "";
}

LibraryMessagesSilenced::LibraryMessagesSilenced()
{
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return;
    SavedStandardError = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (SavedStandardError >= 0 && dup2(null, STDERR_FILENO) >= 0)
        SendSanitizerReportsTo(SavedStandardError);
    close(null);
}

LibraryMessagesSilenced::~LibraryMessagesSilenced()
{
    if (SavedStandardError < 0)
        return;
    dup2(SavedStandardError, STDERR_FILENO);
    close(SavedStandardError);
    SavedStandardError = -1;
    SendSanitizerReportsTo(STDERR_FILENO);
}

int CallersStandardError()
{
    return SavedStandardError >= 0 ? SavedStandardError : STDERR_FILENO;
}
