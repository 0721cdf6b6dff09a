// colvane-cli: the window's file work without the window. CLI11 owns usage, --help and the
// checks of every argument; each subcommand then runs one function of cli/commands.h.
#include "cli/commands.h"
#include "huefile/arguments.h"
#include "huefile/formats/entry_name.h"
#include "huefile/hue_file.h"
#include "huefile/standard_streams.h"
#include "huefile/system_file.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string_view>

namespace {

constexpr const char *ProgramName = "colvane-cli";

// Each checker answers with the reason a text is refused, or with nothing.
std::string EntryRangeProblem(const std::string &text)
{
    const Expected<EntryRange> range = EntryRangeFromText(text);
    return range ? std::string() : range.error();
}

std::string EntryNumberProblem(const std::string &text)
{
    const Expected<EntryRange> range = EntryRangeFromText(text);
    if (!range)
        return range.error();
    return range->isRange ? "one entry, not a range" : std::string();
}

std::string NameProblem(const std::string &text)
{
    const Expected<std::string> name = NameFromUtf8(text);
    return name ? std::string() : name.error();
}

const CLI::Validator EntryNumber(EntryNumberProblem, "N", "entry number");
const CLI::Validator Entries(EntryRangeProblem, "N[..M]", "entry range");
const CLI::Validator EntryName(NameProblem, "", "entry name");
const CLI::Validator Format = CLI::IsMember({"gpl", "pal", "hex", "json", "png"}, CLI::ignore_case);

// Only called on texts the checkers above let through.
EntryRange RangeOf(const std::string &text)
{
    return *EntryRangeFromText(text);
}

// An error is one line on standard error whatever it quotes: a name read from a file may hold
// a line break, a terminal escape, an 8-bit control or bytes that are not UTF-8, which show as
// \xNN, byte by byte. Valid UTF-8 text shows as it is.
std::string OneLine(std::string_view text)
{
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    std::string line;
    while (!text.empty()) {
        const Utf8Character character = FirstUtf8Character(text);
        const std::size_t length = std::max<std::size_t>(1, character.length);
        const bool shown = character.length > 0 && character.value >= 0x20 &&
                           (character.value < 0x7F || character.value >= 0xA0);
        for (std::size_t i = 0; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            line += shown ? std::string(1, text[i]) : std::string(escaped);
        }
        text.remove_prefix(length);
    }
    return line;
}

void Tell(std::string_view what)
{
    WriteWhole(StandardError, std::string(ProgramName) + ": " + OneLine(what) + "\n");
}

int Trouble(std::string_view what)
{
    Tell(what);
    return ExitTrouble;
}

// The subcommand the arguments chose, set up by its parser callback.
struct Command {
    std::function<CommandResult(std::ostream &out)> run;
    // Only a run whose output goes to a file named by -o does without standard output.
    bool writesStandardOutput = true;
    // For a command that changes a hue file: "<file>: <what it did>", for when its report to
    // standard output is lost.
    std::string change;
    // A line for standard error after a run that succeeded.
    std::string note;
};

// Nothing of the run reaches standard output before the run is over, so that a failure to
// write it can be told apart from the run's own, and told with what the run changed.
int Finish(const Command &command, const CommandResult &result, const std::string &output)
{
    const std::string lost = WriteWhole(StandardOutput, output);
    if (!result)
        return Trouble(result.error());
    if (!lost.empty() && command.change.empty())
        return Trouble("standard output: " + lost);
    if (!lost.empty())
        return Trouble(command.change + ", but reporting it on standard output failed (" + lost +
                       ")");
    if (!command.note.empty())
        Tell(command.note);
    return *result;
}

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

} // namespace

int main(int argc, char **argv)
{
    const bool outputClosed = StandardStreamClosed(StandardOutput);
    OpenClosedStandardStreams();
    // Past a file-size limit a write then fails with a reason, instead of ending the program
    // with its temporary file left behind.
    IgnoreFileSizeSignal();
    CLI::App app("Lists, shows, exports, imports, copies, compares and searches the entries of "
                 "hue files. Entry numbers run from 1 to 3000; a range is A..B.",
                 ProgramName);
    app.set_version_flag("--version", std::string(ProgramName) + " " + COLVANE_VERSION);
    app.require_subcommand(1);
    // A name that starts with a slash is a file, as on Linux, never an option.
    app.allow_windows_style_options(false);
    const std::string common =
        "Exit status: 0 on success (for diff: the same entries), 1 when diff finds a "
        "difference, 2 on a usage or data error or a standard output that is closed or fails, "
        "which is one line on standard error. No hue file is ever created or truncated; "
        "every entry is written whole or not at all.";
    app.footer(common);
    // Each subcommand's help ends with what it does in detail, then the common notes.
    const auto command = [&](const char *name, const char *summary, const char *detail) {
        CLI::App *sub = app.add_subcommand(name, summary);
        sub->footer(std::string(detail) + "\n\n" + common);
        return sub;
    };

    // Each subcommand's callback sets what runs once parsing is over.
    Command chosen;

    ListRequest list;
    CLI::App *listCommand =
        command("list", "Number, state and name of every entry in the file",
                "Lists every entry up to the last one the file reaches, whole or in part, with "
                "its state: used; empty when all 88 bytes are zero; missing when only part of it "
                "is in the file. Entries past the end are not listed.");
    listCommand->add_option("FILE", list.file, "Hue file")->required();
    listCommand->add_flag("--json", list.json, "A json array of {entry, state, name}");
    listCommand->callback(
        [&] { chosen.run = [&](std::ostream &out) { return RunList(list, out); }; });

    ShowRequest show;
    std::string showEntry;
    CLI::App *showCommand =
        command("show", "The colours, name and carried bytes of one entry",
                "Shows the 32 colours as #rrggbb and as the stored words in hexadecimal (bit 15 "
                "included), the name and the 4 carried bytes; on a terminal also a line of "
                "colour swatches.");
    showCommand->add_option("FILE", show.file, "Hue file")->required();
    showCommand->add_option("N", showEntry, "Entry number")->required()->check(EntryNumber);
    showCommand->add_flag("--json", show.json, "The entry as the json export writes it");
    showCommand->callback([&] {
        show.entry = RangeOf(showEntry).first;
        show.swatches = StandardStreamIsTerminal(StandardOutput);
        chosen.run = [&](std::ostream &out) { return RunShow(show, out); };
    });

    ExportRequest exportRequest;
    std::string exportEntries;
    std::string exportFormat;
    std::string exportOutput;
    CLI::App *exportCommand =
        command("export", "An entry as a palette file",
                "Formats: gpl (GIMP palette), pal (JASC), hex (rrggbb lines), json (the name, "
                "colours, stored words and carried bytes), png (a strip of 32 cells). A range "
                "A..B exports only as json, an array of entries. Each 5-bit channel c is "
                "written as c * 8.");
    exportCommand->add_option("FILE", exportRequest.file, "Hue file")->required();
    exportCommand->add_option("N", exportEntries, "Entry number or range A..B")
        ->required()
        ->check(Entries);
    exportCommand->add_option("-f,--format", exportFormat, "gpl, pal, hex, json or png")
        ->required()
        ->check(Format);
    exportCommand->add_option("-o,--output", exportOutput,
                              "Output file, written whole or not at all; an existing one only "
                              "when named for the format; - or none for standard output");
    exportCommand
        ->add_option("--scale", exportRequest.options.scale, "Side of a png cell in pixels")
        ->check(CLI::Range(1, MaxPngScale))
        ->capture_default_str();
    exportCommand->callback([&] {
        exportRequest.entries = RangeOf(exportEntries);
        exportRequest.format = *FormatFromName(exportFormat);
        if (exportCommand->count("--output") && exportOutput != StandardStreamName)
            exportRequest.output = exportOutput;
        chosen.writesStandardOutput = !exportRequest.output;
        chosen.run = [&](std::ostream &out) { return RunExport(exportRequest, out); };
    });

    ImportRequest import;
    std::string importEntry;
    std::string importFormat;
    std::string importName;
    CLI::App *importCommand =
        command("import", "A palette file into an entry",
                "Replaces entry N with a palette of exactly 32 colours; an 8-bit channel v "
                "becomes v >> 3. Bit 15 of each word, the carried bytes and, for formats "
                "without a name (pal, hex, png), the name are kept from the entry; json "
                "carries its own. A name that does not fit 20 Latin-1 characters is refused "
                "unless --name gives another. An entry past the end of FILE extends it.");
    importCommand->add_option("FILE", import.file, "Hue file (must exist)")->required();
    importCommand->add_option("N", importEntry, "Entry number")->required()->check(EntryNumber);
    importCommand->add_option("IN", import.input, "Palette file, or - for standard input")
        ->required();
    importCommand
        ->add_option("-f,--format", importFormat,
                     "gpl, pal, hex, json or png (default: from IN's extension)")
        ->check(Format);
    importCommand->add_option("--name", importName, "Name for the entry")->check(EntryName);
    importCommand->callback([&] {
        import.entry = RangeOf(importEntry).first;
        if (!importFormat.empty())
            import.format = FormatFromName(importFormat);
        if (importCommand->count("--name"))
            import.options.name = importName;
        chosen.change = import.file + ": entry " + std::to_string(import.entry) + " was imported";
        chosen.run = [&](std::ostream &out) { return RunImport(import, out); };
    });

    CopyRequest copy;
    std::string copyEntries;
    std::string copyTo;
    CLI::App *copyCommand =
        command("copy", "Entries from one hue file to another, as the window copies",
                "Copies entry A, or A..B, to the same numbers or from --to on, ending at 3000 "
                "at most, and prints the window's log lines for the entries copied; the "
                "entries that would land past 3000 are named on standard error. Within one "
                "file a range moves as a block, whichever way it overlaps. A source entry not "
                "wholly in SRC is skipped; an entry past the end of DST extends it. When a "
                "write fails, the entries before it stay copied and the message says where the "
                "copy stopped.");
    copyCommand->add_option("SRC", copy.source, "Hue file to read")->required();
    copyCommand->add_option("DST", copy.target, "Hue file to write (must exist)")->required();
    copyCommand->add_option("A", copyEntries, "Entry number or range A..B")
        ->required()
        ->check(Entries);
    copyCommand->add_option("--to", copyTo, "First target entry")->check(EntryNumber);
    copyCommand->callback([&] {
        copy.entries = RangeOf(copyEntries);
        if (!copyTo.empty())
            copy.to = RangeOf(copyTo).first;
        chosen.change = copy.target + ": the copy was written";
        chosen.note = SkippedByCopy(copy);
        chosen.run = [&](std::ostream &out) { return RunCopy(copy, out); };
    });

    DiffRequest diff;
    CLI::App *diffCommand =
        command("diff", "The entries in which two hue files differ",
                "Lists the entries whose 88 bytes differ, or that only one file holds whole, "
                "with both names and the colour slots (0-31) that differ. Exit status 1 when "
                "any entry differs.");
    diffCommand->add_option("A", diff.first, "Hue file")->required();
    diffCommand->add_option("B", diff.second, "Hue file")->required();
    diffCommand->add_flag("--json", diff.json, "A json array of differences");
    diffCommand->callback(
        [&] { chosen.run = [&](std::ostream &out) { return RunDiff(diff, out); }; });

    FindRequest find;
    std::string findText;
    CLI::App *findCommand =
        command("find", "Entries by name, or the free ones",
                "Lists the entries whose name contains TEXT, in any letter case, or with "
                "--empty the free ones: empty entries, entries only partly in the file, and "
                "those past its end as one range.");
    findCommand->add_option("FILE", find.file, "Hue file")->required();
    CLI::Option_group *what = findCommand->add_option_group("what", "TEXT or --empty");
    CLI::Option *textOption = what->add_option("TEXT", findText, "Text to look for");
    what->add_flag("--empty", find.empty, "Free entries");
    what->require_option(1);
    findCommand->callback([&] {
        if (textOption->count())
            find.text = findText;
        chosen.run = [&](std::ostream &out) { return RunFind(find, out); };
    });

    PreviewRequest preview;
    std::string previewEntry;
    CLI::App *previewCommand =
        command("preview", "A picture recoloured by an entry, as the window's preview shows it",
                "Each grey pixel's 5-bit level (0 to 31) picks that colour of entry N; other "
                "pixels keep their colour, or with --whole are picked by their 5-bit "
                "luminance. Transparent pixels stay transparent. IMAGE is read as png, in any of "
                "its colour types and depths, and the result is written as png.");
    previewCommand->add_option("FILE", preview.file, "Hue file")->required();
    previewCommand->add_option("N", previewEntry, "Entry number")->required()->check(EntryNumber);
    previewCommand->add_option("IMAGE", preview.image, "Png picture to recolour")->required();
    previewCommand
        ->add_option("-o,--output", preview.output,
                     "Png file to write, an existing one only when named .png; - for standard "
                     "output")
        ->required();
    previewCommand->add_flag("--whole", preview.wholeImage, "Recolour every pixel");
    previewCommand->callback([&] {
        preview.entry = RangeOf(previewEntry).first;
        chosen.writesStandardOutput = preview.output == StandardStreamName;
        chosen.run = [&](std::ostream &out) { return RunPreview(preview, out); };
    });

    try {
        Utf8Arguments arguments(argc, argv);
        app.parse(arguments.count(), arguments.values());
    } catch (const CLI::ParseError &error) {
        if (error.get_exit_code() == 0) {
            std::ostringstream text;
            app.exit(error, text, text);
            if (outputClosed)
                return Trouble("standard output: is closed");
            return Finish(Command{}, ExitSame, text.str());
        }
        std::string where = "usage";
        for (const CLI::App *command : app.get_subcommands())
            where = command->get_name();
        // The parser's messages quote a refused argument whole.
        return Trouble(where + ": " + Excerpt(error.what(), 200));
    }

    if (outputClosed && chosen.writesStandardOutput)
        return Trouble("standard output: is closed; nothing was done");
    std::ostringstream out;
    try {
        const CommandResult result = chosen.run(out);
        return Finish(chosen, result, out.str());
    } catch (const std::exception &error) {
        return Trouble(std::string("internal error: ") + error.what());
    }
}
