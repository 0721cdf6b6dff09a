// The subcommands that write into hue files: import, copy and new.
#include "cli/command_support.h"
#include "cli/subcommand.h"

#include "huefile/entry_copy.h"
#include "huefile/formats/entry_name.h"
#include "huefile/number_text.h"
#include "huefile/output_file.h"

#include <algorithm>
#include <memory>

namespace {

// "entries 2996 .. 3000 are", or "entry 3000 is", for a note on entries skipped.
std::string EntriesAre(int first, int last)
{
    return first == last
               ? "entry " + std::to_string(first) + " is"
               : "entries " + std::to_string(first) + " .. " + std::to_string(last) + " are";
}

std::string SkippedByCopy(const CopyRequest &request)
{
    const CopyPlan plan = PlanCopy(request);
    if (plan.sourceLast == request.entries.last)
        return "";
    return request.source + ": " + EntriesAre(plan.sourceLast + 1, request.entries.last) +
           " not copied; targets end at entry " + std::to_string(MaxEntryNumber);
}

std::string SlotProblem(const std::string &text)
{
    const Expected<int> slot = SlotFromText(text);
    return slot ? std::string() : slot.error();
}

const CLI::Validator Slot(SlotProblem, "SLOT", "colour slot");

std::optional<int> IndexFromText(std::string_view text)
{
    const std::optional<std::int32_t> value = NumberText(text);
    if (!value || *value < 0)
        return std::nullopt;
    return *value;
}

const CLI::Validator Index(
    [](const std::string &text) {
        return IndexFromText(text) ? std::string()
                                   : "\"" + Excerpt(text) + "\" is no colour index (0 or more)";
    },
    "INDEX", "colour index");

} // namespace

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
    ImportOptions options = request.options;
    options.nameAdvice = "give another with --name, or keep the entry's with --keep-name";
    const Expected<ImportedPalette> imported = ImportPalette(*bytes, *format, current, options);
    if (!imported)
        return About(request.input, imported.error());
    if (const Expected<void> written =
            WriteOneEntry(*file, request.entry, imported->entry, CliFlushes);
        !written)
        return About(request.file,
                     CopyFailure(request.entry, written.error()) + "; it is as it was");
    const std::string summary = ImportSummary(*imported);
    out << "imported " << request.input << " into entry " << request.entry << ": \""
        << Printable(StoredName(imported->entry)) << "\""
        << (summary.empty() ? "" : " (" + summary + ")") << "\n";
    return ExitSame;
}

CommandResult RunRecover(const std::string &file, std::ostream &out)
{
    const Expected<int> putBack = RecoverHueFile(file, LockWait);
    if (!putBack)
        return About(file, putBack.error());
    if (*putBack == 0)
        out << file << ": no interrupted write\n";
    else
        out << file << ": " << EntriesText(static_cast<std::size_t>(*putBack)) << " put back\n";
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
    // Within one file the copy reads through its writer's open: a second open's shared hold
    // would keep the writer's lock away from this very process.
    const bool oneFile = SameFileOnDisk(request.source, request.target);
    Expected<HueFile> separateReadFile = Fail(std::string());
    if (!oneFile) {
        separateReadFile = OpenHueFile(request.source, HueFileUse::Reading, LockWait);
        if (!separateReadFile)
            return About(request.source, separateReadFile.error());
    }
    Expected<HueFile> writeFile = OpenHueFile(request.target, HueFileUse::Update, LockWait);
    if (!writeFile)
        return About(request.target, writeFile.error());
    const HueFile *readFile = oneFile ? &*writeFile : &*separateReadFile;

    const CopyPlan plan = PlanCopy(request);
    const int first = plan.sourceFirst;
    const int targetFrom = plan.targetFirst;
    if (!request.entries.isRange) {
        const Expected<void> written = CopyHueEntry(*readFile, *writeFile, first, targetFrom, CliFlushes);
        out << "GET ONE   " << first << "\nPUT ONE   " << targetFrom << '\n';
        if (!written)
            return About(request.target,
                         CopyFailure(targetFrom, written.error()) + "; it is as it was");
        return ExitSame;
    }

    const int targetTo = plan.targetLast;
    // Only where the copy stopped matters here; a list of every write, as an undo keeps it,
    // would grow to half a megabyte.
    int failed = targetFrom;
    const Expected<void> whole = CopyHueEntryRange(*readFile, *writeFile, first, plan.sourceLast,
                                                   targetFrom, targetTo, CliFlushes, nullptr,
                                                   &failed);
    out << "GET RANGE " << first << " .. " << plan.sourceLast << "\nPUT RANGE " << targetFrom
        << " .. " << targetTo << '\n';
    if (whole)
        return ExitSame;
    const std::string done = failed == targetFrom ? std::string("nothing was copied")
                                                  : std::to_string(targetFrom) + " .. " +
                                                        std::to_string(failed - 1) + " are copied";
    return About(request.target,
                 CopyFailure(failed, whole.error()) + " and the copy stopped there; " + done);
}

CommandResult RunNew(const NewRequest &request, std::ostream &out)
{
    const std::string bytes(
        static_cast<std::size_t>(EntryOffset(request.entries) + sizeof(HueEntry)), '\0');
    const Expected<void> made = CreateNewFile(request.file, bytes);
    if (!made)
        return About(request.file, made.error());
    out << "made " << request.file << " with " << request.entries << " empty entries\n";
    return ExitSame;
}

void AddImportCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "import", "A palette file into an entry",
        "Puts a palette's colours into entry N; an 8-bit channel v becomes v >> 3. A palette "
        "of 32 replaces all of them. Of a longer one the 32 from --from on are taken; fewer "
        "go to the slots from --at on and the entry keeps its other colours, but colours "
        "that would run past slot 31 refuse the import. Bit 15 of each word, the carried "
        "bytes and, for formats without a name (pal, hex, png), the name are kept from the "
        "entry; json carries its own. A name longer than 20 Latin-1 characters is cut there; "
        "one with other characters is refused unless --name gives another or --keep-name "
        "keeps the entry's. The report says which colours were taken where and whether the "
        "name was cut. An entry past the end of FILE extends it.",
        [&chosen](CLI::App &command) {
            struct Arguments {
                ImportRequest request;
                std::string entry;
                std::string format;
                std::string name;
                std::string at;
                std::string from;
            };
            const auto arguments = std::make_shared<Arguments>();
            command.add_option("FILE", arguments->request.file, "Hue file (must exist)")
                ->required();
            command.add_option("N", arguments->entry, "Entry number")
                ->required()
                ->check(EntryNumber);
            command
                .add_option("IN", arguments->request.input, "Palette file, or - for standard input")
                ->required();
            command
                .add_option("-f,--format", arguments->format,
                            "gpl, pal, hex, json or png (default: from IN's extension)")
                ->check(Format);
            CLI::Option *name = command.add_option("--name", arguments->name, "Name for the entry")
                                    ->check(EntryName);
            command
                .add_flag("--keep-name", arguments->request.options.keepName,
                          "Keep the entry's name whatever the palette holds")
                ->excludes(name);
            command
                .add_option("--at", arguments->at,
                            "Slot of the first colour of a palette of fewer than 32 (default 0)")
                ->check(Slot);
            command
                .add_option("--from", arguments->from,
                            "First of the palette's colours taken, counted from 0 (default 0)")
                ->check(Index);
            command.callback([arguments, name, &chosen] {
                ImportRequest &request = arguments->request;
                request.entry = RangeOf(arguments->entry).first;
                if (!arguments->at.empty())
                    request.options.at = *SlotFromText(arguments->at);
                if (!arguments->from.empty())
                    request.options.from = *IndexFromText(arguments->from);
                if (!arguments->format.empty())
                    request.format = FormatFromName(arguments->format);
                if (name->count())
                    request.options.name = arguments->name;
                chosen.change =
                    request.file + ": entry " + std::to_string(request.entry) + " was imported";
                chosen.run = [arguments](std::ostream &out) {
                    return RunImport(arguments->request, out);
                };
            });
        });
}

void AddCopyCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "copy", "Entries from one hue file to another, as the window copies",
        "Copies entry A, or A..B, to the same numbers or from --to on, ending at 3000 at most, "
        "and prints the window's log lines for the entries copied; the entries that would land "
        "past 3000 are named on standard error. Within one file a range moves as a block, "
        "whichever way it overlaps. A source entry not wholly in SRC is skipped; an entry past "
        "the end of DST extends it. When a write fails, the entries before it stay copied and "
        "the message says where the copy stopped.",
        [&chosen](CLI::App &command) {
            struct Arguments {
                CopyRequest request;
                std::string entries;
                std::string to;
            };
            const auto arguments = std::make_shared<Arguments>();
            command.add_option("SRC", arguments->request.source, "Hue file to read")->required();
            command.add_option("DST", arguments->request.target, "Hue file to write (must exist)")
                ->required();
            command.add_option("A", arguments->entries, "Entry number or range A..B")
                ->required()
                ->check(Entries);
            command.add_option("--to", arguments->to, "First target entry")->check(EntryNumber);
            command.callback([arguments, &chosen] {
                CopyRequest &request = arguments->request;
                request.entries = RangeOf(arguments->entries);
                if (!arguments->to.empty())
                    request.to = RangeOf(arguments->to).first;
                chosen.change = request.target + ": the copy was written";
                chosen.note = SkippedByCopy(request);
                chosen.run = [arguments](std::ostream &out) {
                    return RunCopy(arguments->request, out);
                };
            });
        });
}

void AddRecoverCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "recover", "Rolls back an interrupted write",
        "Every write first saves what it will overwrite in a journal beside FILE, and whoever "
        "opens the file next puts back a write that a kill or a power cut interrupted. On a file "
        "system that takes no locks nothing can tell such a journal from a write still under "
        "way, so there the file takes no writes until recover is run by hand, once no program "
        "is writing it. Says how many entries it put back, or that there was nothing to do.",
        [&chosen](CLI::App &command) {
            const auto file = std::make_shared<std::string>();
            command.add_option("FILE", *file, "Hue file to recover")->required();
            command.callback([file, &chosen] {
                chosen.change = *file + ": the interrupted write was rolled back";
                chosen.run = [file](std::ostream &out) { return RunRecover(*file, out); };
            });
        });
}

void AddNewCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "new", "A hue file of empty entries",
        "Makes FILE with N entries whose bytes are all zero, 3000 unless --entries says "
        "otherwise. FILE must not exist in any form, not even as a link or a pipe: new never "
        "replaces a file. The file appears whole or not at all.",
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<NewRequest>();
            command.add_option("FILE", request->file, "Hue file to make (must not exist)")
                ->required();
            command.add_option("--entries", request->entries, "Number of entries (1 to 3000)")
                ->check(CLI::Range(1, MaxEntryNumber));
            command.callback([request, &chosen] {
                chosen.change = request->file + ": the file was made";
                chosen.run = [request](std::ostream &out) { return RunNew(*request, out); };
            });
        });
}
