#include "cli/command_support.h"

#include "huefile/entry_bytes.h"
#include "huefile/file_checks.h"
#include "huefile/formats/entry_name.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/input_file.h"

#include <algorithm>
#include <cstdio>

namespace {

bool Shown(unsigned char byte)
{
    return byte >= 0x20 && byte != 0x7F && (byte < 0x80 || byte >= 0xA0);
}

// Most names are plain ASCII, which is already UTF-8 and needs no conversion.
void AppendUtf8(std::string &text, std::string_view latin1)
{
    const bool ascii = std::all_of(latin1.begin(), latin1.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        text.append(latin1);
    else
        text += Latin1ToUtf8(latin1);
}

} // namespace

Failure About(const std::string &what, const std::string &why)
{
    return Fail(what + ": " + why);
}

int EntriesReached(FileOffset size)
{
    int count = 0;
    while (count < MaxEntryNumber && EntryOffset(count + 1) < size)
        ++count;
    return count;
}

EntryState StateOf(const HueEntry &entry, bool whole)
{
    if (!whole)
        return EntryState::Missing;
    return IsEmptyEntry(entry) ? EntryState::Empty : EntryState::Used;
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

FileEntries ReadReachedEntries(const HueFile &file, int count)
{
    FileEntries all;
    if (count > 0)
        all.entries = file.readEntries(1, count, all.whole);
    return all;
}

void AppendPrintable(std::string &text, std::string_view latin1)
{
    // Runs of shown characters are converted whole: a listing converts thousands of names.
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < latin1.size(); ++i) {
        const auto byte = static_cast<unsigned char>(latin1[i]);
        if (Shown(byte))
            continue;
        AppendUtf8(text, latin1.substr(runStart, i - runStart));
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        text += escaped;
        runStart = i + 1;
    }
    AppendUtf8(text, latin1.substr(runStart));
}

std::string Printable(std::string_view latin1)
{
    std::string text;
    AppendPrintable(text, latin1);
    return text;
}

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
    const Expected<HueFile> file = OpenHueFile(fileName, HueFileUse::Reading, LockWait);
    if (!file)
        return About(fileName, file.error());
    return WholeEntry(*file, fileName, n);
}

Expected<std::string> ReadInput(const std::string &fileName)
{
    Expected<std::string> bytes =
        ReadInputFile(fileName, MaxPaletteFileSize, PaletteTooLargeReason());
    if (!bytes)
        return About(fileName, bytes.error());
    return bytes;
}

std::string CopyFailure(int entry, const std::string &why)
{
    return "entry " + std::to_string(entry) + " could not be written (" + why + ")";
}
