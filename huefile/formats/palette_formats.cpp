#include "huefile/formats/palette_formats.h"

#include "huefile/colour.h"
#include "huefile/formats/entry_name.h"
#include "huefile/formats/palette_parts.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int MaxChannelByte = 255;

std::string LowerCase(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

struct Line {
    int number;
    std::string_view text;
};

// Lines without their line ends, LF or CRLF, numbered from 1 for messages. A UTF-8 byte order
// mark, as some editors on Windows write one, is not part of the first line.
std::vector<Line> SplitLines(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    std::vector<Line> lines;
    int number = 1;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view text = bytes.substr(0, end);
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        lines.push_back({number++, text});
        if (end == std::string_view::npos)
            break;
        bytes.remove_prefix(end + 1);
    }
    return lines;
}

std::string AtLine(const Line &line, const std::string &why)
{
    return "line " + std::to_string(line.number) + ": " + why;
}

std::string Quoted(std::string_view text)
{
    return "\"" + Excerpt(text) + "\"";
}

// Three whole numbers from 0 to 255 separated by blanks, then whatever follows (a colour name).
Expected<Rgb> ChannelsAtStart(const Line &line)
{
    int values[3] = {};
    std::string_view rest = line.text;
    for (int &value : values) {
        rest = Trimmed(rest);
        const char *end = rest.data() + rest.size();
        const auto [stop, error] = std::from_chars(rest.data(), end, value);
        if (error != std::errc() || (stop != end && !IsBlank(*stop)))
            return Fail(AtLine(line, Quoted(line.text) + " is no colour (R G B)"));
        if (value < 0 || value > MaxChannelByte)
            return Fail(AtLine(line, std::to_string(value) + " is no colour value (0 to 255)"));
        rest.remove_prefix(static_cast<std::size_t>(stop - rest.data()));
    }
    return Rgb{values[0], values[1], values[2]};
}

std::string ChannelsText(HueColour word)
{
    const Rgb rgb = RgbOf(word);
    char text[16];
    std::snprintf(text, sizeof text, "%d %d %d", rgb.red, rgb.green, rgb.blue);
    return text;
}

// GIMP writes each channel right-aligned in three columns and names the colour after it.
Expected<std::string> WriteGpl(const HueEntry &entry)
{
    const std::string name = StoredName(entry);
    if (name.find_first_of("\r\n") != std::string::npos)
        return Fail("the name holds a line break, which a gpl file cannot hold");
    std::string text = "GIMP Palette\nName: " + Latin1ToUtf8(name) + "\nColumns: 32\n";
    for (int slot = 0; slot < HueColourCount; ++slot) {
        const Rgb rgb = RgbOf(entry.colours[slot]);
        char line[32];
        std::snprintf(line, sizeof line, "%3d %3d %3d\t#%d\n", rgb.red, rgb.green, rgb.blue, slot);
        text += line;
    }
    return text;
}

// Header fields ("Name:", "Columns:", and any a newer tool adds) are lines that start with a
// letter and hold a colon; comments start with '#'. The name is what follows "Name:" and one
// space, kept as written so that names ending in blanks come back whole.
Expected<ParsedPalette> ParseGpl(std::string_view bytes)
{
    const std::vector<Line> lines = SplitLines(bytes);
    if (lines.empty() || Trimmed(lines.front().text) != "GIMP Palette")
        return Fail("not a GIMP palette: the first line is not \"GIMP Palette\"");
    ParsedPalette palette;
    for (auto line = lines.begin() + 1; line != lines.end(); ++line) {
        const std::string_view text = Trimmed(line->text);
        if (text.empty() || text.front() == '#')
            continue;
        if (std::isalpha(static_cast<unsigned char>(text.front())) &&
            text.find(':') != std::string_view::npos) {
            if (line->text.substr(0, 5) == "Name:") {
                std::string_view name = line->text.substr(5);
                if (!name.empty() && name.front() == ' ')
                    name.remove_prefix(1);
                palette.name = std::string(name);
            }
            continue;
        }
        const Expected<Rgb> rgb = ChannelsAtStart(*line);
        if (!rgb)
            return Fail(rgb.error());
        palette.colours.push_back(*rgb);
    }
    return palette;
}

Expected<std::string> WritePal(const HueEntry &entry)
{
    std::string text = "JASC-PAL\r\n0100\r\n32\r\n";
    for (const HueColour word : entry.colours)
        text += ChannelsText(word) + "\r\n";
    return text;
}

// The count line must agree with the colour lines that follow it; blank lines count for
// nothing, so a file that ends in an empty line still reads.
Expected<ParsedPalette> ParsePal(std::string_view bytes)
{
    std::vector<Line> lines = SplitLines(bytes);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const Line &line) { return Trimmed(line.text).empty(); }),
                lines.end());
    if (lines.size() < 3 || Trimmed(lines[0].text) != "JASC-PAL")
        return Fail("not a JASC palette: the first line is not \"JASC-PAL\"");
    if (Trimmed(lines[1].text) != "0100")
        return Fail(
            AtLine(lines[1], "version " + Quoted(Trimmed(lines[1].text)) + ", only 0100 is known"));
    const std::string_view countText = Trimmed(lines[2].text);
    std::size_t declared = 0;
    const auto [stop, error] =
        std::from_chars(countText.data(), countText.data() + countText.size(), declared);
    if (error != std::errc() || stop != countText.data() + countText.size())
        return Fail(AtLine(lines[2], Quoted(countText) + " is no colour count"));
    ParsedPalette palette;
    for (auto line = lines.begin() + 3; line != lines.end(); ++line) {
        const Expected<Rgb> rgb = ChannelsAtStart(*line);
        if (!rgb)
            return Fail(rgb.error());
        palette.colours.push_back(*rgb);
    }
    if (palette.colours.size() != declared)
        return Fail("the header says " + std::to_string(declared) + " colours, but " +
                    std::to_string(palette.colours.size()) + " follow");
    return palette;
}

Expected<std::string> WriteHex(const HueEntry &entry)
{
    std::string text;
    for (const HueColour word : entry.colours) {
        const Rgb rgb = RgbOf(word);
        char line[16];
        std::snprintf(line, sizeof line, "%02x%02x%02x\n", rgb.red, rgb.green, rgb.blue);
        text += line;
    }
    return text;
}

Expected<ParsedPalette> ParseHex(std::string_view bytes)
{
    ParsedPalette palette;
    for (const Line &line : SplitLines(bytes)) {
        const std::string_view text = Trimmed(line.text);
        if (text.empty())
            continue;
        const std::optional<Rgb> rgb = RgbFromHex(text);
        if (!rgb)
            return Fail(AtLine(line, Quoted(text) + " is no colour (rrggbb)"));
        palette.colours.push_back(*rgb);
    }
    return palette;
}

} // namespace

Expected<ParsedPalette> ParsePalette(std::string_view bytes, PaletteFormat format)
{
    switch (format) {
    case PaletteFormat::Gpl:
        return ParseGpl(bytes);
    case PaletteFormat::Pal:
        return ParsePal(bytes);
    case PaletteFormat::Hex:
        return ParseHex(bytes);
    case PaletteFormat::Json:
        return ParseJson(bytes);
    case PaletteFormat::Png:
        return ParsePng(bytes);
    }
    return Fail("unknown format");
}

namespace {

HueColour WordOf(const Rgb &rgb, HueColour replaced)
{
    const DisplayColour shown = static_cast<DisplayColour>(rgb.red) +
                                static_cast<DisplayColour>(rgb.green) * 256 +
                                static_cast<DisplayColour>(rgb.blue) * 65536;
    return static_cast<HueColour>((replaced & 0x8000) | DisplayToHue(shown));
}

std::string Colours(int count)
{
    return std::to_string(count) + (count == 1 ? " colour" : " colours");
}

// Which of the palette's colours are taken and where they go. Of a palette of 32 or more a
// window of 32 fills the entry; fewer go to consecutive slots from options.at and must end by
// slot 31, since colours silently left out would be colours the user never sees missing.
Expected<ImportedPalette> Placement(int count, const ImportOptions &options)
{
    if (count == 0)
        return Fail("the palette holds no colour");
    if (options.from < 0 || options.from >= count)
        return Fail("the palette holds " + Colours(count) + " (0-" + std::to_string(count - 1) +
                    "), none from " + std::to_string(options.from) + " on");
    if (options.at < 0 || options.at >= HueColourCount)
        return Fail(std::to_string(options.at) + " is no colour slot (0 to 31)");
    ImportedPalette placed;
    placed.count = count;
    placed.from = options.from;
    placed.taken = std::min(HueColourCount, count - options.from);
    placed.at = placed.taken == HueColourCount ? 0 : options.at;
    if (placed.at + placed.taken > HueColourCount)
        return Fail(Colours(placed.taken) + " from slot " + std::to_string(placed.at) +
                    " run past slot 31; they fit from slot " +
                    std::to_string(HueColourCount - placed.taken) + " or lower");
    return placed;
}

// A palette's name too long for an entry is cut rather than refused, since the colours are
// what an import is for; a character the entry cannot hold at all still refuses it.
Expected<std::pair<std::string, bool>> NameToStore(const ParsedPalette &palette,
                                                   const ImportOptions &options)
{
    if (options.name) {
        const Expected<std::string> name = NameFromUtf8(*options.name);
        if (!name)
            return Fail(name.error());
        return std::make_pair(*name, false);
    }
    Expected<std::string> name = Latin1NameFromUtf8(*palette.name);
    if (!name)
        return Fail(name.error() + (options.nameAdvice.empty() ? "" : "; " + options.nameAdvice));
    const bool cut = name->size() > static_cast<std::size_t>(HueNameLength);
    return std::make_pair(name->substr(0, HueNameLength), cut);
}

// A name equal to the stored one leaves all 20 bytes alone, the bytes after its terminator
// included, so that an export read back changes no byte of the entry.
Expected<ImportedPalette> Apply(const ParsedPalette &palette, const HueEntry &current,
                                const ImportOptions &options)
{
    const std::size_t count = palette.words ? palette.words->size() : palette.colours.size();
    Expected<ImportedPalette> placed =
        Placement(static_cast<int>(std::min<std::size_t>(count, INT_MAX)), options);
    if (!placed)
        return placed;
    ImportedPalette &imported = *placed;
    imported.entry = current;
    for (int i = 0; i < imported.taken; ++i) {
        const auto index = static_cast<std::size_t>(imported.from + i);
        HueColour &word = imported.entry.colours[imported.at + i];
        word = palette.words ? (*palette.words)[index] : WordOf(palette.colours[index], word);
    }
    if (palette.carried)
        std::copy(palette.carried->begin(), palette.carried->end(), imported.entry.carried);

    if (options.name || (palette.name && !options.keepName)) {
        const auto name = NameToStore(palette, options);
        if (!name)
            return Fail(name.error());
        imported.nameCut = name->second;
        if (name->first != StoredName(current))
            StoreName(imported.entry, name->first);
    }
    return placed;
}

} // namespace

std::string ImportSummary(const ImportedPalette &imported)
{
    std::vector<std::string> parts;
    if (imported.taken < imported.count)
        parts.push_back(Colours(imported.count) + ", " + std::to_string(imported.from) + "-" +
                        std::to_string(imported.from + imported.taken - 1) + " taken");
    else if (imported.count != HueColourCount)
        parts.push_back(Colours(imported.count));
    if (imported.taken < HueColourCount) {
        const int last = imported.at + imported.taken - 1;
        parts.push_back("into #" + std::to_string(imported.at) +
                        (last > imported.at ? " .. #" + std::to_string(last) : ""));
    }
    if (imported.nameCut)
        parts.push_back("name cut to " + std::to_string(HueNameLength) + " characters");
    std::string summary;
    for (const std::string &part : parts)
        summary += (summary.empty() ? "" : ", ") + part;
    return summary;
}

Rgb RgbOf(HueColour word)
{
    const DisplayColour shown = HueWordToDisplay(word);
    return {static_cast<int>(shown & 0xFF), static_cast<int>((shown >> 8) & 0xFF),
            static_cast<int>((shown >> 16) & 0xFF)};
}

std::string CountError(std::size_t count, const char *what)
{
    return std::to_string(count) + " " + what + ", an entry holds " +
           std::to_string(HueColourCount);
}

std::string HexBytes(const std::uint8_t *bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> BytesFromHex(std::string_view text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const char *first = text.data() + i;
        unsigned value = 0;
        const auto [stop, error] = std::from_chars(first, first + 2, value, 16);
        if (error != std::errc() || stop != first + 2)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

std::optional<Rgb> RgbFromHex(std::string_view text)
{
    if (!text.empty() && text.front() == '#')
        text.remove_prefix(1);
    const auto bytes = text.size() == 6 ? BytesFromHex(text) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    return Rgb{(*bytes)[0], (*bytes)[1], (*bytes)[2]};
}

std::string PaletteTooLargeReason()
{
    return "too large for a palette (more than " + std::to_string(MaxPaletteFileSize) + " bytes)";
}

std::string FormatName(PaletteFormat format)
{
    switch (format) {
    case PaletteFormat::Gpl:
        return "gpl";
    case PaletteFormat::Pal:
        return "pal";
    case PaletteFormat::Hex:
        return "hex";
    case PaletteFormat::Json:
        return "json";
    case PaletteFormat::Png:
        return "png";
    }
    return "";
}

std::optional<PaletteFormat> FormatFromName(std::string_view name)
{
    const std::string lower = LowerCase(name);
    for (const PaletteFormat format : AllPaletteFormats) {
        if (FormatName(format) == lower)
            return format;
    }
    return std::nullopt;
}

std::optional<PaletteFormat> FormatFromExtension(std::string_view fileName)
{
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    return FormatFromName(fileName.substr(dot + 1));
}

Expected<std::string> ExportEntry(const HueEntry &entry, int entryNumber, PaletteFormat format,
                                  const ExportOptions &options)
{
    switch (format) {
    case PaletteFormat::Gpl:
        return WriteGpl(entry);
    case PaletteFormat::Pal:
        return WritePal(entry);
    case PaletteFormat::Hex:
        return WriteHex(entry);
    case PaletteFormat::Json:
        return WriteJson({{entryNumber, entry}}, false);
    case PaletteFormat::Png:
        return WritePng(entry, options.scale);
    }
    return Fail("unknown format");
}

Expected<std::string> ExportEntries(const std::vector<NumberedEntry> &entries, PaletteFormat format,
                                    const ExportOptions &options)
{
    if (format == PaletteFormat::Json)
        return WriteJson(entries, true);
    if (entries.size() != 1)
        return Fail("a " + FormatName(format) + " file holds one entry, not " +
                    std::to_string(entries.size()) + "; json holds several");
    return ExportEntry(entries.front().entry, entries.front().number, format, options);
}

Expected<ImportedPalette> ImportPalette(std::string_view bytes, PaletteFormat format,
                                        const HueEntry &current, const ImportOptions &options)
{
    const Expected<ParsedPalette> palette = ParsePalette(bytes, format);
    if (!palette)
        return Fail(palette.error());
    return Apply(*palette, current, options);
}

Expected<HueEntry> ImportEntry(std::string_view bytes, PaletteFormat format,
                               const HueEntry &current, const ImportOptions &options)
{
    const Expected<ImportedPalette> imported = ImportPalette(bytes, format, current, options);
    if (!imported)
        return Fail(imported.error());
    return imported->entry;
}
