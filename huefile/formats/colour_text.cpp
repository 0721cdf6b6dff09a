#include "huefile/formats/colour_text.h"

#include "huefile/formats/entry_name.h"
#include "huefile/formats/palette_parts.h"

#include <cctype>
#include <charconv>
#include <optional>

namespace {

constexpr int MaxChannelByte = 255;

DisplayColour ShownColour(const Rgb &rgb)
{
    return static_cast<DisplayColour>(rgb.red) + static_cast<DisplayColour>(rgb.green) * 256 +
           static_cast<DisplayColour>(rgb.blue) * 65536;
}

bool IsSeparator(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ';';
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

std::string_view WithoutLeadingSpace(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    return text;
}

std::string NoColour(std::string_view token)
{
    return "\"" + Excerpt(token) + "\" is no colour";
}

// A whole decimal number of 0 to 255, nothing around it.
std::optional<int> ChannelByte(std::string_view token)
{
    int value = -1;
    const char *end = token.data() + token.size();
    const auto [stop, error] = std::from_chars(token.data(), end, value);
    if (error != std::errc() || stop != end || value < 0 || value > MaxChannelByte)
        return std::nullopt;
    return value;
}

// "#rgb" stands for "#rrggbb".
std::optional<Rgb> ShortHex(std::string_view digits)
{
    if (digits.size() != 3)
        return std::nullopt;
    const std::string doubled{digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    return RgbFromHex(doubled);
}

std::optional<Rgb> HexColour(std::string_view token)
{
    if (token.front() == '#')
        return token.size() == 4 ? ShortHex(token.substr(1)) : RgbFromHex(token);
    return RgbFromHex(token);
}

// Reads colours from the front of the text, one token at a time; three channel numbers in a
// row make one colour.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_rest(text) {}

    Expected<std::vector<DisplayColour>> Run()
    {
        while (SkipSeparators()) {
            const std::string why = StartsWithNoCase(m_rest, "rgb(") ? TakeFunction() : TakeToken();
            if (!why.empty())
                return Fail(why);
        }
        if (!m_channels.empty())
            return Fail(std::to_string(m_channels.size()) + " numbers where R G B needs 3");
        if (m_colours.empty())
            return Fail("no colour");
        return m_colours;
    }

private:
    bool SkipSeparators()
    {
        while (!m_rest.empty() && IsSeparator(m_rest.front()))
            m_rest.remove_prefix(1);
        return !m_rest.empty();
    }

    std::string TakeToken()
    {
        std::size_t length = 0;
        while (length < m_rest.size() && !IsSeparator(m_rest[length]))
            ++length;
        const std::string_view token = m_rest.substr(0, length);
        m_rest.remove_prefix(length);
        // Six digits are "rrggbb" even where they read as a channel number, as "000000" does.
        const std::optional<int> channel =
            token.size() == 6 && RgbFromHex(token) ? std::nullopt : ChannelByte(token);
        if (channel) {
            m_channels.push_back(*channel);
            if (m_channels.size() == 3) {
                m_colours.push_back(ShownColour({m_channels[0], m_channels[1], m_channels[2]}));
                m_channels.clear();
            }
            return {};
        }
        const std::optional<Rgb> hex = HexColour(token);
        if (!hex || !m_channels.empty())
            return NoColour(token);
        m_colours.push_back(ShownColour(*hex));
        return {};
    }

    // "rgb(r, g, b)", the channels separated by commas, blanks or both.
    std::string TakeFunction()
    {
        const std::size_t close = m_rest.find(')');
        const std::string_view call = m_rest.substr(0, close);
        if (close == std::string_view::npos || !m_channels.empty())
            return NoColour(call);
        m_rest.remove_prefix(close + 1);
        std::string_view inside = call.substr(4);
        int values[3] = {};
        int count = 0;
        while (!inside.empty()) {
            std::size_t length = 0;
            while (length < inside.size() && !IsSeparator(inside[length]))
                ++length;
            if (length > 0) {
                const std::optional<int> channel = ChannelByte(inside.substr(0, length));
                if (!channel || count == 3)
                    return NoColour(std::string(call) + ")");
                values[count++] = *channel;
            }
            inside.remove_prefix(length == 0 ? 1 : length);
        }
        if (count != 3)
            return NoColour(std::string(call) + ")");
        m_colours.push_back(ShownColour({values[0], values[1], values[2]}));
        return {};
    }

    std::string_view m_rest;
    std::vector<int> m_channels;
    std::vector<DisplayColour> m_colours;
};

Expected<std::vector<DisplayColour>> PaletteColours(std::string_view text, PaletteFormat format)
{
    const Expected<ParsedPalette> palette = ParsePalette(text, format);
    if (!palette)
        return Fail(palette.error());
    if (palette->colours.empty())
        return Fail("the palette holds no colour");
    std::vector<DisplayColour> colours;
    for (const Rgb &rgb : palette->colours)
        colours.push_back(ShownColour(rgb));
    return colours;
}

} // namespace

Expected<std::vector<DisplayColour>> ColoursFromText(std::string_view text)
{
    const std::string_view start = WithoutLeadingSpace(text);
    if (start.substr(0, 12) == "GIMP Palette")
        return PaletteColours(start, PaletteFormat::Gpl);
    if (start.substr(0, 8) == "JASC-PAL")
        return PaletteColours(start, PaletteFormat::Pal);
    return Scanner(start).Run();
}

Expected<DisplayColour> ColourFromText(std::string_view text)
{
    const Expected<std::vector<DisplayColour>> colours = ColoursFromText(text);
    if (!colours)
        return Fail(colours.error());
    if (colours->size() != 1)
        return Fail("\"" + Excerpt(text) + "\" names " + std::to_string(colours->size()) +
                    " colours, not one");
    return colours->front();
}
