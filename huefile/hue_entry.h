#pragma once

#include <cstdint>

// Entry numbers are 1-based; the program handles entries 1 to MaxEntryNumber.
constexpr int MaxEntryNumber = 3000;
constexpr int HueColourCount = 32;
constexpr int HueNameLength = 20;

// A colour word: bits 10-14 red, 5-9 green, 0-4 blue; bit 15 is carried but never shown.
using HueColour = std::uint16_t;
// A screen colour 0x00BBGGRR, red in the low byte.
using DisplayColour = std::uint32_t;

// One entry exactly as it lies in a hue file. The file is little-endian, and so is every
// machine this program is built for, so the record is read and written as it stands.
struct HueEntry {
    HueColour colours[HueColourCount];
    // Copied along with the entry; never interpreted.
    std::uint8_t carried[4];
    // 8-bit characters, zero-terminated only when shorter than 20.
    char name[HueNameLength];
};

static_assert(sizeof(HueEntry) == 88, "a hue entry is an 88-byte record");
#ifdef __BYTE_ORDER__
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "hue files are little-endian");
#endif // Microsoft's compiler builds for little-endian machines alone.

constexpr std::int64_t HueBlockSize = 4 + 8 * static_cast<std::int64_t>(sizeof(HueEntry));

// Byte offset of entry n (n >= 1): blocks of a 4-byte header and 8 entries.
constexpr std::int64_t EntryOffset(int n)
{
    return ((n - 1) / 8) * HueBlockSize +
           ((n - 1) % 8) * static_cast<std::int64_t>(sizeof(HueEntry)) + 4;
}
