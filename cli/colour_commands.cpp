// The subcommands that rework a run of one entry's colours: spread and reverse.
#include "cli/command_support.h"
#include "cli/subcommand.h"

#include "huefile/colour.h"
#include "huefile/formats/entry_name.h"
#include "huefile/number_text.h"

#include <memory>

namespace {

std::string ChannelsText(DisplayColour colour)
{
    return " R" + std::to_string(RedOf(colour)) + " G" + std::to_string(GreenOf(colour)) + " B" +
           std::to_string(BlueOf(colour));
}

std::string SlotText(int slot)
{
    return "#" + std::to_string(slot);
}

// The window's log line for the same operation.
std::string RunLine(const RunRequest &request, const HueEntry &before)
{
    const int lower = request.run.first;
    const int upper = request.run.second;
    if (request.operation == RunRequest::Reverse)
        return "REVERSE   " + SlotText(lower) + " .. " + SlotText(upper);
    return "DEF RANGE " + SlotText(lower) + ChannelsText(HueToDisplay(before, lower)) + " .. " +
           SlotText(upper) + ChannelsText(HueToDisplay(before, upper)) +
           (request.space == SpreadSpace::Oklab ? " OKLAB" : "");
}

std::string SlotRangeProblem(const std::string &text)
{
    const auto range = SlotRangeFromText(text);
    return range ? std::string() : range.error();
}

const CLI::Validator SlotRange(SlotRangeProblem, "A..B", "colour slots");

} // namespace

Expected<int> SlotFromText(std::string_view text)
{
    const std::optional<std::int32_t> value = NumberText(text);
    if (!value)
        return Fail("\"" + Excerpt(text) + "\" is no colour slot");
    if (*value < 0 || *value >= HueColourCount)
        return Fail(std::to_string(*value) + " is no colour slot (0 to 31)");
    return static_cast<int>(*value);
}

Expected<std::pair<int, int>> SlotRangeFromText(std::string_view text)
{
    const std::size_t dots = text.find("..");
    if (dots == std::string_view::npos)
        return Fail("\"" + Excerpt(text) + "\" is no run of colour slots (A..B)");
    const Expected<int> first = SlotFromText(text.substr(0, dots));
    if (!first)
        return Fail(first.error());
    const Expected<int> last = SlotFromText(text.substr(dots + 2));
    if (!last)
        return Fail(last.error());
    if (*last < *first)
        return Fail("the run " + Excerpt(text) + " runs backwards");
    return std::make_pair(*first, *last);
}

// The entry must be whole in the file: an operation on the colours of a record that is not
// there would invent them.
CommandResult RunRunOperation(const RunRequest &request, std::ostream &out)
{
    const auto [lower, upper] = request.run;
    const int least = request.operation == RunRequest::Spread ? 2 : 1;
    if (upper - lower < least)
        return About(std::to_string(lower) + ".." + std::to_string(upper),
                     "a run of " + std::to_string(upper - lower + 1) +
                         (upper == lower ? " colour; " : " colours; ") +
                         (least == 2 ? "a spread needs 3 or more" : "a reverse needs 2 or more"));
    Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Update, LockWait);
    if (!file)
        return About(request.file, file.error());
    const Expected<HueEntry> before = WholeEntry(*file, request.file, request.entry);
    if (!before)
        return Fail(before.error());
    HueEntry after = *before;
    if (request.operation == RunRequest::Spread)
        SpreadRun(after, lower, upper, request.space);
    else
        ReverseRun(after, lower, upper);
    if (const Expected<void> written = WriteOneEntry(*file, request.entry, after, CliFlushes);
        !written)
        return About(request.file,
                     CopyFailure(request.entry, written.error()) + "; it is as it was");
    out << RunLine(request, *before) << "\n";
    return ExitSame;
}

namespace {

void AddRunCommand(CLI::App &app, ChosenCommand &chosen, RunRequest::Operation operation)
{
    const bool spread = operation == RunRequest::Spread;
    AddSubcommand(
        app, spread ? "spread" : "reverse",
        spread ? "A gradient over a run of an entry's colours"
               : "Reverses a run of an entry's colours",
        spread ? "Fills the colours of entry N from slot A to slot B (0 to 31) with a gradient "
                 "between the two ends and prints the window's log line for it. --space rgb "
                 "(the default) writes what the window's \"Spread is fine\" writes: slots A to "
                 "B - 1, each channel moving linearly and truncated to 5 bits, slot B kept. "
                 "--space oklab interpolates in the OKLab colour space, each channel rounded "
                 "to the nearest 5-bit value, and keeps both ends. The entry must be whole in "
                 "FILE."
               : "Reverses the order of the colours of entry N from slot A to slot B (0 to 31), "
                 "each word whole, and prints the window's log line for it. The entry must be "
                 "whole in FILE.",
        [&chosen, operation, spread](CLI::App &command) {
            struct Arguments {
                RunRequest request;
                std::string entry;
                std::string run;
                std::string space = "rgb";
            };
            const auto arguments = std::make_shared<Arguments>();
            arguments->request.operation = operation;
            command.add_option("FILE", arguments->request.file, "Hue file (must exist)")
                ->required();
            command.add_option("N", arguments->entry, "Entry number")
                ->required()
                ->check(EntryNumber);
            command.add_option("A..B", arguments->run, "Colour slots, 0 to 31")
                ->required()
                ->check(SlotRange);
            if (spread)
                command.add_option("--space", arguments->space, "rgb (default) or oklab")
                    ->check(CLI::IsMember({"rgb", "oklab"}, CLI::ignore_case));
            command.callback([arguments, &chosen] {
                RunRequest &request = arguments->request;
                request.entry = RangeOf(arguments->entry).first;
                request.run = *SlotRangeFromText(arguments->run);
                request.space = CLI::detail::to_lower(arguments->space) == "oklab"
                                    ? SpreadSpace::Oklab
                                    : SpreadSpace::Rgb;
                chosen.change =
                    request.file + ": entry " + std::to_string(request.entry) + " was changed";
                chosen.run = [arguments](std::ostream &out) {
                    return RunRunOperation(arguments->request, out);
                };
            });
        });
}

} // namespace

void AddSpreadCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddRunCommand(app, chosen, RunRequest::Spread);
}

void AddReverseCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddRunCommand(app, chosen, RunRequest::Reverse);
}
