#include "cli/subcommand.h"

#include "huefile/formats/colour_text.h"
#include "huefile/formats/entry_name.h"
#include "huefile/number_text.h"

namespace {

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

std::string ColourProblem(const std::string &text)
{
    const Expected<DisplayColour> colour = ColourFromText(text);
    return colour ? std::string() : colour.error();
}

} // namespace

const CLI::Validator EntryNumber(EntryNumberProblem, "N", "entry number");
const CLI::Validator Entries(EntryRangeProblem, "N[..M]", "entry range");
const CLI::Validator EntryName(NameProblem, "", "entry name");
const CLI::Validator ColourText(ColourProblem, "COLOUR", "colour");
const CLI::Validator Format = CLI::IsMember({"gpl", "pal", "hex", "json", "png"}, CLI::ignore_case);

const char *const CommonNotes =
    "Exit status: 0 on success (for diff: the same entries), 1 when diff finds a "
    "difference, apply a conflict or merge an unsettled conflict, 2 on a usage or data error "
    "or a standard output that is closed or fails, which is one line on standard error. No "
    "hue file is ever cut short, except back to the length it had before a write that failed "
    "or was interrupted, nor created except by new and merge -o; every entry is written whole "
    "or not at all, and a write that a kill or a power cut interrupts is rolled back by the "
    "next open of the file.";

void AddSubcommand(CLI::App &app, const char *name, const char *summary, const char *detail,
                   std::function<void(CLI::App &command)> addArguments)
{
    CLI::App *command = app.add_subcommand(name, summary);
    command->preparse_callback([&app, command, detail, addArguments](std::size_t) {
        const CLI::Option *help = app.get_help_ptr();
        command->set_help_flag(help->get_name(false, true), help->get_description());
        command->footer(std::string(detail) + "\n\n" + CommonNotes);
        addArguments(*command);
    });
}

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

EntryRange RangeOf(const std::string &text)
{
    return *EntryRangeFromText(text);
}
