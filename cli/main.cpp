// colvane-cli: the window's file work without the window. CLI11 owns usage, --help and the
// checks of every argument; each subcommand, registered by its group's file, then runs one
// function of cli/commands.h.
#include "cli/subcommand.h"
#include "huefile/arguments.h"
#include "huefile/file_notices.h"
#include "huefile/formats/entry_name.h"
#include "huefile/hue_file.h"
#include "huefile/standard_streams.h"
#include "huefile/system_file.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace {

constexpr const char *ProgramName = "colvane-cli";

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

// Nothing of the run reaches standard output before the run is over, so that a failure to
// write it can be told apart from the run's own, and told with what the run changed.
int Finish(const ChosenCommand &command, const CommandResult &result, const std::string &output)
{
    const Expected<void> shown = WriteWhole(StandardOutput, output);
    if (!result)
        return Trouble(result.error());
    if (!shown && command.change.empty())
        return Trouble("standard output: " + shown.error());
    if (!shown)
        return Trouble(command.change + ", but reporting it on standard output failed (" +
                       shown.error() + ")");
    std::istringstream notes(command.note);
    for (std::string line; std::getline(notes, line);)
        Tell(line);
    return *result;
}

} // namespace

int main(int argc, char **argv)
{
    const bool outputClosed = StandardStreamClosed(StandardOutput);
    OpenClosedStandardStreams();
    // Past a file-size limit a write then fails with a reason, instead of ending the program
    // with its temporary file left behind.
    IgnoreFileSizeSignal();
    // What the file layer tells without failing (a write rolled back at the open, a file
    // system without locks) is one line on standard error, as an error is, and changes neither
    // the exit status nor standard output.
    SetNoticeListener([](const FileNotice &notice) { Tell(notice.fileName + ": " + notice.text); });
    CLI::App app(
        "Lists, shows, exports, imports, copies, makes, spreads, reverses, compares, patches, "
        "merges and "
        "searches the entries of hue files. Entry numbers run from 1 to 3000; a range is A..B; "
        "colour slots run from 0 to 31.",
        ProgramName);
    // A name that starts with a slash is a file, as on Linux, never an option.
    app.allow_windows_style_options(false);
    // A subcommand is made with a copy of its parent's help flag and footer, which cost more
    // than the rest of making it; it gets them once the command line names it.
    const CLI::Option *help = app.get_help_ptr();
    const std::string helpNames = help->get_name(false, true);
    const std::string helpText = help->get_description();
    app.set_help_flag();
    ChosenCommand chosen;
    for (const auto add :
         {AddListCommand, AddShowCommand, AddExportCommand, AddImportCommand, AddCopyCommand,
          AddNewCommand, AddSpreadCommand, AddReverseCommand, AddDiffCommand, AddFindCommand,
          AddPreviewCommand, AddApplyCommand, AddMergeCommand, AddTextconvCommand,
          AddRecoverCommand})
        add(app, chosen);
    app.set_help_flag(helpNames, helpText);
    app.set_version_flag("--version", std::string(ProgramName) + " " + COLVANE_VERSION);
    app.require_subcommand(1);
    app.footer(CommonNotes);

    try {
        Utf8Arguments arguments(argc, argv);
        app.parse(arguments.count(), arguments.values());
    } catch (const CLI::ParseError &error) {
        if (error.get_exit_code() == 0) {
            std::ostringstream text;
            app.exit(error, text, text);
            if (outputClosed)
                return Trouble("standard output: is closed");
            return Finish(ChosenCommand{}, ExitSame, text.str());
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
