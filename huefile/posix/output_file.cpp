#include "huefile/output_file.h"

#include "huefile/file_checks.h"
#include "huefile/posix/modes.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int EndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The temporary file under way, for the signal handler: a fixed buffer, since a handler may
// not allocate, and a flag raised only once the name in it is whole.
char PendingName[PATH_MAX];
volatile std::sig_atomic_t NamePending = 0;

extern "C" void RemovePendingAndEnd(int signalNumber)
{
    if (NamePending)
        unlink(PendingName);
    std::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// A temporary file beside the file it will replace, removed when the object goes unless it
// took that file's name, and removed too when an ending signal ends the program meanwhile. Only
// signals left at their default action are taken over: one that the program ignores, as under
// nohup, or handles itself stays as it is. One exists at a time.
class TemporaryFile {
public:
    TemporaryFile()
    {
        struct sigaction removing {};
        removing.sa_handler = RemovePendingAndEnd;
        // A second signal waits until the first has removed the file.
        sigemptyset(&removing.sa_mask);
        for (const int signalNumber : EndingSignals)
            sigaddset(&removing.sa_mask, signalNumber);
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i) {
            sigaction(EndingSignals[i], nullptr, &m_previous[i]);
            m_taken[i] = !(m_previous[i].sa_flags & SA_SIGINFO) &&
                         m_previous[i].sa_handler == SIG_DFL &&
                         sigaction(EndingSignals[i], &removing, nullptr) == 0;
        }
    }

    ~TemporaryFile()
    {
        if (NamePending)
            unlink(PendingName);
        NamePending = 0;
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i)
            if (m_taken[i])
                sigaction(EndingSignals[i], &m_previous[i], nullptr);
    }

    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Creates the file from a mkstemp pattern; its descriptor, or -1 with errno set. The
    // signals wait while it is created, so that none finds a file whose name is not yet known.
    int create(const std::string &pattern)
    {
        if (pattern.size() >= sizeof PendingName) {
            errno = ENAMETOOLONG;
            return -1;
        }
        sigset_t ending;
        sigset_t previous;
        sigemptyset(&ending);
        for (const int signalNumber : EndingSignals)
            sigaddset(&ending, signalNumber);
        pthread_sigmask(SIG_BLOCK, &ending, &previous);
        std::memcpy(PendingName, pattern.c_str(), pattern.size() + 1);
        const int descriptor = mkstemp(PendingName);
        const int error = errno;
        NamePending = descriptor >= 0;
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        errno = error;
        return descriptor;
    }

    bool renameTo(const std::string &target)
    {
        if (rename(PendingName, target.c_str()) != 0)
            return false;
        NamePending = 0;
        return true;
    }

    // A second name for the file that fails when the target exists in any form, even as a
    // link to nothing; the temporary's own name goes with the object.
    bool linkTo(const std::string &target) { return link(PendingName, target.c_str()) == 0; }

private:
    struct sigaction m_previous[std::size(EndingSignals)]{};
    bool m_taken[std::size(EndingSignals)] = {};
};

bool WriteAll(int descriptor, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// A pipe that no one reads would hold the open forever, so it opens without waiting and is
// refused when it finds no reader.
std::string WriteToStream(const std::string &fileName, const std::string &bytes)
{
    const int descriptor = open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return errno == ENXIO ? "a pipe with no reader" : ErrorText(errno);
    const int flags = fcntl(descriptor, F_GETFL);
    const bool written = flags >= 0 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0 &&
                         WriteAll(descriptor, bytes);
    const int error = errno;
    close(descriptor);
    return written ? std::string() : ErrorText(error);
}

mode_t NewFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool HasExtension(const std::string &fileName, const std::string &extension)
{
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.rfind('/');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
           strcasecmp(fileName.c_str() + dot + 1, extension.c_str()) == 0;
}

// A rename would replace the target whatever its name, mode, owner or links, so each of them
// is asked first: it is replaced only as writing into it would have been allowed.
std::string WhyNotReplaced(const std::string &target, const struct stat &info,
                           const std::string &extension)
{
    if (!HasExtension(target, extension))
        return "exists and is no " + extension + " file; not replaced";
    if (ReadOnlyForEveryone(info.st_mode))
        return ReadOnlyReason;
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return ErrorText(errno);
    if (geteuid() != 0 && info.st_uid != geteuid())
        return "belongs to another user, and a replacement would change its owner";
    if (info.st_nlink > 1)
        return "has " + std::to_string(info.st_nlink) +
               " hard links, which a replacement would split; not replaced";
    return "";
}

// What is done with an output name: created, written as a stream, replaced, or refused.
struct OutputPlan {
    enum class Way { Create, Stream, Replace, Refuse } way = Way::Refuse;
    // The file that takes the bytes: for a replacement, the name's links resolved.
    std::string target;
    struct stat replaced {};
    std::string why;
};

OutputPlan Refused(std::string why)
{
    OutputPlan plan;
    plan.why = std::move(why);
    return plan;
}

OutputPlan PlanOutput(const std::string &fileName, const std::string &extension)
{
    if (fileName.empty())
        return Refused("no file name");
    OutputPlan plan;
    plan.target = fileName;
    if (stat(fileName.c_str(), &plan.replaced) != 0) {
        if (errno != ENOENT)
            return Refused(ErrorText(errno));
        struct stat link {};
        if (lstat(fileName.c_str(), &link) == 0)
            return Refused("a link to nothing");
        plan.way = OutputPlan::Way::Create;
        return plan;
    }
    if (S_ISDIR(plan.replaced.st_mode))
        return Refused(KindText(KindOfMode(plan.replaced.st_mode)));
    if (!S_ISREG(plan.replaced.st_mode)) {
        plan.way = OutputPlan::Way::Stream;
        return plan;
    }
    char resolved[PATH_MAX];
    if (realpath(fileName.c_str(), resolved))
        plan.target = resolved;
    plan.why = WhyNotReplaced(plan.target, plan.replaced, extension);
    plan.way = plan.why.empty() ? OutputPlan::Way::Replace : OutputPlan::Way::Refuse;
    return plan;
}

// Why the bytes are not all in the temporary file, with the owner and mode of the file it
// replaces (or a new file's mode), or empty. The owner goes first: a change of owner clears
// the set-user-id bits that the mode then sets.
std::string FillTemporary(int descriptor, const std::string &bytes, const struct stat *replaced)
{
    errno = 0;
    std::string why;
    if (!WriteAll(descriptor, bytes))
        why = ErrorText(errno ? errno : EIO);
    else if (replaced && fchown(descriptor, replaced->st_uid, replaced->st_gid) != 0)
        why = "its owner and group cannot be kept (" + ErrorText(errno) + "); not replaced";
    else if (fchmod(descriptor, replaced ? replaced->st_mode & 07777 : NewFileMode()) != 0)
        why = ErrorText(errno);
    if (close(descriptor) != 0 && why.empty())
        why = ErrorText(errno);
    return why;
}

// The temporary's name is short, so that a target name of the longest length still leaves
// room for it.
std::string WriteThroughTemporary(const std::string &target, const struct stat *replaced,
                                  const std::string &bytes)
{
    const std::size_t slash = target.rfind('/');
    TemporaryFile temporary;
    const int descriptor = temporary.create(
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
        ".colvane-XXXXXX");
    if (descriptor < 0)
        return ErrorText(errno);
    std::string why = FillTemporary(descriptor, bytes, replaced);
    if (why.empty() && !temporary.renameTo(target))
        why = ErrorText(errno);
    return why;
}

} // namespace

std::string WhyOutputIsRefused(const std::string &fileName, const std::string &extension)
{
    return PlanOutput(fileName, extension).why;
}

std::string WriteOutputFile(const std::string &fileName, const std::string &extension,
                            const std::string &bytes)
{
    const OutputPlan plan = PlanOutput(fileName, extension);
    switch (plan.way) {
    case OutputPlan::Way::Create:
        return WriteThroughTemporary(plan.target, nullptr, bytes);
    case OutputPlan::Way::Replace:
        return WriteThroughTemporary(plan.target, &plan.replaced, bytes);
    case OutputPlan::Way::Stream:
        return WriteToStream(plan.target, bytes);
    case OutputPlan::Way::Refuse:
        break;
    }
    return plan.why;
}

std::string CreateNewFile(const std::string &fileName, const std::string &bytes)
{
    if (fileName.empty())
        return "no file name";
    const std::size_t slash = fileName.rfind('/');
    TemporaryFile temporary;
    const int descriptor = temporary.create(
        (slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1)) +
        ".colvane-XXXXXX");
    if (descriptor < 0)
        return ErrorText(errno);
    std::string why = FillTemporary(descriptor, bytes, nullptr);
    if (why.empty() && !temporary.linkTo(fileName))
        why = errno == EEXIST ? "exists already, and only a new file is made" : ErrorText(errno);
    return why;
}

int StageFile(const std::string &folder, const std::string &bytes, std::string &temporary)
{
    temporary = folder + "/.colvane-samples-XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        temporary.clear();
        return errno;
    }
    int failure = 0;
    errno = 0;
    if (!WriteAll(descriptor, bytes) || fchmod(descriptor, NewFileMode()) != 0)
        failure = errno ? errno : EIO;
    if (close(descriptor) != 0 && failure == 0)
        failure = errno;
    return failure;
}

NameHolds WhatNameHolds(const std::string &name, int &error)
{
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return NameHolds::Free;
        error = errno;
        return NameHolds::Unknown;
    }
    if (S_ISDIR(info.st_mode))
        return NameHolds::Folder;
    return S_ISREG(info.st_mode) || S_ISLNK(info.st_mode) ? NameHolds::Replaceable
                                                         : NameHolds::Other;
}

// A free name is taken with a new link, which fails if something took the name meanwhile.
int NameStagedFile(const std::string &temporary, const std::string &name, bool replace)
{
    const bool named = replace ? rename(temporary.c_str(), name.c_str()) == 0
                               : link(temporary.c_str(), name.c_str()) == 0;
    if (!named)
        return errno;
    if (!replace)
        unlink(temporary.c_str());
    return 0;
}

void RemoveFile(const std::string &name)
{
    unlink(name.c_str());
}
