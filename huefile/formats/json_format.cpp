#include "huefile/formats/entry_name.h"
#include "huefile/formats/json_document.h"
#include "huefile/formats/palette_parts.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// Written files keep their keys in the order a person reads them; read files need no order.
using Json = nlohmann::ordered_json;
using ReadJson = nlohmann::json;

constexpr unsigned MaxWord = 0xFFFF;

Json EntryObject(const NumberedEntry &numbered)
{
    const HueEntry &entry = numbered.entry;
    Json colours = Json::array();
    Json words = Json::array();
    for (const HueColour word : entry.colours) {
        const Rgb rgb = RgbOf(word);
        char text[8];
        std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb.red, rgb.green, rgb.blue);
        colours.push_back(text);
        words.push_back(word);
    }
    return Json{{"entry", numbered.number},
                {"name", Latin1ToUtf8(StoredName(entry))},
                {"colours", colours},
                {"words", words},
                {"extra", HexBytes(entry.carried, sizeof entry.carried)}};
}

// A palette needs four levels: an array, an entry, its lists and their values. Input nested
// far deeper is no palette, and copying or destroying it would take a call per level.
constexpr int MaxJsonDepth = 8;

// Only the keys that an import reads are kept, wherever they stand.
bool IsEntryKey(std::string_view key)
{
    static const std::string_view names[] = {"name", "colours", "words", "extra"};
    return std::find(std::begin(names), std::end(names), key) != std::end(names);
}

// A palette keeps the later value of a key given twice, as imports always have.
const JsonLimits PaletteLimits = {"palette", MaxJsonDepth, IsEntryKey, false};

std::string SlotError(const char *key, std::size_t slot, const std::string &why)
{
    return "\"" + std::string(key) + "\": slot " + std::to_string(slot) + " " + why;
}

Expected<std::vector<HueColour>> WordsOf(const ReadJson &array)
{
    if (!array.is_array())
        return Fail("\"words\" is no list");
    std::vector<HueColour> words;
    for (std::size_t slot = 0; slot < array.size(); ++slot) {
        const ReadJson &word = array[slot];
        if (!word.is_number_integer() || word.get<long long>() < 0 ||
            word.get<long long>() > MaxWord)
            return Fail(SlotError("words", slot, "is no word (0 to 65535)"));
        words.push_back(static_cast<HueColour>(word.get<long long>()));
    }
    return words;
}

Expected<std::vector<Rgb>> ColoursOf(const ReadJson &array)
{
    if (!array.is_array())
        return Fail("\"colours\" is no list");
    std::vector<Rgb> colours;
    for (std::size_t slot = 0; slot < array.size(); ++slot) {
        const std::optional<Rgb> rgb =
            array[slot].is_string() ? RgbFromHex(array[slot].get<std::string>()) : std::nullopt;
        if (!rgb)
            return Fail(SlotError("colours", slot, "is no colour (\"#rrggbb\")"));
        colours.push_back(*rgb);
    }
    return colours;
}

Expected<std::array<std::uint8_t, 4>> CarriedOf(const ReadJson &extra)
{
    const auto bytes = extra.is_string() ? BytesFromHex(extra.get<std::string>()) : std::nullopt;
    std::array<std::uint8_t, 4> carried{};
    if (!bytes || bytes->size() != carried.size())
        return Fail("\"extra\" is not 8 hexadecimal digits");
    std::copy(bytes->begin(), bytes->end(), carried.begin());
    return carried;
}

} // namespace

Expected<std::string> WriteJson(const std::vector<NumberedEntry> &entries, bool asArray)
{
    Json document = Json::array();
    for (const NumberedEntry &entry : entries)
        document.push_back(EntryObject(entry));
    if (!asArray) {
        Json first = std::move(document.at(0));
        document = std::move(first);
    }
    return document.dump(2) + "\n";
}

// The entry number in the file is not checked: an import goes to the entry it is told to.
Expected<ParsedPalette> ParseJson(std::string_view bytes)
{
    Expected<ReadJson> read = ReadJsonDocument(bytes, PaletteLimits);
    if (!read)
        return Fail(read.error());
    ReadJson document = std::move(*read);
    if (document.is_array()) {
        if (document.size() != 1)
            return Fail(std::to_string(document.size()) + " entries, an import takes one");
        ReadJson first = std::move(document.at(0));
        document = std::move(first);
    }
    if (!document.is_object())
        return Fail("the json holds no entry object");

    ParsedPalette palette;
    if (document.contains("name")) {
        if (!document.at("name").is_string())
            return Fail("\"name\" is not text");
        palette.name = document.at("name").get<std::string>();
    }
    if (document.contains("words")) {
        Expected<std::vector<HueColour>> words = WordsOf(document.at("words"));
        if (!words)
            return Fail(words.error());
        palette.words = *words;
    } else if (document.contains("colours")) {
        Expected<std::vector<Rgb>> colours = ColoursOf(document.at("colours"));
        if (!colours)
            return Fail(colours.error());
        palette.colours = *colours;
    } else {
        return Fail("the entry has neither \"colours\" nor \"words\"");
    }
    if (document.contains("extra")) {
        const Expected<std::array<std::uint8_t, 4>> carried = CarriedOf(document.at("extra"));
        if (!carried)
            return Fail(carried.error());
        palette.carried = *carried;
    }
    return palette;
}
