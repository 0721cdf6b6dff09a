#pragma once

#include "huefile/hue_entry.h"

#include <cstring>
#include <string_view>

// What an entry's 88 bytes say taken together, for every part of both programs that compares
// whole entries or tells an empty one.

// Byte for byte, the name's bytes after its terminator included: two entries are the same only
// when writing one over the other would change nothing in the file.
inline bool SameBytes(const HueEntry &a, const HueEntry &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// An empty entry holds nothing anyone chose: no colour, no carried byte, no name byte, not even
// bit 15. The words are the ones the programs' help uses for the rule.
constexpr std::string_view EmptyEntryRule = "all 88 bytes are zero";
static_assert(sizeof(HueEntry) == 88, "the rule's words count the record's bytes");
inline bool IsEmptyEntry(const HueEntry &entry)
{
    return SameBytes(entry, HueEntry{});
}
