#include "huefile/formats/patch.h"

#include "huefile/formats/entry_name.h"
#include "huefile/formats/json_document.h"
#include "huefile/formats/palette_parts.h"
#include "huefile/formats/written_patch.h"

#include <algorithm>

// A patch read through a whole json document: for every patch not laid out as this program
// writes them, and for the words of every refusal.

namespace {

using ReadJson = nlohmann::json;

// A patch nests five levels: the document, its list of entries, an entry, a side, its words.
constexpr int MaxPatchDepth = 6;

// Keys the reader does not know are skipped unbuilt, so that they cost no more than reading.
bool IsPatchKey(std::string_view key)
{
    using namespace PatchKey;
    static const std::string_view names[] = {Version, Entries,   Entry, Before, After,
                                             Name,    NameBytes, Words, Carried};
    return std::find(std::begin(names), std::end(names), key) != std::end(names);
}

const JsonLimits PatchLimits = {"patch", MaxPatchDepth, IsPatchKey, true};

std::string Quoted(std::string_view key)
{
    return "\"" + std::string(key) + "\"";
}

// The object's value under the key, or nullptr.
const ReadJson *Member(const ReadJson &object, std::string_view key)
{
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

Expected<bool> ReadHex(const ReadJson &side, std::string_view key, std::uint8_t *bytes,
                       std::size_t count)
{
    const ReadJson &value = *Member(side, key);
    const auto read = value.is_string() ? BytesFromHex(value.get<std::string>()) : std::nullopt;
    if (!read || read->size() != count)
        return Fail(Quoted(key) + " is not " + std::to_string(count * 2) + " hexadecimal digits");
    std::copy(read->begin(), read->end(), bytes);
    return true;
}

Expected<bool> ReadWords(const ReadJson &side, HueEntry &entry)
{
    const ReadJson *words = Member(side, PatchKey::Words);
    if (!words || !words->is_array())
        return Fail(Quoted(PatchKey::Words) + " is no list");
    if (words->size() != HueColourCount)
        return Fail(Quoted(PatchKey::Words) + ": " + CountError(words->size(), "words"));
    for (std::size_t slot = 0; slot < words->size(); ++slot) {
        const ReadJson &word = (*words)[slot];
        if (!word.is_number_integer() || word.get<long long>() < 0 ||
            word.get<long long>() > 0xFFFF)
            return Fail(Quoted(PatchKey::Words) + ": slot " + std::to_string(slot) +
                        " is no word (0 to 65535)");
        entry.colours[slot] = static_cast<HueColour>(word.get<long long>());
    }
    return true;
}

// The name bytes rule where both are given; the text must then be the name they hold.
Expected<bool> ReadName(const ReadJson &side, HueEntry &entry)
{
    const ReadJson *name = Member(side, PatchKey::Name);
    if (!name || !name->is_string())
        return Fail(Quoted(PatchKey::Name) + " is not text");
    const Expected<std::string> latin1 = NameFromUtf8(name->get<std::string>());
    if (!latin1)
        return Fail(Quoted(PatchKey::Name) + ": " + latin1.error());
    if (!Member(side, PatchKey::NameBytes)) {
        StoreName(entry, *latin1);
        return true;
    }
    const Expected<bool> bytes = ReadHex(
        side, PatchKey::NameBytes, reinterpret_cast<std::uint8_t *>(entry.name), sizeof entry.name);
    if (!bytes)
        return bytes;
    if (StoredName(entry) != *latin1)
        return Fail(Quoted(PatchKey::Name) + " is not the name that " +
                    Quoted(PatchKey::NameBytes) + " holds");
    return true;
}

Expected<EntrySlot> ReadSide(const ReadJson &entryObject, std::string_view key)
{
    const ReadJson *side = Member(entryObject, key);
    if (!side)
        return Fail("no " + Quoted(key) + " (null for an absent entry)");
    if (side->is_null())
        return EntrySlot();
    if (!side->is_object())
        return Fail(Quoted(key) + " is neither an entry nor null");
    HueEntry entry{};
    Expected<bool> read = ReadWords(*side, entry);
    if (read)
        read = ReadName(*side, entry);
    if (read && Member(*side, PatchKey::Carried))
        read = ReadHex(*side, PatchKey::Carried, entry.carried, sizeof entry.carried);
    if (!read)
        return Fail(Quoted(key) + ": " + read.error());
    return EntrySlot(entry);
}

Expected<PatchEntry> ReadEntry(const ReadJson &object)
{
    if (!object.is_object())
        return Fail("is no object");
    const ReadJson *number = Member(object, PatchKey::Entry);
    if (!number || !number->is_number_integer())
        return Fail(Quoted(PatchKey::Entry) + " is no number");
    const long long n = number->get<long long>();
    if (n < 1 || n > MaxEntryNumber)
        return Fail("entry " + std::to_string(n) + " is outside 1-" +
                    std::to_string(MaxEntryNumber));
    PatchEntry entry;
    entry.number = static_cast<int>(n);
    const std::string where = "entry " + std::to_string(n) + ", ";
    for (const auto &[key, side] :
         {std::pair(PatchKey::Before, &entry.before), {PatchKey::After, &entry.after}}) {
        Expected<EntrySlot> read = ReadSide(object, key);
        if (!read)
            return Fail(where + read.error());
        *side = std::move(*read);
    }
    return entry;
}

// In rising order of entries, each given once.
Expected<Patch> InEntryOrder(Patch patch)
{
    std::stable_sort(patch.begin(), patch.end(),
                     [](const PatchEntry &x, const PatchEntry &y) { return x.number < y.number; });
    const auto twice = std::adjacent_find(
        patch.begin(), patch.end(),
        [](const PatchEntry &x, const PatchEntry &y) { return x.number == y.number; });
    if (twice != patch.end())
        return Fail(Quoted(PatchKey::Entries) + ": entry " + std::to_string(twice->number) +
                    " is given twice");
    return patch;
}

Expected<Patch> ReadEntries(const ReadJson &entries)
{
    if (!entries.is_array())
        return Fail(Quoted(PatchKey::Entries) + " is no list");
    Patch patch;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Expected<PatchEntry> entry = ReadEntry(entries[i]);
        if (!entry)
            return Fail(Quoted(PatchKey::Entries) + " item " + std::to_string(i + 1) + ": " +
                        entry.error());
        patch.push_back(std::move(*entry));
    }
    return InEntryOrder(std::move(patch));
}

} // namespace

Expected<Patch> ReadPatch(std::string_view document)
{
    if (std::optional<Patch> written = ReadWrittenPatch(document))
        return InEntryOrder(std::move(*written));
    return ReadPatchDocument(document);
}

Expected<Patch> ReadPatchDocument(std::string_view document)
{
    const Expected<ReadJson> root = ReadJsonDocument(document, PatchLimits);
    if (!root)
        return Fail(root.error());
    const ReadJson *version = root->is_object() ? Member(*root, PatchKey::Version) : nullptr;
    if (!version)
        return Fail("not a patch: no " + Quoted(PatchKey::Version) + " version");
    if (!version->is_number_integer() || version->get<long long>() != PatchVersion)
        return Fail(Quoted(PatchKey::Version) + ": version " + Excerpt(version->dump()) +
                    "; this program reads version " + std::to_string(PatchVersion));
    const ReadJson *entries = Member(*root, PatchKey::Entries);
    if (!entries)
        return Fail("no " + Quoted(PatchKey::Entries));
    return ReadEntries(*entries);
}
