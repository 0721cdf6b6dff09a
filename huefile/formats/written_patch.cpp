#include "huefile/formats/written_patch.h"

#include "huefile/formats/entry_name.h"
#include "huefile/number_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

std::string Member(std::string_view key)
{
    return "\"" + std::string(key) + "\":";
}

// The text between the values of a written patch, made once from the key names: the writer
// puts exactly these pieces and the fast reader takes exactly these, so the two cannot drift.
// The first line keeps the spaces of the patches written so far.
struct WrittenLayout {
    std::string opening = "{\"" + std::string(PatchKey::Version) +
                          "\": " + std::to_string(PatchVersion) + ", \"" +
                          std::string(PatchKey::Entries) + "\": [";
    std::string number = "{" + Member(PatchKey::Entry);
    std::string before = "," + Member(PatchKey::Before);
    std::string after = "," + Member(PatchKey::After);
    std::string name = "{" + Member(PatchKey::Name);
    std::string nameBytes = "," + Member(PatchKey::NameBytes);
    std::string words = "," + Member(PatchKey::Words) + "[";
    std::string carried = "]," + Member(PatchKey::Carried);
};

const WrittenLayout &Layout()
{
    static const WrittenLayout layout;
    return layout;
}

constexpr std::string_view Absent = "null";
constexpr std::string_view ObjectEnd = "}";
constexpr std::string_view WordSeparator = ",";
// One entry a line, so that patches themselves compare well.
constexpr std::string_view FirstSeparator = "\n";
constexpr std::string_view EntrySeparator = ",\n";
constexpr std::string_view EmptyEnd = "]}\n";
constexpr std::string_view End = "\n]}\n";

constexpr char LowerHexDigits[] = "0123456789abcdef";

// ---- writing

void AppendNumber(std::string &text, unsigned value)
{
    char digits[10];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), value);
    text.append(digits, written.ptr);
}

void AppendHex(std::string &text, const std::uint8_t *bytes, std::size_t count)
{
    text += '"';
    for (std::size_t i = 0; i < count; ++i) {
        text += LowerHexDigits[bytes[i] >> 4];
        text += LowerHexDigits[bytes[i] & 0xF];
    }
    text += '"';
}

// The Latin-1 name as a json string of UTF-8, escaped as the json library escapes when it
// writes: the six short escapes, \u00xx for the other control characters, nothing else. Patches
// written before this writer must compare byte for byte with the ones it writes.
void AppendName(std::string &text, const HueEntry &entry)
{
    text += '"';
    for (const char c : entry.name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            break;
        switch (byte) {
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '\b':
            text += "\\b";
            break;
        case '\f':
            text += "\\f";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        default:
            if (byte < 0x20) {
                text += "\\u00";
                text += LowerHexDigits[byte >> 4];
                text += LowerHexDigits[byte & 0xF];
            } else if (byte < 0x80) {
                text += c;
            } else {
                text += static_cast<char>(0xC0 | (byte >> 6));
                text += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
    }
    text += '"';
}

void AppendSide(std::string &text, const EntrySlot &side)
{
    if (!side) {
        text += Absent;
        return;
    }
    const WrittenLayout &layout = Layout();
    text += layout.name;
    AppendName(text, *side);
    text += layout.nameBytes;
    AppendHex(text, reinterpret_cast<const std::uint8_t *>(side->name), sizeof side->name);
    text += layout.words;
    for (int slot = 0; slot < HueColourCount; ++slot) {
        if (slot > 0)
            text += WordSeparator;
        AppendNumber(text, side->colours[slot]);
    }
    text += layout.carried;
    AppendHex(text, side->carried, sizeof side->carried);
    text += ObjectEnd;
}

// ---- reading

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
    // exactly its bytes. Names the writer escapes are left to the document reader.
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

// The name text must be the name the bytes hold, as the document reader requires.
bool NameMatches(std::string_view utf8, const HueEntry &entry)
{
    if (PrintableAscii(utf8) && utf8.size() <= static_cast<std::size_t>(HueNameLength))
        return StoredName(entry) == utf8;
    const Expected<std::string> latin1 = NameFromUtf8(utf8);
    return latin1 && StoredName(entry) == *latin1;
}

bool ReadWords(WrittenText &text, HueEntry &entry)
{
    for (int slot = 0; slot < HueColourCount; ++slot) {
        unsigned long word = 0;
        if ((slot > 0 && !text.take(WordSeparator)) || !text.number(0xFFFF, word))
            return false;
        entry.colours[slot] = static_cast<HueColour>(word);
    }
    return true;
}

bool ReadSide(WrittenText &text, EntrySlot &side)
{
    if (text.take(Absent)) {
        side.reset();
        return true;
    }
    const WrittenLayout &layout = Layout();
    HueEntry entry{};
    std::string_view name;
    const bool read = text.take(layout.name) && text.plainString(name) &&
                      text.take(layout.nameBytes) &&
                      text.hex(reinterpret_cast<std::uint8_t *>(entry.name), sizeof entry.name) &&
                      text.take(layout.words) && ReadWords(text, entry) &&
                      text.take(layout.carried) && text.hex(entry.carried, sizeof entry.carried) &&
                      text.take(ObjectEnd) && NameMatches(name, entry);
    if (read)
        side = entry;
    return read;
}

bool ReadEntry(WrittenText &text, PatchEntry &entry)
{
    const WrittenLayout &layout = Layout();
    unsigned long number = 0;
    if (!text.take(layout.number) || !text.number(MaxEntryNumber, number) || number < 1)
        return false;
    entry.number = static_cast<int>(number);
    return text.take(layout.before) && ReadSide(text, entry.before) && text.take(layout.after) &&
           ReadSide(text, entry.after) && text.take(ObjectEnd);
}

} // namespace

std::string WritePatch(const Patch &patch)
{
    const WrittenLayout &layout = Layout();
    std::string text = layout.opening;
    // An entry with both sides takes about 600 bytes.
    text.reserve(text.size() + patch.size() * 640 + End.size());
    std::string_view separator = FirstSeparator;
    for (const PatchEntry &entry : patch) {
        text += separator;
        text += layout.number;
        AppendNumber(text, static_cast<unsigned>(entry.number));
        text += layout.before;
        AppendSide(text, entry.before);
        text += layout.after;
        AppendSide(text, entry.after);
        text += ObjectEnd;
        separator = EntrySeparator;
    }
    text += patch.empty() ? EmptyEnd : End;
    return text;
}

std::optional<Patch> ReadWrittenPatch(std::string_view document)
{
    WrittenText text(document);
    if (!text.take(Layout().opening))
        return std::nullopt;
    Patch patch;
    if (text.take(EmptyEnd))
        return text.atEnd() ? std::optional<Patch>(patch) : std::nullopt;
    std::string_view separator = FirstSeparator;
    do {
        if (!text.take(separator) || !ReadEntry(text, patch.emplace_back()))
            return std::nullopt;
        separator = EntrySeparator;
    } while (!text.take(End));
    return text.atEnd() ? std::optional<Patch>(std::move(patch)) : std::nullopt;
}
