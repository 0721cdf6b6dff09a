#include "huefile/formats/patch.h"

#include "huefile/file_checks.h"
#include "huefile/formats/entry_name.h"
#include "huefile/formats/palette_parts.h"
#include "huefile/formats/written_patch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;
using ReadJson = nlohmann::json;

constexpr int PatchVersion = 1;
constexpr const char *VersionKey = "colvane-patch";

bool SameBytes(const HueEntry &x, const HueEntry &y)
{
    return std::memcmp(&x, &y, sizeof x) == 0;
}

bool SameSlot(const EntrySlot &x, const EntrySlot &y)
{
    return x.has_value() == y.has_value() && (!x || SameBytes(*x, *y));
}

bool IsZero(const HueEntry &entry)
{
    return SameBytes(entry, HueEntry{});
}

// "slot 4", "slots 0..3, 7", "slots 0..31".
std::string SlotsText(const std::vector<int> &slots)
{
    std::string text = slots.size() == 1 ? "slot " : "slots ";
    for (std::size_t i = 0; i < slots.size();) {
        std::size_t end = i;
        while (end + 1 < slots.size() && slots[end + 1] == slots[end] + 1)
            ++end;
        text += (i ? ", " : "") + std::to_string(slots[i]);
        if (end > i)
            text += ".." + std::to_string(slots[end]);
        i = end + 1;
    }
    return text;
}

std::string Joined(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
}

// ---- writing

Json SideObject(const EntrySlot &side)
{
    if (!side)
        return nullptr;
    const HueEntry &entry = *side;
    Json words = Json::array();
    for (const HueColour word : entry.colours)
        words.push_back(word);
    return Json{{"name", Latin1ToUtf8(StoredName(entry))},
                {"name-bytes",
                 HexBytes(reinterpret_cast<const std::uint8_t *>(entry.name), sizeof entry.name)},
                {"words", std::move(words)},
                {"carried", HexBytes(entry.carried, sizeof entry.carried)}};
}

// ---- reading

// A patch nests five levels: the document, its list of entries, an entry, a side, its words.
constexpr int MaxPatchDepth = 6;

struct TooDeep {};

// Keys the reader does not know are skipped unbuilt, so that they cost no more than reading.
bool IsPatchKey(const ReadJson &key)
{
    static const std::string_view names[] = {VersionKey, "entries",    "entry", "before", "after",
                                             "name",     "name-bytes", "words", "carried"};
    const std::string &text = key.get_ref<const std::string &>();
    return std::find(std::begin(names), std::end(names), text) != std::end(names);
}

ReadJson ParsePatchDocument(std::string_view bytes)
{
    return ReadJson::parse(bytes.begin(), bytes.end(),
                           [](int depth, ReadJson::parse_event_t event, ReadJson &parsed) {
                               if (depth > MaxPatchDepth)
                                   throw TooDeep{};
                               return event != ReadJson::parse_event_t::key || IsPatchKey(parsed);
                           });
}

Expected<bool> ReadHex(const ReadJson &side, const char *key, std::uint8_t *bytes,
                       std::size_t count)
{
    const std::string digits = std::to_string(count * 2) + " hexadecimal digits";
    const ReadJson &value = side.at(key);
    const auto read = value.is_string() ? BytesFromHex(value.get<std::string>()) : std::nullopt;
    if (!read || read->size() != count)
        return Fail("\"" + std::string(key) + "\" is not " + digits);
    std::copy(read->begin(), read->end(), bytes);
    return true;
}

Expected<bool> ReadWords(const ReadJson &side, HueEntry &entry)
{
    if (!side.contains("words") || !side.at("words").is_array())
        return Fail("\"words\" is no list");
    const ReadJson &words = side.at("words");
    if (words.size() != HueColourCount)
        return Fail("\"words\": " + CountError(words.size(), "words"));
    for (std::size_t slot = 0; slot < words.size(); ++slot) {
        const ReadJson &word = words[slot];
        if (!word.is_number_integer() || word.get<long long>() < 0 ||
            word.get<long long>() > 0xFFFF)
            return Fail("\"words\": slot " + std::to_string(slot) + " is no word (0 to 65535)");
        entry.colours[slot] = static_cast<HueColour>(word.get<long long>());
    }
    return true;
}

// The name bytes rule where both are given; the text must then be the name they hold.
Expected<bool> ReadName(const ReadJson &side, HueEntry &entry)
{
    if (!side.contains("name") || !side.at("name").is_string())
        return Fail("\"name\" is not text");
    const Expected<std::string> latin1 = NameFromUtf8(side.at("name").get<std::string>());
    if (!latin1)
        return Fail("\"name\": " + latin1.error());
    if (!side.contains("name-bytes")) {
        StoreName(entry, *latin1);
        return true;
    }
    const Expected<bool> bytes = ReadHex(
        side, "name-bytes", reinterpret_cast<std::uint8_t *>(entry.name), sizeof entry.name);
    if (!bytes)
        return bytes;
    if (StoredName(entry) != *latin1)
        return Fail("\"name\" is not the name that \"name-bytes\" holds");
    return true;
}

Expected<EntrySlot> ReadSide(const ReadJson &entryObject, const char *key)
{
    const std::string where = "\"" + std::string(key) + "\"";
    if (!entryObject.contains(key))
        return Fail("no " + where + " (null for an absent entry)");
    const ReadJson &side = entryObject.at(key);
    if (side.is_null())
        return EntrySlot();
    if (!side.is_object())
        return Fail(where + " is neither an entry nor null");
    HueEntry entry{};
    Expected<bool> read = ReadWords(side, entry);
    if (read)
        read = ReadName(side, entry);
    if (read && side.contains("carried"))
        read = ReadHex(side, "carried", entry.carried, sizeof entry.carried);
    if (!read)
        return Fail(where + ": " + read.error());
    return EntrySlot(entry);
}

Expected<PatchEntry> ReadEntry(const ReadJson &object)
{
    if (!object.is_object())
        return Fail("is no object");
    const ReadJson *number = object.contains("entry") ? &object.at("entry") : nullptr;
    if (!number || !number->is_number_integer())
        return Fail("\"entry\" is no number");
    const long long n = number->get<long long>();
    if (n < 1 || n > MaxEntryNumber)
        return Fail("entry " + std::to_string(n) + " is outside 1-" +
                    std::to_string(MaxEntryNumber));
    PatchEntry entry;
    entry.number = static_cast<int>(n);
    const std::string where = "entry " + std::to_string(n) + ", ";
    for (const auto &[key, side] : {std::pair("before", &entry.before), {"after", &entry.after}}) {
        Expected<EntrySlot> read = ReadSide(object, key);
        if (!read)
            return Fail(where + read.error());
        *side = std::move(read.value());
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
        return Fail("\"entries\": entry " + std::to_string(twice->number) + " is given twice");
    return patch;
}

Expected<Patch> ReadEntries(const ReadJson &entries)
{
    if (!entries.is_array())
        return Fail("\"entries\" is no list");
    Patch patch;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Expected<PatchEntry> entry = ReadEntry(entries[i]);
        if (!entry)
            return Fail("\"entries\" item " + std::to_string(i + 1) + ": " + entry.error());
        patch.push_back(std::move(entry.value()));
    }
    return InEntryOrder(std::move(patch));
}

// A well-formed patch read as the parser meets its values, with no document built: the
// document, with a node for every word, cost five times the reads and writes of applying it.
// Anything this reader does not expect ends it, and the document reader then reads the patch
// again to name the fault, so both readers accept exactly the same patches.
class WellFormedPatch : public nlohmann::json_sax<ReadJson> {
public:
    bool read(std::string_view bytes)
    {
        return ReadJson::sax_parse(bytes.begin(), bytes.end(), this) && m_versionSeen &&
               m_entriesSeen;
    }
    Patch &entries() { return m_patch; }

    bool null() override
    {
        if (m_skipping)
            return true;
        if (m_expect == Expect::Side) {
            *m_side = EntrySlot();
            return took();
        }
        return scalar();
    }
    bool boolean(bool) override { return m_skipping || scalar(); }
    bool number_integer(number_integer_t value) override
    {
        return value < 0 ? m_skipping || scalar() : number(static_cast<unsigned long long>(value));
    }
    bool number_unsigned(number_unsigned_t value) override { return number(value); }
    bool number_float(number_float_t, const string_t &) override { return m_skipping || scalar(); }
    bool string(string_t &value) override
    {
        if (m_skipping)
            return true;
        switch (m_expect) {
        case Expect::Name:
            m_name = std::move(value);
            m_nameSeen = true;
            return took();
        case Expect::NameBytes:
            m_nameBytes = std::move(value);
            m_nameBytesSeen = true;
            return took();
        case Expect::Carried:
            m_carried = std::move(value);
            m_carriedSeen = true;
            return took();
        default:
            return scalar();
        }
    }
    bool binary(binary_t &) override { return false; }
    bool start_object(std::size_t) override
    {
        if (!deeper())
            return false;
        if (m_skipping || m_expect == Expect::Unknown)
            return skip();
        switch (m_where) {
        case Where::Outside:
            m_where = Where::Document;
            return true;
        case Where::Entries:
            m_where = Where::Entry;
            m_entry = PatchEntry();
            m_numberSeen = m_beforeSeen = m_afterSeen = false;
            return true;
        case Where::Entry:
            if (m_expect != Expect::Side)
                return false;
            m_where = Where::Side;
            m_words = 0;
            m_nameSeen = m_nameBytesSeen = m_carriedSeen = false;
            m_sideEntry = HueEntry{};
            return took();
        default:
            return false;
        }
    }
    bool end_object() override
    {
        --m_depth;
        if (m_skipping)
            return unskip();
        switch (m_where) {
        case Where::Side:
            m_where = Where::Entry;
            return finishSide();
        case Where::Entry:
            m_where = Where::Entries;
            if (!m_numberSeen || !m_beforeSeen || !m_afterSeen)
                return false;
            m_patch.push_back(std::move(m_entry));
            return true;
        case Where::Document:
            m_where = Where::Outside;
            return true;
        default:
            return false;
        }
    }
    bool start_array(std::size_t) override
    {
        if (!deeper())
            return false;
        if (m_skipping || m_expect == Expect::Unknown)
            return skip();
        if (m_where == Where::Document && m_expect == Expect::Entries && !m_entriesSeen) {
            m_entriesSeen = true;
            m_where = Where::Entries;
            return took();
        }
        if (m_where == Where::Side && m_expect == Expect::Words && m_words == 0) {
            m_where = Where::Words;
            return took();
        }
        return false;
    }
    bool end_array() override
    {
        --m_depth;
        if (m_skipping)
            return unskip();
        if (m_where == Where::Entries) {
            m_where = Where::Document;
            return true;
        }
        if (m_where == Where::Words) {
            m_where = Where::Side;
            return m_words == HueColourCount;
        }
        return false;
    }
    bool key(string_t &name) override
    {
        if (m_skipping)
            return true;
        m_expect = KeyMeaning(name);
        return m_expect != Expect::Nothing;
    }
    bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &) override
    {
        return false;
    }

private:
    enum class Where { Outside, Document, Entries, Entry, Side, Words };
    // What the value after a key is; Unknown for a key that is skipped, Nothing for a key the
    // document reader would also have to judge (a key given twice, or where no key belongs).
    enum class Expect {
        Nothing,
        Unknown,
        Version,
        Entries,
        Number,
        Side,
        Words,
        Name,
        NameBytes,
        Carried
    };

    Expect KeyMeaning(const std::string &name)
    {
        const auto once = [](bool &seen, Expect meaning) {
            return std::exchange(seen, true) ? Expect::Nothing : meaning;
        };
        switch (m_where) {
        case Where::Document:
            if (name == VersionKey)
                return once(m_versionSeen, Expect::Version);
            return name == "entries" ? (m_entriesSeen ? Expect::Nothing : Expect::Entries)
                                     : Expect::Unknown;
        case Where::Entry:
            if (name == "entry")
                return once(m_numberSeen, Expect::Number);
            if (name == "before" || name == "after") {
                m_side = name == "before" ? &m_entry.before : &m_entry.after;
                return once(name == "before" ? m_beforeSeen : m_afterSeen, Expect::Side);
            }
            return Expect::Unknown;
        case Where::Side:
            if (name == "words")
                return m_words == 0 ? Expect::Words : Expect::Nothing;
            if (name == "name")
                return m_nameSeen ? Expect::Nothing : Expect::Name;
            if (name == "name-bytes")
                return m_nameBytesSeen ? Expect::Nothing : Expect::NameBytes;
            if (name == "carried")
                return m_carriedSeen ? Expect::Nothing : Expect::Carried;
            return Expect::Unknown;
        default:
            return Expect::Nothing;
        }
    }

    bool number(unsigned long long value)
    {
        if (m_skipping)
            return true;
        if (m_where == Where::Words) {
            if (value > 0xFFFF || m_words >= HueColourCount)
                return false;
            m_sideEntry.colours[m_words++] = static_cast<HueColour>(value);
            return true;
        }
        if (m_expect == Expect::Version)
            return value == PatchVersion && took();
        if (m_expect == Expect::Number) {
            if (value < 1 || value > static_cast<unsigned long long>(MaxEntryNumber))
                return false;
            m_entry.number = static_cast<int>(value);
            return took();
        }
        return scalar();
    }
    // A plain value: skipped under an unknown key, else not what this reader expects.
    bool scalar()
    {
        if (m_where == Where::Words)
            return false;
        return std::exchange(m_expect, Expect::Nothing) == Expect::Unknown;
    }
    bool took()
    {
        m_expect = Expect::Nothing;
        return true;
    }
    bool deeper() { return ++m_depth <= MaxPatchDepth; }
    bool skip()
    {
        m_expect = Expect::Nothing;
        ++m_skipping;
        return true;
    }
    bool unskip()
    {
        --m_skipping;
        return true;
    }
    bool finishSide()
    {
        if (m_words != HueColourCount || !m_nameSeen)
            return false;
        const Expected<std::string> latin1 = NameFromUtf8(m_name);
        if (!latin1)
            return false;
        if (m_nameBytesSeen) {
            const auto bytes = BytesFromHex(m_nameBytes);
            if (!bytes || bytes->size() != sizeof m_sideEntry.name)
                return false;
            std::copy(bytes->begin(), bytes->end(), m_sideEntry.name);
            if (StoredName(m_sideEntry) != *latin1)
                return false;
        } else {
            StoreName(m_sideEntry, *latin1);
        }
        if (m_carriedSeen) {
            const auto bytes = BytesFromHex(m_carried);
            if (!bytes || bytes->size() != sizeof m_sideEntry.carried)
                return false;
            std::copy(bytes->begin(), bytes->end(), m_sideEntry.carried);
        }
        *m_side = EntrySlot(m_sideEntry);
        return true;
    }

    Patch m_patch;
    Where m_where = Where::Outside;
    Expect m_expect = Expect::Nothing;
    int m_depth = 0;
    int m_skipping = 0;
    bool m_versionSeen = false;
    bool m_entriesSeen = false;
    PatchEntry m_entry;
    bool m_numberSeen = false;
    bool m_beforeSeen = false;
    bool m_afterSeen = false;
    EntrySlot *m_side = nullptr;
    HueEntry m_sideEntry{};
    int m_words = 0;
    std::string m_name;
    std::string m_nameBytes;
    std::string m_carried;
    bool m_nameSeen = false;
    bool m_nameBytesSeen = false;
    bool m_carriedSeen = false;
};

// ---- applying

// Puts back what the writes changed, last first, then the length the file had.
void UndoWrites(HueFile &file, const std::vector<EntryWrite> &written, FileOffset earlierSize)
{
    for (auto it = written.rbegin(); it != written.rend(); ++it)
        file.writeEntry(it->entry, it->before, it->after);
    const FileOffset size = file.size();
    // Every byte past the old end reads as zero again once the entries there are put back.
    if (earlierSize >= 0 && size > earlierSize)
        file.giveBackLength(earlierSize, FileBytes(static_cast<std::size_t>(size - earlierSize)));
}

std::string WriteFailure(int number, const std::string &why)
{
    return "entry " + std::to_string(number) + " could not be written (" + why +
           "); every entry is as it was";
}

// ---- merging

// Merges one field of `size` bytes into `result`; true on a conflict. A null base has no
// fields.
bool MergeField(void *result, const void *base, const void *ours, const void *theirs,
                std::size_t size, KeepOnConflict keep)
{
    const bool oursChanged = !base || std::memcmp(base, ours, size) != 0;
    const bool theirsChanged = !base || std::memcmp(base, theirs, size) != 0;
    const bool agree = std::memcmp(ours, theirs, size) == 0;
    const bool conflict = oursChanged && theirsChanged && !agree;
    const bool takeTheirs =
        conflict ? keep == KeepOnConflict::Theirs : theirsChanged && !oursChanged;
    std::memcpy(result, takeTheirs ? theirs : ours, size);
    return conflict;
}

HueEntry MergeFields(int number, const EntrySlot &base, const HueEntry &ours,
                     const HueEntry &theirs, KeepOnConflict keep,
                     std::vector<MergeConflict> &conflicts)
{
    HueEntry merged{};
    const HueEntry *b = base ? &*base : nullptr;
    std::vector<int> slots;
    for (int slot = 0; slot < HueColourCount; ++slot)
        if (MergeField(&merged.colours[slot], b ? &b->colours[slot] : nullptr, &ours.colours[slot],
                       &theirs.colours[slot], sizeof(HueColour), keep))
            slots.push_back(slot);
    std::vector<std::string> fields;
    if (!slots.empty())
        fields.push_back(SlotsText(slots));
    if (MergeField(merged.name, b ? b->name : nullptr, ours.name, theirs.name, sizeof ours.name,
                   keep))
        fields.push_back("name");
    if (MergeField(merged.carried, b ? b->carried : nullptr, ours.carried, theirs.carried,
                   sizeof ours.carried, keep))
        fields.push_back("carried bytes");
    if (!fields.empty())
        conflicts.push_back({number, Joined(fields)});
    return merged;
}

EntrySlot MergeEntry(int number, const EntrySlot &base, const EntrySlot &ours,
                     const EntrySlot &theirs, KeepOnConflict keep,
                     std::vector<MergeConflict> &conflicts)
{
    if (SameSlot(ours, theirs) || SameSlot(theirs, base))
        return ours;
    if (SameSlot(ours, base))
        return theirs;
    if (ours && theirs)
        return MergeFields(number, base, *ours, *theirs, keep, conflicts);
    conflicts.push_back({number, "entry"});
    return keep == KeepOnConflict::Theirs ? theirs : ours;
}

} // namespace

EntrySlots ReadEntrySlots(const HueFile &file)
{
    const FileOffset size = file.size();
    if (size <= 4)
        return {};
    const int reached = std::min<FileOffset>(MaxEntryNumber, EntryAt(size - 1));
    std::vector<bool> whole;
    const std::vector<HueEntry> entries = file.readEntries(1, reached, whole);
    EntrySlots slots(static_cast<std::size_t>(reached));
    for (int i = 0; i < reached; ++i)
        if (whole[static_cast<std::size_t>(i)])
            slots[static_cast<std::size_t>(i)] = entries[static_cast<std::size_t>(i)];
    return slots;
}

EntrySlots EntrySlotsFromBytes(std::string_view bytes)
{
    EntrySlots slots;
    for (int n = 1; n <= MaxEntryNumber; ++n) {
        const auto offset = static_cast<std::size_t>(EntryOffset(n));
        if (offset >= bytes.size())
            break;
        EntrySlot &slot = slots.emplace_back();
        if (bytes.size() - offset >= sizeof(HueEntry))
            std::memcpy(&slot.emplace(), bytes.data() + offset, sizeof(HueEntry));
    }
    return slots;
}

EntrySlot SlotAt(const EntrySlots &slots, int n)
{
    return n >= 1 && static_cast<std::size_t>(n) <= slots.size()
               ? slots[static_cast<std::size_t>(n - 1)]
               : std::nullopt;
}

Patch MakePatch(const EntrySlots &from, const EntrySlots &to)
{
    Patch patch;
    const int count = static_cast<int>(std::max(from.size(), to.size()));
    for (int n = 1; n <= count; ++n) {
        EntrySlot before = SlotAt(from, n);
        EntrySlot after = SlotAt(to, n);
        if (!SameSlot(before, after))
            patch.push_back({n, std::move(before), std::move(after)});
    }
    return patch;
}

Patch Reversed(Patch patch)
{
    for (PatchEntry &entry : patch)
        std::swap(entry.before, entry.after);
    return patch;
}

std::string WritePatch(const Patch &patch)
{
    std::string text = "{\"" + std::string(VersionKey) + "\": " + std::to_string(PatchVersion) +
                       ", \"entries\": [";
    const char *separator = "\n";
    for (const PatchEntry &entry : patch) {
        text += separator;
        text += Json{{"entry", entry.number},
                     {"before", SideObject(entry.before)},
                     {"after", SideObject(entry.after)}}
                    .dump();
        separator = ",\n";
    }
    text += patch.empty() ? "]}\n" : "\n]}\n";
    return text;
}

Expected<Patch> ReadPatch(std::string_view document)
{
    if (std::optional<Patch> written = ReadWrittenPatch(document))
        return InEntryOrder(std::move(*written));
    WellFormedPatch fast;
    if (fast.read(document))
        return InEntryOrder(std::move(fast.entries()));
    return ReadPatchDocument(document);
}

Expected<Patch> ReadPatchDocument(std::string_view document)
{
    ReadJson root;
    try {
        root = ParsePatchDocument(document);
    } catch (const TooDeep &) {
        return Fail("nested deeper than " + std::to_string(MaxPatchDepth) +
                    " levels, which no patch is");
    } catch (const ReadJson::exception &error) {
        return Fail("not json: " + JsonParserReason(error.what()));
    }
    if (!root.is_object() || !root.contains(VersionKey))
        return Fail("not a patch: no \"" + std::string(VersionKey) + "\" version");
    const ReadJson &version = root.at(VersionKey);
    if (!version.is_number_integer() || version.get<long long>() != PatchVersion)
        return Fail("\"" + std::string(VersionKey) + "\": version " + Excerpt(version.dump()) +
                    "; this program reads version " + std::to_string(PatchVersion));
    if (!root.contains("entries"))
        return Fail("no \"entries\"");
    return ReadEntries(root.at("entries"));
}

bool SideMatches(const EntrySlot &side, const EntrySlot &current)
{
    if (!side)
        return !current || IsZero(*current);
    return current && SameBytes(*side, *current);
}

std::string Differences(const EntrySlot &expected, const EntrySlot &found)
{
    if (!found)
        return "absent";
    if (!expected)
        return "holds an entry";
    std::vector<int> slots;
    for (int slot = 0; slot < HueColourCount; ++slot)
        if (expected->colours[slot] != found->colours[slot])
            slots.push_back(slot);
    std::vector<std::string> parts;
    if (!slots.empty())
        parts.push_back(SlotsText(slots));
    if (std::memcmp(expected->name, found->name, sizeof found->name) != 0)
        parts.push_back("name");
    if (std::memcmp(expected->carried, found->carried, sizeof found->carried) != 0)
        parts.push_back("carried bytes");
    return Joined(parts);
}

Expected<ApplyReport> ApplyPatch(HueFile &file, const Patch &patch, ApplyMode mode)
{
    ApplyReport report;
    if (patch.empty())
        return report;
    const int last = patch.back().number;
    std::vector<bool> whole;
    const std::vector<HueEntry> current = file.readEntries(1, last, whole);
    const auto slotOf = [&](int n) {
        const auto i = static_cast<std::size_t>(n - 1);
        return whole[i] ? EntrySlot(current[i]) : std::nullopt;
    };
    for (const PatchEntry &entry : patch)
        if (!SideMatches(entry.before, slotOf(entry.number)))
            report.conflicts.push_back(
                {entry.number, Differences(entry.before, slotOf(entry.number))});
    if (mode == ApplyMode::Check || (mode == ApplyMode::Apply && !report.conflicts.empty()))
        return report;

    const FileOffset earlierSize = file.size();
    std::vector<EntryWrite> &written = report.writes;
    for (const PatchEntry &entry : patch) {
        const EntrySlot now = slotOf(entry.number);
        // An absent after leaves an absent entry as it is: a file is never cut short.
        if (!entry.after && (!now || IsZero(*now)))
            continue;
        if (entry.after && now && SameBytes(*entry.after, *now))
            continue;
        const HueEntry &old = current[static_cast<std::size_t>(entry.number - 1)];
        const HueEntry replacement = entry.after.value_or(HueEntry{});
        if (const Expected<void> landed = file.writeEntry(entry.number, replacement, old);
            !landed) {
            UndoWrites(file, written, earlierSize);
            return Fail(WriteFailure(entry.number, landed.error()));
        }
        written.push_back({entry.number, old, replacement});
        if (!entry.after)
            report.zeroed.push_back(entry.number);
    }
    // Forced, an entry that stayed as it was overwrote nothing. Both lists rise by number.
    const auto notWritten = [&](const PatchConflict &conflict) {
        const auto found = std::lower_bound(
            written.begin(), written.end(), conflict.number,
            [](const EntryWrite &write, int number) { return write.entry < number; });
        return found == written.end() || found->entry != conflict.number;
    };
    report.conflicts.erase(
        std::remove_if(report.conflicts.begin(), report.conflicts.end(), notWritten),
        report.conflicts.end());
    return report;
}

std::string ApplyPatchToBytes(std::string bytes, const Patch &patch)
{
    for (const PatchEntry &entry : patch) {
        const auto offset = static_cast<std::size_t>(EntryOffset(entry.number));
        const bool held = bytes.size() >= offset + sizeof(HueEntry);
        if (!entry.after && !held)
            continue;
        if (!held)
            bytes.resize(offset + sizeof(HueEntry), '\0');
        const HueEntry replacement = entry.after.value_or(HueEntry{});
        std::memcpy(&bytes[offset], &replacement, sizeof replacement);
    }
    return bytes;
}

MergeResult MergeEntries(const EntrySlots &base, const EntrySlots &ours, const EntrySlots &theirs,
                         KeepOnConflict keep)
{
    MergeResult result;
    const std::size_t count = std::max({base.size(), ours.size(), theirs.size()});
    result.merged.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int n = static_cast<int>(i + 1);
        result.merged[i] = MergeEntry(n, SlotAt(base, n), SlotAt(ours, n), SlotAt(theirs, n), keep,
                                      result.conflicts);
    }
    while (!result.merged.empty() && !result.merged.back())
        result.merged.pop_back();
    return result;
}
