#include "app/command_line.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

constexpr const char *Usage = "colvane [-style NAME] [TOOLKIT OPTIONS] | --help | --version";

// The toolkit's own options, as it takes them with one dash or two; it removes them from the
// arguments when it starts.
constexpr std::string_view ToolkitOptionsWithValue[] = {
    "-style",         "-stylesheet", "-platform",        "-platformpluginpath",
    "-platformtheme", "-plugin",     "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle",  "-session",    "-display",         "-geometry",
    "-name",          "-title",      "-visual"};
constexpr std::string_view ToolkitFlags[] = {"-reverse", "-widgetcount", "-sync", "-nograb",
                                             "-dograb"};
// Options that carry their value after "=" in the same argument.
constexpr std::string_view ToolkitOptionsWithAttachedValue[] = {
    "-style=", "-stylesheet=", "-qmljsdebugger="};

const char *const Help =
    "Usage: colvane [-style NAME] [TOOLKIT OPTIONS]\n"
    "\n"
    "Opens one window on two hue files in the current folder: patch-hues.mul, the file to read\n"
    "from, and hues.mul, the file to write and edit. Either name can be changed in the window.\n"
    "\n"
    "Options:\n"
    "  -h, --help      Show this text and end\n"
    "  -v, --version   Show the version and end\n"
    "  -style NAME     Draw the window in another of the toolkit's styles, such as Fusion\n"
    "\n"
    "The toolkit's other options are passed on to it, among them -platform NAME,\n"
    "-display HOST:SCREEN, -geometry WxH+X+Y, -qwindowtitle TITLE and -reverse.\n"
    "colvane-cli does the same file work from a shell.\n";

template <std::size_t N> bool Among(const std::string_view (&names)[N], std::string_view name)
{
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool HasAttachedValue(std::string_view name)
{
    return std::any_of(
        std::begin(ToolkitOptionsWithAttachedValue), std::end(ToolkitOptionsWithAttachedValue),
        [name](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; });
}

int Refuse(std::ostream &err, const std::string &why)
{
    err << "colvane: " << why << "; usage: " << Usage << '\n';
    return 2;
}

} // namespace

std::optional<int> AnswerWithoutWindow(const std::vector<std::string> &arguments,
                                       const std::string &version, std::ostream &out,
                                       std::ostream &err)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            out << Help;
            return 0;
        }
        if (argument == "-v" || argument == "--version") {
            out << "colvane " << version << '\n';
            return 0;
        }
        std::string_view name = argument;
        if (name.substr(0, 2) == "--")
            name.remove_prefix(1);
        if (Among(ToolkitOptionsWithValue, name)) {
            if (++i == arguments.size())
                return Refuse(err, "option \"" + argument + "\" needs a value");
        } else if (!Among(ToolkitFlags, name) && !HasAttachedValue(name)) {
            return Refuse(err, (argument.substr(0, 1) == "-" ? "unknown option \""
                                                             : "unexpected argument \"") +
                                   argument + "\"");
        }
    }
    return std::nullopt;
}
