#pragma once

#include "huefile/expected.h"
#include "huefile/hue_entry.h"

#include <string>
#include <string_view>

// An entry's name is up to 20 bytes, each a Latin-1 character; text outside the program is
// UTF-8. These turn one into the other and refuse what an entry cannot hold.

// The bytes before the first zero, at most 20.
std::string StoredName(const HueEntry &entry);

// Replaces the name: the Latin-1 bytes, then zeroes up to 20 bytes.
void StoreName(HueEntry &entry, std::string_view latin1);

std::string Latin1ToUtf8(std::string_view latin1);

// The Latin-1 bytes of a name given as UTF-8, or why it cannot be an entry's name: text that is
// not UTF-8, a character beyond Latin-1, a zero character, more than 20 characters.
Expected<std::string> NameFromUtf8(std::string_view utf8);
// The same, whatever its length.
Expected<std::string> Latin1NameFromUtf8(std::string_view utf8);

// The first character of UTF-8 text and its length in bytes; length 0 where the text does not
// start with a whole, valid character.
struct Utf8Character {
    char32_t value;
    std::size_t length;
};
Utf8Character FirstUtf8Character(std::string_view text);

// Input quoted in a message: its first characters, then "…" where it went on, so that a line
// of megabytes still gives a short message. A byte that is not UTF-8 counts as one character.
std::string Excerpt(std::string_view text, std::size_t characters = 40);
