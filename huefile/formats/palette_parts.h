#pragma once

// Shared between the format files of this folder; not part of the library's interface.

#include "huefile/formats/palette_formats.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Rgb {
    int red;
    int green;
    int blue;
};

// What a palette file holds, before it replaces an entry.
struct ParsedPalette {
    std::vector<Rgb> colours;
    // UTF-8, as the file holds it.
    std::optional<std::string> name;
    // Only json carries the stored words and bytes.
    std::optional<std::vector<HueColour>> words;
    std::optional<std::array<std::uint8_t, 4>> carried;
};

// The 8-bit channels a colour word is shown with.
Rgb RgbOf(HueColour word);
// "31 colours, an entry holds 32".
std::string CountError(std::size_t count, const char *what = "colours");
// Two lower-case hexadecimal digits per byte.
std::string HexBytes(const std::uint8_t *bytes, std::size_t count);
// Two hexadecimal digits, in either case, per byte; nothing else.
std::optional<std::vector<std::uint8_t>> BytesFromHex(std::string_view text);
// "#rrggbb" or "rrggbb" with hexadecimal digits in either case.
std::optional<Rgb> RgbFromHex(std::string_view text);

// The colours and name a palette file holds, whatever their count.
Expected<ParsedPalette> ParsePalette(std::string_view bytes, PaletteFormat format);

Expected<std::string> WriteJson(const std::vector<NumberedEntry> &entries, bool asArray);
Expected<ParsedPalette> ParseJson(std::string_view bytes);
Expected<std::string> WritePng(const HueEntry &entry, int scale);
Expected<ParsedPalette> ParsePng(std::string_view bytes);
