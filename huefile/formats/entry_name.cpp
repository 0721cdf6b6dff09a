#include "huefile/formats/entry_name.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Strict UTF-8: every character has exactly one spelling, so a name compares the same wherever
// it came from.
std::optional<std::vector<char32_t>> DecodeUtf8(std::string_view text)
{
    std::vector<char32_t> characters;
    while (!text.empty()) {
        const Utf8Character character = FirstUtf8Character(text);
        if (character.length == 0)
            return std::nullopt;
        characters.push_back(character.value);
        text.remove_prefix(character.length);
    }
    return characters;
}

} // namespace

// Overlong forms, surrogates and values past U+10FFFF are refused.
Utf8Character FirstUtf8Character(std::string_view text)
{
    if (text.empty())
        return {0, 0};
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80)
        return {lead, 1};
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        smallest = 0x10000;
    } else {
        return {0, 0};
    }
    if (length > text.size())
        return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80)
            return {0, 0};
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {0, 0};
    return {value, length};
}

std::string Excerpt(std::string_view text, std::size_t characters)
{
    std::size_t end = 0;
    for (std::size_t count = 0; end < text.size() && count < characters; ++count)
        end += std::max<std::size_t>(1, FirstUtf8Character(text.substr(end)).length);
    return end < text.size() ? std::string(text.substr(0, end)) + "\u2026" : std::string(text);
}

std::string StoredName(const HueEntry &entry)
{
    const auto *end = static_cast<const char *>(std::memchr(entry.name, 0, HueNameLength));
    return std::string(entry.name, end ? static_cast<std::size_t>(end - entry.name)
                                       : static_cast<std::size_t>(HueNameLength));
}

void StoreName(HueEntry &entry, std::string_view latin1)
{
    std::memset(entry.name, 0, sizeof entry.name);
    std::memcpy(entry.name, latin1.data(), std::min<std::size_t>(latin1.size(), HueNameLength));
}

std::string Latin1ToUtf8(std::string_view latin1)
{
    std::string utf8;
    utf8.reserve(latin1.size() * 2);
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

Expected<std::string> Latin1NameFromUtf8(std::string_view utf8)
{
    const auto characters = DecodeUtf8(utf8);
    if (!characters)
        return Fail("the name is not UTF-8 text");
    const std::string quoted = "the name \"" + Excerpt(utf8) + "\"";
    std::string latin1;
    for (std::size_t i = 0; i < characters->size(); ++i) {
        const char32_t c = (*characters)[i];
        if (c == 0)
            return Fail("the name holds a zero character, which would end it early");
        if (c > 0xFF) {
            // Every character before this one is Latin-1, one or two bytes of UTF-8.
            std::size_t start = 0;
            for (std::size_t k = 0; k < i; ++k)
                start += (*characters)[k] < 0x80 ? 1 : 2;
            const std::size_t width = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            return Fail(quoted + " holds \"" + std::string(utf8.substr(start, width)) +
                        "\", which is no Latin-1 character");
        }
        latin1 += static_cast<char>(c);
    }
    return latin1;
}

Expected<std::string> NameFromUtf8(std::string_view utf8)
{
    const Expected<std::string> latin1 = Latin1NameFromUtf8(utf8);
    if (latin1 && latin1->size() > static_cast<std::size_t>(HueNameLength))
        return Fail("the name \"" + Excerpt(utf8) + "\" has " + std::to_string(latin1->size()) +
                    " characters, an entry holds " + std::to_string(HueNameLength));
    return latin1;
}
