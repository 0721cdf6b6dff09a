#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The one rule by which a field's text becomes a whole number: leading blanks, then either
// an optionally signed decimal in the signed 32-bit range, or a hexadecimal number after
// "$", "x", "X", "0x" or "0X" that fits in 32 bits and is taken as a signed value.
// Nothing may follow the digits.
std::optional<std::int32_t> NumberText(std::string_view text);

// A hexadecimal digit's value, in either letter case; -1 for any other character.
int HexDigit(char c);

// Numbers are written back as plain decimal.
inline std::string NumberToText(std::int64_t value)
{
    return std::to_string(value);
}

// A count of entries as both programs' messages give it: "1 entry", "3000 entries".
inline std::string EntriesText(std::size_t count)
{
    return NumberToText(static_cast<std::int64_t>(count)) + (count == 1 ? " entry" : " entries");
}
