// The subcommands that only read hue files: list, show, diff and find.
#include "cli/command_support.h"
#include "cli/subcommand.h"

#include "huefile/colour.h"
#include "huefile/entry_bytes.h"
#include "huefile/formats/colour_text.h"
#include "huefile/formats/entry_name.h"
#include "huefile/standard_streams.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

// The stored name without a copy: listings show thousands of them.
std::string_view NameBytes(const HueEntry &entry)
{
    const auto *end = static_cast<const char *>(std::memchr(entry.name, 0, sizeof entry.name));
    return {entry.name, end ? static_cast<std::size_t>(end - entry.name) : sizeof entry.name};
}

// A number's decimal digits, without the allocation of a string of their own.
class Digits {
public:
    explicit Digits(int number)
        : m_end(std::to_chars(m_digits, m_digits + sizeof m_digits, number).ptr)
    {
    }
    std::string_view view() const { return {m_digits, static_cast<std::size_t>(m_end - m_digits)}; }

private:
    char m_digits[12];
    char *m_end;
};

// Right-aligned in `width` columns, as the numbers of a listing are.
void AppendPadded(std::string &text, std::string_view shown, std::size_t width)
{
    if (shown.size() < width)
        text.append(width - shown.size(), ' ');
    text.append(shown);
}

void AppendEntryLine(std::string &text, std::string_view number, EntryState state,
                     const HueEntry &entry)
{
    AppendPadded(text, number, 4);
    text += "  ";
    const std::string_view stateName = StateName(state);
    text.append(stateName);
    if (state == EntryState::Used) {
        text.append(9 - stateName.size(), ' ');
        AppendPrintable(text, NameBytes(entry));
    }
    text += '\n';
}

Json NameOrNull(const HueEntry &entry, bool whole)
{
    return whole ? Json(Latin1ToUtf8(StoredName(entry))) : Json(nullptr);
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

// Bit s set where colour slot s differs.
std::uint32_t DifferentSlots(const HueEntry &x, const HueEntry &y)
{
    std::uint32_t slots = 0;
    for (int slot = 0; slot < HueColourCount; ++slot)
        if (x.colours[slot] != y.colours[slot])
            slots |= std::uint32_t{1} << slot;
    return slots;
}

bool HasSlot(std::uint32_t slots, int slot)
{
    return slot < HueColourCount && (slots >> slot & 1) != 0;
}

std::vector<int> SlotList(std::uint32_t slots)
{
    std::vector<int> list;
    for (int slot = 0; slot < HueColourCount; ++slot)
        if (HasSlot(slots, slot))
            list.push_back(slot);
    return list;
}

// "0-3 7 9-31": runs of consecutive slots.
void AppendSlotRuns(std::string &text, std::uint32_t slots)
{
    const char *separator = "";
    for (int slot = 0; slot < HueColourCount; ++slot) {
        if (!HasSlot(slots, slot))
            continue;
        int last = slot;
        while (HasSlot(slots, last + 1))
            ++last;
        text += separator;
        text.append(Digits(slot).view());
        if (last > slot) {
            text += '-';
            text.append(Digits(last).view());
        }
        separator = " ";
        slot = last;
    }
}

void AppendQuotedName(std::string &text, const HueEntry &entry, bool whole)
{
    if (!whole) {
        text += "missing";
        return;
    }
    text += '"';
    AppendPrintable(text, NameBytes(entry));
    text += '"';
}

// One line of a diff: the entry, both names, then what differs where both files hold it.
void AppendDifference(std::string &text, int n, const HueEntry &x, bool xWhole, const HueEntry &y,
                      bool yWhole)
{
    const bool both = xWhole && yWhole;
    const std::uint32_t slots = both ? DifferentSlots(x, y) : 0;
    const bool name = both && std::memcmp(x.name, y.name, sizeof x.name) != 0;
    const bool carried = both && std::memcmp(x.carried, y.carried, sizeof x.carried) != 0;
    AppendPadded(text, Digits(n).view(), 4);
    text += "  ";
    AppendQuotedName(text, x, xWhole);
    text += "  ";
    AppendQuotedName(text, y, yWhole);
    const char *separator = "  ";
    if (slots) {
        text += "  slots ";
        AppendSlotRuns(text, slots);
        separator = ", ";
    }
    if (name) {
        text += separator;
        text += "name";
        separator = ", ";
    }
    if (carried) {
        text += separator;
        text += "carried bytes";
    }
    text += '\n';
}

Json DifferenceAsJson(int n, const HueEntry &x, bool xWhole, const HueEntry &y, bool yWhole)
{
    const bool both = xWhole && yWhole;
    return {{"entry", n},
            {"names", {NameOrNull(x, xWhole), NameOrNull(y, yWhole)}},
            {"states", {StateName(StateOf(x, xWhole)), StateName(StateOf(y, yWhole))}},
            {"slots", SlotList(both ? DifferentSlots(x, y) : 0)},
            {"name", both && std::memcmp(x.name, y.name, sizeof x.name) != 0},
            {"carried", both && std::memcmp(x.carried, y.carried, sizeof x.carried) != 0}};
}

} // namespace

CommandResult RunList(const ListRequest &request, std::ostream &out)
{
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading, LockWait);
    if (!file)
        return About(request.file, file.error());
    const FileEntries all = ReadReachedEntries(*file, EntriesReached(file->size()));
    Json list = Json::array();
    std::string text;
    for (std::size_t i = 0; i < all.entries.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const EntryState state = StateOf(all.entries[i], all.whole[i]);
        if (request.json) {
            list.push_back({{"entry", n},
                            {"state", StateName(state)},
                            {"name", NameOrNull(all.entries[i], all.whole[i])}});
            continue;
        }
        AppendEntryLine(text, Digits(n).view(), state, all.entries[i]);
    }
    if (request.json)
        text = list.dump(2) + '\n';
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
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

CommandResult RunDiff(const DiffRequest &request, std::ostream &out)
{
    if (request.patch)
        return RunDiffPatch(request, out);
    const Expected<HueFile> a = OpenHueFile(request.first, HueFileUse::Reading, LockWait);
    if (!a)
        return About(request.first, a.error());
    const Expected<HueFile> b = OpenHueFile(request.second, HueFileUse::Reading, LockWait);
    if (!b)
        return About(request.second, b.error());
    const int count = std::max(EntriesReached(a->size()), EntriesReached(b->size()));
    const FileEntries left = ReadReachedEntries(*a, count);
    const FileEntries right = ReadReachedEntries(*b, count);

    Json differences = Json::array();
    std::string text;
    int found = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const HueEntry &x = left.entries[i];
        const HueEntry &y = right.entries[i];
        const bool xWhole = left.whole[i];
        const bool yWhole = right.whole[i];
        // Bytes compare only where both files hold the whole entry; elsewhere only states do,
        // and where one file lacks the entry, its state says all: zeroes are not its contents.
        if (xWhole == yWhole && (!xWhole || SameBytes(x, y)))
            continue;
        ++found;
        const int n = static_cast<int>(i) + 1;
        if (request.json)
            differences.push_back(DifferenceAsJson(n, x, xWhole, y, yWhole));
        else
            AppendDifference(text, n, x, xWhole, y, yWhole);
    }
    if (request.json)
        text = differences.dump(2) + '\n';
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return found ? ExitDifferent : ExitSame;
}

// "  12  0.0312  name": the entry, its distance in OKLab ΔE, its name.
CommandResult RunFindNear(const FindRequest &request, std::ostream &out)
{
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading, LockWait);
    if (!file)
        return About(request.file, file.error());
    const FileEntries all = ReadReachedEntries(*file, EntriesReached(file->size()));
    const std::vector<RankedEntry> ranked =
        RankByColour(all.entries, all.whole, *request.nearColour, request.measure);
    const std::size_t shown = std::min(ranked.size(), static_cast<std::size_t>(request.count));
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        AppendPadded(text, Digits(ranked[i].entry).view(), 4);
        char distance[24];
        std::snprintf(distance, sizeof distance, "  %.4f  ", ranked[i].distance);
        text += distance;
        AppendPrintable(text,
                        NameBytes(all.entries[static_cast<std::size_t>(ranked[i].entry - 1)]));
        text += '\n';
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return ExitSame;
}

CommandResult RunFind(const FindRequest &request, std::ostream &out)
{
    if (request.nearColour)
        return RunFindNear(request, out);
    std::string needle;
    if (request.text) {
        const Expected<std::string> latin1 = NameFromUtf8(*request.text);
        if (!latin1)
            return About(Excerpt(*request.text), latin1.error());
        needle = Folded(*latin1);
    }
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading, LockWait);
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
    std::string text;
    for (int i = 0; i < reached; ++i) {
        const HueEntry &entry = all.entries[static_cast<std::size_t>(i)];
        const EntryState state = StateOf(entry, all.whole[static_cast<std::size_t>(i)]);
        if (request.empty && state != EntryState::Used)
            addFree(i + 1, i + 1, state);
        if (!request.empty && state != EntryState::Missing &&
            Folded(StoredName(entry)).find(needle) != std::string::npos)
            AppendEntryLine(text, std::to_string(i + 1), state, entry);
    }
    if (request.empty && reached < MaxEntryNumber)
        addFree(reached + 1, MaxEntryNumber, EntryState::Missing);
    for (const Run &run : free) {
        const std::string first = std::to_string(run.first);
        AppendEntryLine(text,
                        run.first == run.last ? first : first + ".." + std::to_string(run.last),
                        run.state, HueEntry{});
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return ExitSame;
}

void AddListCommand(CLI::App &app, ChosenCommand &chosen)
{
    // The parser keeps the text until it prints the help, so it must outlive this call.
    static const std::string detail =
        "Lists every entry up to the last one the file reaches, whole or in part, "
        "with its state: used; empty when " +
        std::string(EmptyEntryRule) +
        "; missing when only part of it is in the file. Entries past the end are not listed.";
    AddSubcommand(
        app, "list", "Number, state and name of every entry in the file", detail.c_str(),
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<ListRequest>();
            command.add_option("FILE", request->file, "Hue file")->required();
            command.add_flag("--json", request->json, "A json array of {entry, state, name}");
            command.callback([request, &chosen] {
                chosen.run = [request](std::ostream &out) { return RunList(*request, out); };
            });
        });
}

void AddShowCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "show", "The colours, name and carried bytes of one entry",
        "Shows the 32 colours as #rrggbb and as the stored words in hexadecimal "
        "(bit 15 included), the name and the 4 carried bytes; on a terminal also a "
        "line of colour swatches.",
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<ShowRequest>();
            const auto entry = std::make_shared<std::string>();
            command.add_option("FILE", request->file, "Hue file")->required();
            command.add_option("N", *entry, "Entry number")->required()->check(EntryNumber);
            command.add_flag("--json", request->json, "The entry as the json export writes it");
            command.callback([request, entry, &chosen] {
                request->entry = RangeOf(*entry).first;
                request->swatches = StandardStreamIsTerminal(StandardOutput);
                chosen.run = [request](std::ostream &out) { return RunShow(*request, out); };
            });
        });
}

void AddDiffCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "diff", "The entries in which two hue files differ",
        "Lists the entries whose 88 bytes differ, or that only one file holds whole, with both "
        "names and the colour slots (0-31) that differ. With --patch, writes instead the patch "
        "that turns A into B, for apply. Exit status 1 when any entry differs.",
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<DiffRequest>();
            const auto output = std::make_shared<std::string>();
            command.add_option("A", request->first, "Hue file")->required();
            command.add_option("B", request->second, "Hue file")->required();
            CLI::Option *json =
                command.add_flag("--json", request->json, "A json array of differences");
            CLI::Option *patch =
                command.add_flag("--patch", request->patch, "A patch (*.huepatch) from A to B")
                    ->excludes(json);
            CLI::Option *outputOption =
                command
                    .add_option("-o,--output", *output,
                                "Patch file, written whole or not at all; an existing one only "
                                "when named *.huepatch; - or none for standard output")
                    ->needs(patch);
            command.callback([request, output, outputOption, &chosen] {
                if (outputOption->count() && *output != StandardStreamName)
                    request->output = *output;
                chosen.writesStandardOutput = !request->output;
                chosen.run = [request](std::ostream &out) { return RunDiff(*request, out); };
            });
        });
}

void AddFindCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "find", "Entries by name, by colour, or the free ones",
        "Lists the entries whose name contains TEXT, in any letter case; or with --empty the "
        "free ones: empty entries, entries only partly in the file, and those past its end as "
        "one range; or with --near the entries that look most like a colour, nearest first, "
        "each with its distance: the OKLab difference (ΔE) between the colour and the entry's "
        "closest colour, or with --mean the average over its 32 colours. Entries at the same "
        "distance keep their order; empty entries are left out. The colour is #rrggbb, or "
        "rrggbb, which a shell does not take for a comment.",
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<FindRequest>();
            const auto text = std::make_shared<std::string>();
            const auto nearText = std::make_shared<std::string>();
            command.add_option("FILE", request->file, "Hue file")->required();
            CLI::Option_group *what = command.add_option_group("what", "TEXT, --empty or --near");
            CLI::Option *textOption = what->add_option("TEXT", *text, "Text to look for");
            what->add_flag("--empty", request->empty, "Free entries");
            CLI::Option *nearOption =
                what->add_option("--near", *nearText, "Colour to look for: #rrggbb or rrggbb")
                    ->check(ColourText);
            what->require_option(1);
            command
                .add_option("--count", request->count,
                            "How many of the nearest entries to list (default 10)")
                ->check(CLI::Range(1, MaxEntryNumber))
                ->needs(nearOption);
            CLI::Option *mean =
                command.add_flag("--mean", "Rank by the mean distance of all 32 colours")
                    ->needs(nearOption);
            command.callback([request, text, textOption, nearText, nearOption, mean, &chosen] {
                if (textOption->count())
                    request->text = *text;
                if (nearOption->count())
                    request->nearColour = *ColourFromText(*nearText);
                if (mean->count())
                    request->measure = ColourMeasure::Mean;
                chosen.run = [request](std::ostream &out) { return RunFind(*request, out); };
            });
        });
}
