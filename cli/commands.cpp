#include "cli/commands.h"

#include "copy/entry_copy.h"
#include "huefile/colour.h"
#include "huefile/file_checks.h"
#include "huefile/formats/entry_name.h"
#include "huefile/formats/png_picture.h"
#include "huefile/formats/recolour.h"
#include "huefile/hue_file.h"
#include "huefile/input_file.h"
#include "huefile/number_text.h"
#include "huefile/output_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

// More than any palette file needs; a larger input is a mistake, not a palette.
constexpr off_t MaxInputSize = 16L << 20;

Failure About(const std::string &what, const std::string &why)
{
    return Fail(what + ": " + why);
}

// How long a write waits for another process's write to the same file to end.
constexpr auto LockWait = std::chrono::seconds(2);

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
    const auto shown = [](unsigned char byte) {
        return byte >= 0x20 && byte != 0x7F && (byte < 0x80 || byte >= 0xA0);
    };
    // Runs of shown characters are converted whole: a listing converts thousands of names.
    std::string text;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < latin1.size(); ++i) {
        const auto byte = static_cast<unsigned char>(latin1[i]);
        if (shown(byte))
            continue;
        text += Latin1ToUtf8(latin1.substr(runStart, i - runStart));
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        text += escaped;
        runStart = i + 1;
    }
    return text + Latin1ToUtf8(latin1.substr(runStart));
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
    const Expected<HueFile> file = OpenHueFile(fileName, HueFileUse::Reading);
    if (!file)
        return About(fileName, file.error());
    return WholeEntry(*file, fileName, n);
}

// The bytes of a file of the given format to the file named by -o.
CommandResult WriteOutput(const std::string &fileName, PaletteFormat format,
                          const std::string &bytes)
{
    if (fileName.empty())
        return About("-o", "no output file name");
    const std::string why = WriteOutputFile(fileName, FormatName(format), bytes);
    return why.empty() ? CommandResult(ExitSame) : About(fileName, why);
}

std::string TooLargeForAPalette()
{
    return "too large for a palette (more than " + std::to_string(MaxInputSize) + " bytes)";
}

// A pipe or device named as input is refused; "-" is standard input.
Expected<std::string> ReadInput(const std::string &fileName)
{
    Expected<std::string> bytes = ReadInputFile(fileName, MaxInputSize, TooLargeForAPalette());
    if (!bytes)
        return About(fileName, bytes.error());
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
           (error ? ErrorText(error) : std::string("the write failed")) + ")";
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
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading);
    if (!file)
        return About(request.file, file.error());
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
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading);
    if (!file)
        return About(request.file, file.error());
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
    if (SameFileOnDisk(*request.output, request.file))
        return About(*request.output, "is the hue file being exported, which is never overwritten");
    return WriteOutput(*request.output, request.format, *bytes);
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
    Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Update, LockWait);
    if (!file)
        return About(request.file, file.error());
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

CopyPlan PlanCopy(const CopyRequest &request)
{
    const int first = request.entries.first;
    const int targetFirst = request.to.value_or(first);
    const int targetLast =
        std::min(MaxEntryNumber, targetFirst + (request.entries.last - request.entries.first));
    return {first, first + (targetLast - targetFirst), targetFirst, targetLast};
}

// The window logs the copy after it ran, and so does this; a failure follows the log lines.
// The lines name the entries the copy could reach, not those the request named.
CommandResult RunCopy(const CopyRequest &request, std::ostream &out)
{
    const Expected<HueFile> readFile = OpenHueFile(request.source, HueFileUse::Reading);
    if (!readFile)
        return About(request.source, readFile.error());
    Expected<HueFile> writeFile = OpenHueFile(request.target, HueFileUse::Update, LockWait);
    if (!writeFile)
        return About(request.target, writeFile.error());

    const CopyPlan plan = PlanCopy(request);
    const int first = plan.sourceFirst;
    const int targetFrom = plan.targetFirst;
    if (!request.entries.isRange) {
        errno = 0;
        const bool written = CopyHueEntry(*readFile, writeFile.value(), first, targetFrom);
        const int error = errno;
        out << "GET ONE   " << first << "\nPUT ONE   " << targetFrom << '\n';
        if (!written)
            return About(request.target, CopyFailure(targetFrom, error) + "; it is as it was");
        return ExitSame;
    }

    const int targetTo = plan.targetLast;
    const off_t sourceSize = readFile->size();
    std::vector<EntryWrite> written;
    errno = 0;
    const bool whole = CopyHueEntryRange(*readFile, writeFile.value(), first, plan.sourceLast,
                                         targetFrom, targetTo, &written);
    const int error = errno;
    out << "GET RANGE " << first << " .. " << plan.sourceLast << "\nPUT RANGE " << targetFrom
        << " .. " << targetTo << '\n';
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
    const Expected<HueFile> a = OpenHueFile(request.first, HueFileUse::Reading);
    if (!a)
        return About(request.first, a.error());
    const Expected<HueFile> b = OpenHueFile(request.second, HueFileUse::Reading);
    if (!b)
        return About(request.second, b.error());
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
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading);
    if (!file)
        return About(request.file, file.error());
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

CommandResult RunPreview(const PreviewRequest &request, std::ostream &out)
{
    const bool toStandardOutput = request.output == StandardStreamName;
    const Expected<HueEntry> entry = ReadWholeEntry(request.file, request.entry);
    if (!entry)
        return Fail(entry.error());
    const Expected<std::string> bytes = ReadInput(request.image);
    if (!bytes)
        return Fail(bytes.error());
    Expected<RgbaPicture> picture = ReadPngPicture(*bytes);
    if (!picture)
        return About(request.image, picture.error());
    if (!toStandardOutput && SameFileOnDisk(request.output, request.file))
        return About(request.output, "is the hue file, which is never overwritten");
    if (!toStandardOutput && SameFileOnDisk(request.output, request.image))
        return About(request.output, "is the picture being recoloured, which is never overwritten");
    const Expected<std::string> png =
        WritePngPicture(RecolourPicture(std::move(picture.value()), *entry, request.wholeImage));
    if (!png)
        return About(request.output, png.error());
    if (toStandardOutput) {
        out << *png;
        return ExitSame;
    }
    return WriteOutput(request.output, PaletteFormat::Png, *png);
}
