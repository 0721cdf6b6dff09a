#pragma once

#include "cli/commands.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <ostream>
#include <string>

// How each subcommand joins the program's parser: registered once, with a callback that, when
// the arguments name it, sets what runs once parsing is over.

// The subcommand the arguments chose, set up by its parser callback.
struct ChosenCommand {
    std::function<CommandResult(std::ostream &out)> run;
    // Only a run whose output goes to a file named by -o does without standard output.
    bool writesStandardOutput = true;
    // For a command that changes a hue file: "<file>: <what it did>", for when its report to
    // standard output is lost.
    std::string change;
    // Lines for standard error after a run that succeeded, each shown as one line.
    std::string note;
};

// Each adds one subcommand, in the order the program's help lists them.
void AddListCommand(CLI::App &app, ChosenCommand &chosen);
void AddShowCommand(CLI::App &app, ChosenCommand &chosen);
void AddExportCommand(CLI::App &app, ChosenCommand &chosen);
void AddImportCommand(CLI::App &app, ChosenCommand &chosen);
void AddCopyCommand(CLI::App &app, ChosenCommand &chosen);
void AddNewCommand(CLI::App &app, ChosenCommand &chosen);
void AddDiffCommand(CLI::App &app, ChosenCommand &chosen);
void AddFindCommand(CLI::App &app, ChosenCommand &chosen);
void AddPreviewCommand(CLI::App &app, ChosenCommand &chosen);
void AddApplyCommand(CLI::App &app, ChosenCommand &chosen);
void AddMergeCommand(CLI::App &app, ChosenCommand &chosen);
void AddTextconvCommand(CLI::App &app, ChosenCommand &chosen);
void AddSpreadCommand(CLI::App &app, ChosenCommand &chosen);
void AddReverseCommand(CLI::App &app, ChosenCommand &chosen);
void AddRecoverCommand(CLI::App &app, ChosenCommand &chosen);

// What the program's help and every subcommand's help end with.
extern const char *const CommonNotes;

// A subcommand whose help ends with what it does in detail, then the common notes.
// `addArguments` gives it its arguments and its callback, and it gets the program's help flag,
// but only once the command line names it: a run needs the arguments of one subcommand, and
// building every subcommand's took a tenth of the work of listing 3000 entries.
void AddSubcommand(CLI::App &app, const char *name, const char *summary, const char *detail,
                   std::function<void(CLI::App &command)> addArguments);

// Checkers of arguments; each refusal reads "<why>", which the parser's message quotes.
extern const CLI::Validator EntryNumber;
extern const CLI::Validator Entries;
extern const CLI::Validator EntryName;
extern const CLI::Validator Format;
extern const CLI::Validator ColourText;

// Only called on texts the checkers above let through.
EntryRange RangeOf(const std::string &text);
