#include "huefile/output_file.h"

#include "huefile/file_checks.h"
#include "huefile/windows/system_calls.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <iterator>
#include <string>

// The checks of the POSIX side, as Windows has them: the read-only attribute stands for a mode
// without write bits, an open for writing for the permission check, and the link count of
// GetFileInformationByHandle for st_nlink. Files carry no owner that a replacement would
// change: the new file takes the folder's permissions, as the old one had, so there is no
// owner check. The replacement is MoveFileExW's, which replaces the old name in one step.

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The temporary file under way, for the console's Ctrl+C and close handler, which runs on a
// thread of its own: a fixed buffer, and a flag raised only once the name in it is whole.
wchar_t PendingName[32768];
std::atomic<bool> NamePending{false};

BOOL WINAPI RemovePendingOnTheWayOut(DWORD)
{
    if (NamePending.exchange(false))
        DeleteFileW(PendingName);
    return FALSE; // the program ends as it would have
}

class TemporaryFile {
public:
    TemporaryFile() { SetConsoleCtrlHandler(RemovePendingOnTheWayOut, TRUE); }
    ~TemporaryFile()
    {
        if (NamePending.exchange(false))
            DeleteFileW(PendingName);
        SetConsoleCtrlHandler(RemovePendingOnTheWayOut, FALSE);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Creates a new file named folder + ".colvane-" and a number not yet taken there.
    HANDLE create(const std::wstring &folder)
    {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::wstring name = folder + L".colvane-" +
                                      std::to_wstring(GetCurrentProcessId()) + L"-" +
                                      std::to_wstring(GetTickCount() + attempt);
            if (name.size() >= std::size(PendingName)) {
                errno = ENAMETOOLONG;
                return INVALID_HANDLE_VALUE;
            }
            name.copy(PendingName, name.size());
            PendingName[name.size()] = L'\0';
            const HANDLE file = CreateFileW(PendingName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                NamePending = true;
                return file;
            }
            if (GetLastError() != ERROR_FILE_EXISTS) {
                FailWithSystemError();
                return INVALID_HANDLE_VALUE;
            }
        }
        errno = EEXIST;
        return INVALID_HANDLE_VALUE;
    }

    bool renameTo(const std::wstring &target, bool replacing = true)
    {
        const DWORD how = MOVEFILE_WRITE_THROUGH | (replacing ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!MoveFileExW(PendingName, target.c_str(), how))
            return FailWithSystemError();
        NamePending = false;
        return true;
    }
};

bool WriteAll(HANDLE file, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, piece, &put, nullptr))
            return FailWithSystemError();
        if (put == 0)
            return false;
        done += put;
    }
    return true;
}

std::string WriteToStream(const std::string &fileName, const std::string &bytes)
{
    const HANDLE file = CreateFileW(WideName(fileName).c_str(), GENERIC_WRITE, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithSystemError();
        return ErrorText(errno);
    }
    errno = 0;
    const bool written = WriteAll(file, bytes);
    const int error = errno ? errno : EIO;
    CloseHandle(file);
    return written ? std::string() : ErrorText(error);
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\' || c == ':';
}

bool HasExtension(const std::string &fileName, const std::string &extension)
{
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || fileName.size() - dot - 1 != extension.size())
        return false;
    for (std::size_t i = 0; i < extension.size(); ++i) {
        const char c = fileName[dot + 1 + i];
        if (IsSeparator(c) || std::tolower(static_cast<unsigned char>(c)) !=
                                  std::tolower(static_cast<unsigned char>(extension[i])))
            return false;
    }
    return true;
}

struct Existing {
    FileFacts facts;
    DWORD links = 1;
    // The name with its links resolved, as the system spells it.
    std::wstring target;
};

// What an existing name leads to; none with errno set when nothing does.
std::optional<Existing> Look(const std::string &fileName)
{
    const std::optional<FileFacts> facts = FactsOfName(fileName);
    if (!facts)
        return std::nullopt;
    Existing existing{*facts, 1, WideName(fileName)};
    if (facts->kind != FileKind::Regular)
        return existing;
    const HANDLE file = CreateFileW(existing.target.c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return existing;
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(file, &information))
        existing.links = information.nNumberOfLinks;
    wchar_t resolved[32768];
    const DWORD length = GetFinalPathNameByHandleW(file, resolved, std::size(resolved), 0);
    if (length > 0 && length < std::size(resolved))
        existing.target.assign(resolved, length);
    CloseHandle(file);
    return existing;
}

std::string WhyNotReplaced(const std::string &fileName, const Existing &existing,
                           const std::string &extension)
{
    if (!HasExtension(fileName, extension))
        return "exists and is no " + extension + " file; not replaced";
    if (existing.facts.readOnlyForEveryone)
        return ReadOnlyReason;
    if (!MayWriteFile(fileName))
        return ErrorText(EACCES);
    if (existing.links > 1)
        return "has " + std::to_string(existing.links) +
               " hard links, which a replacement would split; not replaced";
    return "";
}

struct OutputPlan {
    enum class Way { Create, Stream, Replace, Refuse } way = Way::Refuse;
    std::wstring target;
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
    plan.target = WideName(fileName);
    const std::optional<Existing> existing = Look(fileName);
    if (!existing) {
        if (errno != ENOENT)
            return Refused(ErrorText(errno));
        if (GetFileAttributesW(plan.target.c_str()) != INVALID_FILE_ATTRIBUTES)
            return Refused("a link to nothing");
        plan.way = OutputPlan::Way::Create;
        return plan;
    }
    if (existing->facts.kind == FileKind::Folder)
        return Refused(KindText(FileKind::Folder));
    if (existing->facts.kind != FileKind::Regular) {
        plan.way = OutputPlan::Way::Stream;
        return plan;
    }
    plan.target = existing->target;
    plan.why = WhyNotReplaced(fileName, *existing, extension);
    plan.way = plan.why.empty() ? OutputPlan::Way::Replace : OutputPlan::Way::Refuse;
    return plan;
}

std::string WriteThroughTemporary(const std::wstring &target, const std::string &bytes,
                                  bool replacing = true)
{
    const std::size_t separator = target.find_last_of(L"/\\:");
    TemporaryFile temporary;
    const HANDLE file = temporary.create(
        separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1));
    if (file == INVALID_HANDLE_VALUE)
        return ErrorText(errno);
    errno = 0;
    std::string why;
    if (!WriteAll(file, bytes))
        why = ErrorText(errno ? errno : EIO);
    if (!CloseHandle(file) && why.empty())
        why = (FailWithSystemError(), ErrorText(errno));
    if (why.empty() && !temporary.renameTo(target, replacing))
        why = errno == EEXIST ? "exists already, and only a new file is made" : ErrorText(errno);
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
    case OutputPlan::Way::Replace:
        return WriteThroughTemporary(plan.target, bytes);
    case OutputPlan::Way::Stream:
        return WriteToStream(fileName, bytes);
    case OutputPlan::Way::Refuse:
        break;
    }
    return plan.why;
}

// Moved into place without replacing, so a file that came to be under the name meanwhile is
// never overwritten.
std::string CreateNewFile(const std::string &fileName, const std::string &bytes)
{
    if (fileName.empty())
        return "no file name";
    return WriteThroughTemporary(WideName(fileName), bytes, false);
}

int StageFile(const std::string &folder, const std::string &bytes, std::string &temporary)
{
    temporary.clear();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder + "/.colvane-samples-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount() + attempt);
        const HANDLE file = CreateFileW(WideName(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            FailWithSystemError();
            return errno;
        }
        temporary = name;
        errno = 0;
        int failure = WriteAll(file, bytes) ? 0 : (errno ? errno : EIO);
        if (!CloseHandle(file) && failure == 0)
            failure = (FailWithSystemError(), errno);
        return failure;
    }
    return EEXIST;
}

NameHolds WhatNameHolds(const std::string &name, int &error)
{
    const DWORD attributes = GetFileAttributesW(WideName(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return NameHolds::Free;
        FailWithSystemError();
        error = errno;
        return NameHolds::Unknown;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return NameHolds::Folder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? NameHolds::Other : NameHolds::Replaceable;
}

int NameStagedFile(const std::string &temporary, const std::string &name, bool replace)
{
    const DWORD how = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(WideName(temporary).c_str(), WideName(name).c_str(), how)) {
        FailWithSystemError();
        return errno;
    }
    return 0;
}

void RemoveFile(const std::string &name)
{
    DeleteFileW(WideName(name).c_str());
}
