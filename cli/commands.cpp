#include "cli/commands.h"

#include "copy/entry_copy.h"
#include "huefile/colour.h"
#include "huefile/formats/entry_name.h"
#include "huefile/formats/recolour.h"
#include "huefile/hue_file.h"
#include "huefile/number_text.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

// More than any palette file needs; a larger input is a mistake, not a palette.
constexpr off_t MaxInputSize = 16L << 20;

Failure About(const std::string &what, const std::string &why)
{
    return Fail(what + ": " + why);
}

// The system's reason in the short, lower-case words the program's messages use.
std::string ErrnoText(int error)
{
    switch (error) {
    case 0:
        return "cannot be opened";
    case ENOENT:
        return "no such file";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EISDIR:
        return "is a directory";
    case ENOTDIR:
        return "a part of the path is not a directory";
    case ENOSPC:
        return "no space left on the device";
    case EFBIG:
        return "file too large";
    case EWOULDBLOCK:
        return "locked by another process";
    case EROFS:
        return "read-only file system";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty())
            text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text;
    }
    }
}

// What stands behind a name that is no regular file, or empty for a regular file.
std::string NotARegularFile(const struct stat &info)
{
    if (S_ISREG(info.st_mode))
        return "";
    if (S_ISDIR(info.st_mode))
        return "is a directory";
    if (S_ISFIFO(info.st_mode))
        return "is a pipe, not a regular file";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return "is a device, not a regular file";
    return "is not a regular file";
}

// Taken right after a failed open: errno tells why the open failed, the file's kind tells
// why an open that succeeded was refused.
std::string WhyNotOpened(const std::string &fileName, int error)
{
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0)
        return ErrnoText(errno);
    const std::string kind = NotARegularFile(info);
    return kind.empty() ? ErrnoText(error) : kind;
}

// How long a write waits for another process's write to the same file to end.
constexpr auto LockWait = std::chrono::seconds(2);

Expected<HueFile> OpenHueFile(const std::string &fileName, bool forUpdate)
{
    errno = 0;
    std::optional<HueFile> file =
        forUpdate ? HueFile::openForUpdate(fileName, LockWait) : HueFile::openForReading(fileName);
    if (!file)
        return About(fileName, WhyNotOpened(fileName, errno));
    return std::move(*file);
}

// Entries whose place the file reaches, whole or in part.
int EntriesReached(off_t size)
{
    int count = 0;
    while (count < MaxEntryNumber && EntryOffset(count + 1) < size)
        ++count;
    return count;
}

enum class EntryState { Used, Empty, Missing };

EntryState StateOf(const HueEntry &entry, bool whole)
{
    if (!whole)
        return EntryState::Missing;
    const auto *bytes = reinterpret_cast<const unsigned char *>(&entry);
    const bool zero = std::all_of(bytes, bytes + sizeof entry, [](unsigned char b) { return !b; });
    return zero ? EntryState::Empty : EntryState::Used;
}

const char *StateName(EntryState state)
{
    switch (state) {
    case EntryState::Used:
        return "used";
    case EntryState::Empty:
        return "empty";
    case EntryState::Missing:
        return "missing";
    }
    return "";
}

// Every entry the file reaches, in one read.
struct FileEntries {
    std::vector<HueEntry> entries;
    std::vector<bool> whole;
};

FileEntries ReadReachedEntries(const HueFile &file, int count)
{
    FileEntries all;
    if (count > 0)
        all.entries = file.readEntries(1, count, all.whole);
    return all;
}

// Control characters would move a terminal's cursor or worse; they show as \xNN.
std::string Printable(std::string_view latin1)
{
    std::string text;
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        } else {
            text += Latin1ToUtf8(std::string_view(&c, 1));
        }
    }
    return text;
}

std::string Padded(const std::string &text, std::size_t width)
{
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

void WriteEntryLine(std::ostream &out, const std::string &number, EntryState state,
                    const HueEntry &entry)
{
    std::string line = Padded(number, 4) + "  " + StateName(state);
    if (state == EntryState::Used)
        line += std::string(9 - std::strlen(StateName(state)), ' ') + Printable(StoredName(entry));
    out << line << '\n';
}

Json NameOrNull(const HueEntry &entry, bool whole)
{
    return whole ? Json(Latin1ToUtf8(StoredName(entry))) : Json(nullptr);
}

// The entry when the file holds all of it, or why it does not.
Expected<HueEntry> WholeEntry(const HueFile &file, const std::string &fileName, int n)
{
    HueEntry entry{};
    if (file.readEntry(n, entry))
        return entry;
    const int reached = EntriesReached(file.size());
    if (n <= reached)
        return About(fileName, "entry " + std::to_string(n) + " is only partly in the file");
    if (reached == 0)
        return About(fileName, "no entry " + std::to_string(n) + ": the file holds no entry");
    return About(fileName, "no entry " + std::to_string(n) + ": the file ends at entry " +
                               std::to_string(reached));
}

Expected<HueEntry> ReadWholeEntry(const std::string &fileName, int n)
{
    const Expected<HueFile> file = OpenHueFile(fileName, false);
    if (!file)
        return Fail(file.error());
    return WholeEntry(*file, fileName, n);
}

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

// A pipe or device named as output is written as it is. A pipe that no one reads would hold
// the open forever, so it opens without waiting and is refused when it finds no reader.
Expected<int> WriteToStream(const std::string &fileName, const std::string &bytes)
{
    const int descriptor = open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return About(fileName, errno == ENXIO ? "is a pipe with no reader" : ErrnoText(errno));
    const int flags = fcntl(descriptor, F_GETFL);
    const bool written = flags >= 0 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0 &&
                         WriteAll(descriptor, bytes);
    const int error = errno;
    close(descriptor);
    return written ? Expected<int>(ExitSame) : About(fileName, ErrnoText(error));
}

mode_t NewFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Why the existing regular file target may not be replaced, or empty. A rename would replace
// it whatever its name, mode, owner or links, so each of them is asked first: only a file of
// the format being written is replaced, and only as writing into it would have been allowed.
std::string WhyNotReplaced(const std::string &target, const struct stat &info, PaletteFormat format)
{
    if (FormatFromExtension(target) != format)
        return "exists and is no " + FormatName(format) + " file; not replaced";
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return ErrnoText(errno);
    if (geteuid() != 0 && info.st_uid != geteuid())
        return "belongs to another user, and a replacement would change its owner";
    if (info.st_nlink > 1)
        return "has " + std::to_string(info.st_nlink) +
               " hard links, which a replacement would split; not replaced";
    return "";
}

// Why the bytes are not all in the temporary file, with the owner and mode of the file it
// replaces (or a new file's mode), or empty. The owner goes first: a change of owner clears
// the set-user-id bits that the mode then sets.
std::string FillTemporary(int descriptor, const std::string &bytes, const struct stat *replaced)
{
    errno = 0;
    std::string why;
    if (!WriteAll(descriptor, bytes))
        why = ErrnoText(errno ? errno : EIO);
    else if (replaced && fchown(descriptor, replaced->st_uid, replaced->st_gid) != 0)
        why = "its owner and group cannot be kept (" + ErrnoText(errno) + "); not replaced";
    else if (fchmod(descriptor, replaced ? replaced->st_mode & 07777 : NewFileMode()) != 0)
        why = ErrnoText(errno);
    if (close(descriptor) != 0 && why.empty())
        why = ErrnoText(errno);
    return why;
}

// The file appears whole or not at all: the bytes go to a temporary file beside the target,
// which then takes its name. The temporary's name is short, so that a target name of the
// longest length still leaves room for it.
Expected<int> WriteThroughTemporary(const std::string &fileName, const std::string &target,
                                    const struct stat *replaced, const std::string &bytes)
{
    const std::size_t slash = target.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
        ".colvane-XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0)
        return About(fileName, ErrnoText(errno));
    std::string why = FillTemporary(descriptor, bytes, replaced);
    if (why.empty() && rename(temporary.c_str(), target.c_str()) == 0)
        return ExitSame;
    if (why.empty())
        why = ErrnoText(errno);
    unlink(temporary.c_str());
    return About(fileName, why);
}

// Writes the bytes of a file of the given format to the file named by -o, which is created,
// replaced as WhyNotReplaced allows, or written as it is when it is a pipe or device.
Expected<int> WriteOutputFile(const std::string &fileName, PaletteFormat format,
                              const std::string &bytes)
{
    if (fileName.empty())
        return About("-o", "no output file name");
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return About(fileName, ErrnoText(errno));
        struct stat link {};
        if (lstat(fileName.c_str(), &link) == 0)
            return About(fileName, "is a link to nothing");
        return WriteThroughTemporary(fileName, fileName, nullptr, bytes);
    }
    if (S_ISDIR(info.st_mode))
        return About(fileName, "is a directory");
    if (!S_ISREG(info.st_mode))
        return WriteToStream(fileName, bytes);
    char resolved[PATH_MAX];
    const std::string target = realpath(fileName.c_str(), resolved) ? resolved : fileName;
    const std::string why = WhyNotReplaced(target, info, format);
    if (!why.empty())
        return About(fileName, why);
    return WriteThroughTemporary(fileName, target, &info, bytes);
}

bool SameFile(const std::string &a, const std::string &b)
{
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string TooLargeForAPalette()
{
    return "too large for a palette (more than " + std::to_string(MaxInputSize) + " bytes)";
}

// Why the input could not be read to its end, or empty. The limit holds however much the input
// grows while it is read, and for standard input, which has no size to ask for beforehand.
std::string ReadToEnd(int descriptor, std::string &bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ErrnoText(errno);
        if (got == 0)
            return "";
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > static_cast<std::size_t>(MaxInputSize))
            return TooLargeForAPalette();
    }
}

// Never blocks: a pipe or device named as input is refused; standard input is read as it is.
Expected<std::string> ReadInput(const std::string &fileName)
{
    std::string bytes;
    if (fileName == "-") {
        const std::string why = ReadToEnd(STDIN_FILENO, bytes);
        return why.empty() ? Expected<std::string>(std::move(bytes)) : About(fileName, why);
    }
    const int descriptor = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return About(fileName, WhyNotOpened(fileName, errno));
    struct stat info {};
    std::string why;
    if (fstat(descriptor, &info) != 0)
        why = ErrnoText(errno);
    else if (!NotARegularFile(info).empty())
        why = NotARegularFile(info);
    else if (info.st_size > MaxInputSize)
        why = TooLargeForAPalette();
    else
        why = ReadToEnd(descriptor, bytes);
    close(descriptor);
    if (!why.empty())
        return About(fileName, why);
    return bytes;
}

// Latin-1 letters fold like ASCII ones: capitals sit 32 below their small letters, except
// the multiplication sign, which has no small form.
char FoldCase(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7))
        return static_cast<char>(byte + 32);
    return c;
}

std::string Folded(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), FoldCase);
    return text;
}

// "0-3 7 9-31": runs of consecutive slots.
std::string SlotRuns(const std::vector<int> &slotList)
{
    std::string text;
    for (std::size_t i = 0; i < slotList.size();) {
        std::size_t j = i;
        while (j + 1 < slotList.size() && slotList[j + 1] == slotList[j] + 1)
            ++j;
        text += (text.empty() ? "" : " ") + std::to_string(slotList[i]);
        if (j > i)
            text += "-" + std::to_string(slotList[j]);
        i = j + 1;
    }
    return text;
}

std::string QuotedName(const HueEntry &entry, bool whole)
{
    return whole ? "\"" + Printable(StoredName(entry)) + "\"" : "missing";
}

std::string CopyFailure(int entry, int error)
{
    return "entry " + std::to_string(entry) + " could not be written (" +
           (error ? ErrnoText(error) : std::string("the write failed")) + ")";
}

} // namespace

Expected<EntryRange> EntryRangeFromText(std::string_view text)
{
    const auto number = [](std::string_view part) -> Expected<int> {
        const std::optional<std::int32_t> value = NumberText(part);
        if (!value)
            return Fail("\"" + Excerpt(part) + "\" is no entry number");
        if (*value < 1 || *value > MaxEntryNumber)
            return Fail(std::to_string(*value) + " is no entry number (1 to 3000)");
        return static_cast<int>(*value);
    };
    const std::size_t dots = text.find("..");
    const Expected<int> first = number(text.substr(0, dots));
    if (!first)
        return Fail(first.error());
    if (dots == std::string_view::npos)
        return EntryRange{*first, *first, false};
    const Expected<int> last = number(text.substr(dots + 2));
    if (!last)
        return Fail(last.error());
    if (*last < *first)
        return Fail("the range " + Excerpt(text) + " runs backwards");
    return EntryRange{*first, *last, true};
}

CommandResult RunList(const ListRequest &request, std::ostream &out)
{
    const Expected<HueFile> file = OpenHueFile(request.file, false);
    if (!file)
        return Fail(file.error());
    const FileEntries all = ReadReachedEntries(*file, EntriesReached(file->size()));
    Json list = Json::array();
    for (std::size_t i = 0; i < all.entries.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const EntryState state = StateOf(all.entries[i], all.whole[i]);
        if (request.json)
            list.push_back({{"entry", n},
                            {"state", StateName(state)},
                            {"name", NameOrNull(all.entries[i], all.whole[i])}});
        else
            WriteEntryLine(out, std::to_string(n), state, all.entries[i]);
    }
    if (request.json)
        out << list.dump(2) << '\n';
    return ExitSame;
}

CommandResult RunShow(const ShowRequest &request, std::ostream &out)
{
    const Expected<HueEntry> entry = ReadWholeEntry(request.file, request.entry);
    if (!entry)
        return Fail(entry.error());
    if (request.json) {
        out << *ExportEntry(*entry, request.entry, PaletteFormat::Json);
        return ExitSame;
    }
    char line[96];
    std::snprintf(line, sizeof line, "carried  %02x %02x %02x %02x\n", entry->carried[0],
                  entry->carried[1], entry->carried[2], entry->carried[3]);
    out << "entry    " << request.entry << "\nname     " << Printable(StoredName(*entry)) << '\n'
        << line;
    if (request.swatches) {
        for (const HueColour word : entry->colours) {
            const DisplayColour shown = HueWordToDisplay(word);
            std::snprintf(line, sizeof line, "\x1b[48;2;%u;%u;%um  ", shown & 0xFF,
                          (shown >> 8) & 0xFF, (shown >> 16) & 0xFF);
            out << line;
        }
        out << "\x1b[0m\n";
    }
    out << "slot  colour   word\n";
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const DisplayColour shown = HueWordToDisplay(entry->colours[slot]);
        std::snprintf(line, sizeof line, "%4d  #%02x%02x%02x  %04x\n", slot, shown & 0xFF,
                      (shown >> 8) & 0xFF, (shown >> 16) & 0xFF, entry->colours[slot]);
        out << line;
    }
    return ExitSame;
}

CommandResult RunExport(const ExportRequest &request, std::ostream &out)
{
    if (request.entries.isRange && request.format != PaletteFormat::Json)
        return About("export",
                     "a range exports only as json, not as " + FormatName(request.format));
    const Expected<HueFile> file = OpenHueFile(request.file, false);
    if (!file)
        return Fail(file.error());
    std::vector<NumberedEntry> entries;
    for (int n = request.entries.first; n <= request.entries.last; ++n) {
        const Expected<HueEntry> entry = WholeEntry(*file, request.file, n);
        if (!entry)
            return Fail(entry.error());
        entries.push_back({n, *entry});
    }
    const Expected<std::string> bytes =
        request.entries.isRange ? ExportEntries(entries, request.format, request.options)
                                : ExportEntry(entries.front().entry, entries.front().number,
                                              request.format, request.options);
    if (!bytes)
        return About(request.file,
                     "entry " + std::to_string(request.entries.first) + ": " + bytes.error());
    if (!request.output) {
        out << *bytes;
        out.flush();
        return out ? CommandResult(ExitSame) : About("standard output", "the write failed");
    }
    if (SameFile(*request.output, request.file))
        return About(*request.output, "is the hue file being exported, which is never overwritten");
    return WriteOutputFile(*request.output, request.format, *bytes);
}

CommandResult RunImport(const ImportRequest &request, std::ostream &out)
{
    const std::optional<PaletteFormat> format =
        request.format ? request.format : FormatFromExtension(request.input);
    if (!format)
        return About(request.input, "cannot tell the format from the name; give it with -f");
    const Expected<std::string> bytes = ReadInput(request.input);
    if (!bytes)
        return Fail(bytes.error());
    Expected<HueFile> file = OpenHueFile(request.file, true);
    if (!file)
        return Fail(file.error());
    HueEntry current{};
    file->readEntry(request.entry, current);
    const Expected<HueEntry> entry = ImportEntry(*bytes, *format, current, request.options);
    if (!entry)
        return About(request.input, entry.error());
    errno = 0;
    if (!file.value().writeEntry(request.entry, *entry))
        return About(request.file, CopyFailure(request.entry, errno) + "; it is as it was");
    out << "imported " << request.input << " into entry " << request.entry << ": \""
        << Printable(StoredName(*entry)) << "\"\n";
    return ExitSame;
}

// The window logs the copy after it ran, and so does this; a failure follows the log lines.
CommandResult RunCopy(const CopyRequest &request, std::ostream &out)
{
    const Expected<HueFile> readFile = OpenHueFile(request.source, false);
    if (!readFile)
        return Fail(readFile.error());
    Expected<HueFile> writeFile = OpenHueFile(request.target, true);
    if (!writeFile)
        return Fail(writeFile.error());

    const int first = request.entries.first;
    const int targetFrom = request.to.value_or(first);
    if (!request.entries.isRange) {
        errno = 0;
        const bool written = CopyHueEntry(*readFile, writeFile.value(), first, targetFrom);
        const int error = errno;
        out << "GET ONE   " << first << "\nPUT ONE   " << targetFrom << '\n';
        if (!written)
            return About(request.target, CopyFailure(targetFrom, error) + "; it is as it was");
        return ExitSame;
    }

    const int last = request.entries.last;
    const int targetTo = std::min(MaxEntryNumber, targetFrom + (last - first));
    const off_t sourceSize = readFile->size();
    std::vector<EntryWrite> written;
    errno = 0;
    const bool whole = CopyHueEntryRange(*readFile, writeFile.value(), first, last, targetFrom,
                                         targetTo, &written);
    const int error = errno;
    out << "GET RANGE " << first << " .. " << last << "\nPUT RANGE " << targetFrom << " .. "
        << targetTo << '\n';
    if (whole)
        return ExitSame;
    // Pairs go in ascending order and skip sources the read file held no whole record of, so
    // the failed target is the first one after the last write whose source was whole.
    int failed = written.empty() ? targetFrom : written.back().entry + 1;
    while (failed < targetTo &&
           EntryOffset(first + (failed - targetFrom)) + static_cast<off_t>(sizeof(HueEntry)) >
               sourceSize)
        ++failed;
    const std::string done = failed == targetFrom ? std::string("nothing was copied")
                                                  : std::to_string(targetFrom) + " .. " +
                                                        std::to_string(failed - 1) + " are copied";
    return About(request.target,
                 CopyFailure(failed, error) + " and the copy stopped there; " + done);
}

CommandResult RunDiff(const DiffRequest &request, std::ostream &out)
{
    const Expected<HueFile> a = OpenHueFile(request.first, false);
    if (!a)
        return Fail(a.error());
    const Expected<HueFile> b = OpenHueFile(request.second, false);
    if (!b)
        return Fail(b.error());
    const int count = std::max(EntriesReached(a->size()), EntriesReached(b->size()));
    const FileEntries left = ReadReachedEntries(*a, count);
    const FileEntries right = ReadReachedEntries(*b, count);

    Json differences = Json::array();
    int found = 0;
    for (int i = 0; i < count; ++i) {
        const HueEntry &x = left.entries[static_cast<std::size_t>(i)];
        const HueEntry &y = right.entries[static_cast<std::size_t>(i)];
        const bool xWhole = left.whole[static_cast<std::size_t>(i)];
        const bool yWhole = right.whole[static_cast<std::size_t>(i)];
        // Bytes compare only where both files hold the whole entry; elsewhere only states do.
        const bool differs = xWhole != yWhole || (xWhole && std::memcmp(&x, &y, sizeof x) != 0);
        if (!differs)
            continue;
        ++found;
        // Where one file lacks the entry, its state says all; zeroes are not its contents.
        const bool both = xWhole && yWhole;
        std::vector<int> slotList;
        for (int slot = 0; both && slot < HueColourCount; ++slot) {
            if (x.colours[slot] != y.colours[slot])
                slotList.push_back(slot);
        }
        const bool name = both && std::memcmp(x.name, y.name, sizeof x.name) != 0;
        const bool carried = both && std::memcmp(x.carried, y.carried, sizeof x.carried) != 0;
        if (request.json) {
            differences.push_back(
                {{"entry", i + 1},
                 {"names", {NameOrNull(x, xWhole), NameOrNull(y, yWhole)}},
                 {"states", {StateName(StateOf(x, xWhole)), StateName(StateOf(y, yWhole))}},
                 {"slots", slotList},
                 {"name", name},
                 {"carried", carried}});
            continue;
        }
        std::string parts = slotList.empty() ? "" : "slots " + SlotRuns(slotList);
        if (name)
            parts += std::string(parts.empty() ? "" : ", ") + "name";
        if (carried)
            parts += std::string(parts.empty() ? "" : ", ") + "carried bytes";
        out << Padded(std::to_string(i + 1), 4) << "  " << QuotedName(x, xWhole) << "  "
            << QuotedName(y, yWhole) << (parts.empty() ? "" : "  ") << parts << '\n';
    }
    if (request.json)
        out << differences.dump(2) << '\n';
    return found ? ExitDifferent : ExitSame;
}

CommandResult RunFind(const FindRequest &request, std::ostream &out)
{
    std::string needle;
    if (request.text) {
        const Expected<std::string> latin1 = NameFromUtf8(*request.text);
        if (!latin1)
            return About(Excerpt(*request.text), latin1.error());
        needle = Folded(*latin1);
    }
    const Expected<HueFile> file = OpenHueFile(request.file, false);
    if (!file)
        return Fail(file.error());
    const int reached = EntriesReached(file->size());
    const FileEntries all = ReadReachedEntries(*file, reached);
    // Free entries come in runs, as a copy past the end leaves them; each run is one line.
    struct Run {
        int first;
        int last;
        EntryState state;
    };
    std::vector<Run> free;
    const auto addFree = [&free](int first, int last, EntryState state) {
        if (!free.empty() && free.back().state == state && free.back().last + 1 == first)
            free.back().last = last;
        else
            free.push_back({first, last, state});
    };
    for (int i = 0; i < reached; ++i) {
        const HueEntry &entry = all.entries[static_cast<std::size_t>(i)];
        const EntryState state = StateOf(entry, all.whole[static_cast<std::size_t>(i)]);
        if (request.empty && state != EntryState::Used)
            addFree(i + 1, i + 1, state);
        if (!request.empty && state != EntryState::Missing &&
            Folded(StoredName(entry)).find(needle) != std::string::npos)
            WriteEntryLine(out, std::to_string(i + 1), state, entry);
    }
    if (request.empty && reached < MaxEntryNumber)
        addFree(reached + 1, MaxEntryNumber, EntryState::Missing);
    for (const Run &run : free) {
        const std::string first = std::to_string(run.first);
        WriteEntryLine(out, run.first == run.last ? first : first + ".." + std::to_string(run.last),
                       run.state, HueEntry{});
    }
    return ExitSame;
}

CommandResult RunPreview(const PreviewRequest &request, std::ostream &)
{
    const Expected<HueEntry> entry = ReadWholeEntry(request.file, request.entry);
    if (!entry)
        return Fail(entry.error());
    const Expected<std::string> bytes = ReadInput(request.image);
    if (!bytes)
        return Fail(bytes.error());
    QImage picture;
    if (!picture.loadFromData(reinterpret_cast<const uchar *>(bytes->data()),
                              static_cast<int>(bytes->size())))
        return About(request.image, "not a picture this program can read");
    if (SameFile(request.output, request.file))
        return About(request.output, "is the hue file, which is never overwritten");
    if (SameFile(request.output, request.image))
        return About(request.output, "is the picture being recoloured, which is never overwritten");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!RecolourImage(picture, *entry, request.wholeImage).save(&buffer, "PNG"))
        return About(request.output, "the picture could not be encoded");
    return WriteOutputFile(request.output, PaletteFormat::Png, png.toStdString());
}
