#include "huefile/formats/written_patch.h"

#include "huefile/formats/entry_name.h"
#include "huefile/number_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// The text still to read. Every step either takes exactly what it expects or ends the reading.
class WrittenText {
public:
    explicit WrittenText(std::string_view text) : m_rest(text) {}

    bool atEnd() const { return m_rest.empty(); }

    bool take(std::string_view expected)
    {
        if (m_rest.substr(0, expected.size()) != expected)
            return false;
        m_rest.remove_prefix(expected.size());
        return true;
    }

    // A json number as the writer gives one: digits, no sign, no leading zero.
    bool number(unsigned long max, unsigned long &value)
    {
        if (m_rest.size() > 1 && m_rest[0] == '0' && m_rest[1] >= '0' && m_rest[1] <= '9')
            return false;
        const char *end = m_rest.data() + m_rest.size();
        const auto [stop, error] = std::from_chars(m_rest.data(), end, value);
        if (error != std::errc() || value > max)
            return false;
        m_rest.remove_prefix(static_cast<std::size_t>(stop - m_rest.data()));
        return true;
    }

    // A quoted string of hex digits, two per byte, into exactly `count` bytes.
    bool hex(std::uint8_t *bytes, std::size_t count)
    {
        if (m_rest.size() < 2 * count + 2 || m_rest[0] != '"' || m_rest[2 * count + 1] != '"')
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const int high = HexDigit(m_rest[1 + 2 * i]);
            const int low = HexDigit(m_rest[2 + 2 * i]);
            if (high < 0 || low < 0)
                return false;
            bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
        }
        m_rest.remove_prefix(2 * count + 2);
        return true;
    }

    // A quoted string with no escape and no control character: a json string that means
    // exactly its bytes. Names the writer escapes are left to the general readers.
    bool plainString(std::string_view &text)
    {
        if (!take("\""))
            return false;
        const std::size_t end = m_rest.find('"');
        if (end == std::string_view::npos)
            return false;
        text = m_rest.substr(0, end);
        const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
            return c == '\\' || static_cast<unsigned char>(c) < 0x20;
        });
        m_rest.remove_prefix(end + 1);
        return plain;
    }

private:
    std::string_view m_rest;
};

bool PrintableAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// The name text must be the name the bytes hold, as the general readers require.
bool NameMatches(std::string_view utf8, const HueEntry &entry)
{
    if (PrintableAscii(utf8) && utf8.size() <= static_cast<std::size_t>(HueNameLength))
        return StoredName(entry) == utf8;
    const Expected<std::string> latin1 = NameFromUtf8(utf8);
    return latin1 && StoredName(entry) == *latin1;
}

bool ReadWords(WrittenText &text, HueEntry &entry)
{
    if (!text.take("\"words\":["))
        return false;
    for (int slot = 0; slot < HueColourCount; ++slot) {
        unsigned long word = 0;
        if ((slot > 0 && !text.take(",")) || !text.number(0xFFFF, word))
            return false;
        entry.colours[slot] = static_cast<HueColour>(word);
    }
    return text.take("]");
}

bool ReadSide(WrittenText &text, EntrySlot &side)
{
    if (text.take("null")) {
        side.reset();
        return true;
    }
    HueEntry entry{};
    std::string_view name;
    const bool read =
        text.take("{\"name\":") && text.plainString(name) && text.take(",\"name-bytes\":") &&
        text.hex(reinterpret_cast<std::uint8_t *>(entry.name), sizeof entry.name) &&
        text.take(",") && ReadWords(text, entry) && text.take(",\"carried\":") &&
        text.hex(entry.carried, sizeof entry.carried) && text.take("}") && NameMatches(name, entry);
    if (read)
        side = entry;
    return read;
}

bool ReadEntry(WrittenText &text, PatchEntry &entry)
{
    unsigned long number = 0;
    if (!text.take("{\"entry\":") || !text.number(MaxEntryNumber, number) || number < 1)
        return false;
    entry.number = static_cast<int>(number);
    return text.take(",\"before\":") && ReadSide(text, entry.before) && text.take(",\"after\":") &&
           ReadSide(text, entry.after) && text.take("}");
}

} // namespace

std::optional<Patch> ReadWrittenPatch(std::string_view document)
{
    WrittenText text(document);
    if (!text.take("{\"colvane-patch\": 1, \"entries\": ["))
        return std::nullopt;
    Patch patch;
    if (text.take("]}\n"))
        return text.atEnd() ? std::optional<Patch>(patch) : std::nullopt;
    const char *separator = "\n";
    do {
        if (!text.take(separator) || !ReadEntry(text, patch.emplace_back()))
            return std::nullopt;
        separator = ",\n";
    } while (!text.take("\n]}\n"));
    return text.atEnd() ? std::optional<Patch>(std::move(patch)) : std::nullopt;
}
