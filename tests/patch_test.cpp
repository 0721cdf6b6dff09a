#include "support/test_support.h"

#include "huefile/entry_bytes.h"
#include "huefile/formats/patch.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <rapidcheck/gtest.h>

// Patches and merges through their library, on real files; the command line's refusals are in
// the command line's table.

namespace {

using Bytes = std::vector<unsigned char>;

// Entries that are mostly zero bytes, so that two of them often share fields.
rc::Gen<HueEntry> AnyEntry()
{
    return rc::gen::map(rc::gen::container<Bytes>(sizeof(HueEntry),
                                                  rc::gen::weightedOneOf<unsigned char>(
                                                      {{3, rc::gen::just<unsigned char>(0)},
                                                       {1, rc::gen::arbitrary<unsigned char>()}})),
                        [](const Bytes &bytes) {
                            HueEntry entry{};
                            std::memcpy(&entry, bytes.data(), sizeof entry);
                            return entry;
                        });
}

// A hue file's bytes: whole entries, then maybe part of one more, in zeroes: a part of
// other bytes might look like text, which no hue file does.
Bytes FileOf(const std::vector<HueEntry> &entries, std::size_t tail)
{
    Bytes bytes;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i % 8 == 0)
            bytes.insert(bytes.end(), 4, 0xA5);
        const auto *record = reinterpret_cast<const unsigned char *>(&entries[i]);
        bytes.insert(bytes.end(), record, record + sizeof(HueEntry));
    }
    bytes.resize(bytes.size() + std::min(tail, sizeof(HueEntry) - 1), 0);
    return bytes;
}

// Another version of the entries: some changed, some kept, the list cut or grown.
std::vector<HueEntry> Edited(std::vector<HueEntry> entries)
{
    entries.resize(*rc::gen::inRange<std::size_t>(0, 20));
    for (HueEntry &entry : entries)
        if (*rc::gen::inRange(0, 3) == 0)
            entry = *AnyEntry();
    return entries;
}

EntrySlots SlotsOfFile(const std::string &fileName)
{
    const Expected<HueFile> file = HueFile::openForReading(fileName);
    RC_ASSERT(file.ok());
    return ReadEntrySlots(*file);
}

void ApplyToFile(const std::string &fileName, const Patch &patch)
{
    Expected<HueFile> file = HueFile::openForUpdate(fileName);
    RC_ASSERT(file.ok());
    const Expected<ApplyReport> report = ApplyPatch(*file, patch, ApplyMode::Apply, Flushes::KillOnly);
    RC_ASSERT(report.ok());
    RC_ASSERT(report->conflicts.empty());
}

bool SameSlots(EntrySlots x, EntrySlots y)
{
    const std::size_t count = std::max(x.size(), y.size());
    x.resize(count);
    y.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        if (x[i].has_value() != y[i].has_value() || (x[i] && !SameEntry(*x[i], *y[i])))
            return false;
    return true;
}

// The merge's rule for an entry that one side lacks: where the base and the other side hold
// it, the merge lists it as absent in that side and keeps the side asked for, and it says
// "absent" nowhere else. An entry that OURS holds, not all zero, and the merge leaves absent
// is listed as zeroed. Gives the numbers of the absences.
std::vector<int> CheckAbsences(const EntrySlots &base, const EntrySlots &ours,
                               const EntrySlots &theirs, KeepOnConflict keep,
                               const MergeResult &merge)
{
    std::vector<int> absent, zeroed;
    std::vector<MergeConflict> said;
    for (const MergeConflict &conflict : merge.conflicts)
        if (conflict.fields.rfind("absent", 0) == 0)
            said.push_back(conflict);
    const auto count = static_cast<int>(std::max({base.size(), ours.size(), theirs.size()}));
    for (int n = 1; n <= count; ++n) {
        const EntrySlot our = SlotAt(ours, n);
        const EntrySlot their = SlotAt(theirs, n);
        if (SlotAt(base, n) && our.has_value() != their.has_value()) {
            RC_ASSERT(absent.size() < said.size());
            RC_ASSERT(said[absent.size()].number == n);
            RC_ASSERT(said[absent.size()].fields ==
                      std::string(our ? "absent in THEIRS" : "absent in OURS"));
            RC_ASSERT(
                SameSlots({SlotAt(merge.merged, n)}, {keep == KeepOnConflict::Ours ? our : their}));
            absent.push_back(n);
        }
        if (our && !IsEmptyEntry(*our) && !SlotAt(merge.merged, n))
            zeroed.push_back(n);
    }
    RC_ASSERT(said.size() == absent.size());
    RC_ASSERT(merge.zeroed == zeroed);
    return absent;
}

// The patch from A to B, through its written form, turns A into B for every entry B has and
// zeroes the others that A had, never cutting the file; taken back, it gives A again wherever
// A had an entry. A merge where one side did nothing gives the other side, except where that
// side lacks an entry, and of a file with itself gives that file, whatever the base. Merges of
// any two versions, and of two cuts of the base, follow the rule for absent entries.
RC_GTEST_PROP(PatchRoundTrip, DiffApplyReverseAndMergeAgree, ())
{
    const TempFolder folder;
    const std::vector<HueEntry> a = *rc::gen::container<std::vector<HueEntry>>(
        *rc::gen::inRange<std::size_t>(0, 20), AnyEntry());
    const std::vector<HueEntry> b = Edited(a);
    const Bytes aBytes = FileOf(a, *rc::gen::inRange<std::size_t>(0, 100));
    WriteBytes("a.mul", aBytes);
    WriteBytes("b.mul", FileOf(b, *rc::gen::inRange<std::size_t>(0, 100)));
    WriteBytes("t.mul", aBytes);
    const EntrySlots slotsA = SlotsOfFile("a.mul");
    const EntrySlots slotsB = SlotsOfFile("b.mul");

    const Expected<Patch> patch = ReadPatch(WritePatch(MakePatch(slotsA, slotsB)));
    RC_ASSERT(patch.ok());
    ApplyToFile("t.mul", *patch);
    const EntrySlots applied = SlotsOfFile("t.mul");
    RC_ASSERT(ReadBytes("t.mul").size() >= aBytes.size());
    for (std::size_t i = 0; i < std::max(slotsA.size(), slotsB.size()); ++i) {
        const EntrySlot got = SlotAt(applied, static_cast<int>(i + 1));
        if (SlotAt(slotsB, static_cast<int>(i + 1)))
            RC_ASSERT(got && SameEntry(*got, *slotsB[i]));
        else if (SlotAt(slotsA, static_cast<int>(i + 1)))
            RC_ASSERT(got && SameEntry(*got, HueEntry{}));
    }
    const std::string aText(aBytes.begin(), aBytes.end());
    RC_ASSERT(SameSlots(EntrySlotsFromBytes(ApplyPatchToBytes(aText, *patch)), applied));

    ApplyToFile("t.mul", Reversed(*patch));
    const EntrySlots back = SlotsOfFile("t.mul");
    for (std::size_t i = 0; i < slotsA.size(); ++i)
        if (slotsA[i])
            RC_ASSERT(SlotAt(back, static_cast<int>(i + 1)) &&
                      SameEntry(*SlotAt(back, static_cast<int>(i + 1)), *slotsA[i]));

    const KeepOnConflict keep = *rc::gen::element(KeepOnConflict::Ours, KeepOnConflict::Theirs);
    for (const MergeResult &merge :
         {MergeEntries(slotsB, slotsA, slotsA, keep), MergeEntries(slotsA, slotsA, slotsA, keep)}) {
        RC_ASSERT(merge.conflicts.empty());
        RC_ASSERT(SameSlots(merge.merged, slotsA));
    }
    // What a merge should give wherever it lists no absence.
    const auto agrees = [&](const MergeResult &merge, const std::vector<int> &absent,
                            const std::function<EntrySlot(int)> &expected) {
        RC_ASSERT(merge.conflicts.size() == absent.size());
        const auto count = static_cast<int>(std::max(slotsA.size(), slotsB.size()));
        for (int n = 1; n <= count; ++n)
            if (std::find(absent.begin(), absent.end(), n) == absent.end())
                RC_ASSERT(SameSlots({SlotAt(merge.merged, n)}, {expected(n)}));
    };
    for (const bool oursChanged : {false, true}) {
        const EntrySlots &ours = oursChanged ? slotsB : slotsA;
        const EntrySlots &theirs = oursChanged ? slotsA : slotsB;
        const MergeResult merge = MergeEntries(slotsA, ours, theirs, keep);
        agrees(merge, CheckAbsences(slotsA, ours, theirs, keep, merge),
               [&](int n) { return SlotAt(slotsB, n); });
    }

    WriteBytes("c.mul", FileOf(Edited(a), *rc::gen::inRange<std::size_t>(0, 100)));
    const EntrySlots slotsC = SlotsOfFile("c.mul");
    CheckAbsences(slotsA, slotsB, slotsC, keep, MergeEntries(slotsA, slotsB, slotsC, keep));
    const auto cut = [&](std::size_t size) {
        return EntrySlots(slotsA.begin(), slotsA.begin() + static_cast<std::ptrdiff_t>(size));
    };
    const std::size_t ourEnd = *rc::gen::inRange<std::size_t>(0, slotsA.size() + 1);
    const std::size_t theirEnd = *rc::gen::inRange<std::size_t>(0, slotsA.size() + 1);
    const MergeResult cuts = MergeEntries(slotsA, cut(ourEnd), cut(theirEnd), keep);
    agrees(cuts, CheckAbsences(slotsA, cut(ourEnd), cut(theirEnd), keep, cuts),
           [&](int n) { return SlotAt(cut(std::min(ourEnd, theirEnd)), n); });
}

// An entry whose name is any run of up to 20 bytes other than zero: every Latin-1 character,
// those json escapes included.
rc::Gen<HueEntry> AnyNamedEntry()
{
    return rc::gen::apply(
        [](HueEntry entry, const std::string &name) {
            std::memset(entry.name, 0, sizeof entry.name);
            std::memcpy(entry.name, name.data(), std::min(name.size(), sizeof entry.name));
            return entry;
        },
        AnyEntry(),
        rc::gen::container<std::string>(rc::gen::map(
            rc::gen::inRange(1, 256), [](int byte) { return static_cast<char>(byte); })));
}

std::string Latin1Hex(const void *bytes, std::size_t count)
{
    std::string hex;
    for (std::size_t i = 0; i < count; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<const unsigned char *>(bytes)[i]);
        hex += digits;
    }
    return hex;
}

// A patch as the json library writes it, one entry a line: the layout that patches have always
// had, which every patch written must keep byte for byte, since patches are compared, merged
// and kept under version control.
std::string ReferenceDocument(const Patch &patch)
{
    using Json = nlohmann::ordered_json;
    const auto side = [](const EntrySlot &slot) -> Json {
        if (!slot)
            return nullptr;
        std::string utf8;
        for (std::size_t i = 0; i < sizeof slot->name && slot->name[i]; ++i) {
            const auto byte = static_cast<unsigned char>(slot->name[i]);
            if (byte >= 0x80)
                utf8 +=
                    {static_cast<char>(0xC0 | byte >> 6), static_cast<char>(0x80 | (byte & 0x3F))};
            else
                utf8 += static_cast<char>(byte);
        }
        return Json{{"name", utf8},
                    {"name-bytes", Latin1Hex(slot->name, sizeof slot->name)},
                    {"words", slot->colours},
                    {"carried", Latin1Hex(slot->carried, sizeof slot->carried)}};
    };
    std::string text = "{\"colvane-patch\": 1, \"entries\": [";
    for (std::size_t i = 0; i < patch.size(); ++i)
        text += (i ? ",\n" : "\n") + Json{{"entry", patch[i].number},
                                          {"before", side(patch[i].before)},
                                          {"after", side(patch[i].after)}}
                                         .dump();
    return text + (patch.empty() ? "]}\n" : "\n]}\n");
}

// Names of every Latin-1 byte and words of every bit are written as the json library wrote
// them, and the document reader, which reads the escaped names the fast reader leaves to it,
// reads them back.
RC_GTEST_PROP(PatchWriting, WritesTheLayoutPatchesHaveAlwaysHad, ())
{
    const auto side = [] {
        return *rc::gen::weightedOneOf<EntrySlot>(
            {{1, rc::gen::just(EntrySlot())}, {4, rc::gen::cast<EntrySlot>(AnyNamedEntry())}});
    };
    Patch patch;
    for (int n = 0, count = *rc::gen::inRange(0, 10); count > 0; --count) {
        n += *rc::gen::inRange(1, 300);
        patch.push_back({n, side(), side()});
    }
    const std::string written = WritePatch(patch);
    RC_ASSERT(written == ReferenceDocument(patch));
    const Expected<Patch> read = ReadPatchDocument(written);
    RC_ASSERT(read.ok());
    RC_ASSERT(read->size() == patch.size());
    for (std::size_t i = 0; i < patch.size(); ++i) {
        RC_ASSERT((*read)[i].number == patch[i].number);
        RC_ASSERT(
            SameSlots({(*read)[i].before, (*read)[i].after}, {patch[i].before, patch[i].after}));
    }
}

HueEntry Named(const char *name, HueColour colour)
{
    HueEntry entry{};
    std::fill(std::begin(entry.colours), std::end(entry.colours), colour);
    std::strncpy(entry.name, name, sizeof entry.name);
    return entry;
}

struct MergeRow {
    EntrySlot base, ours, theirs;
    // The conflict listed, or "" for none.
    std::string conflict;
    // The merged entry kept with KeepOnConflict::Ours and with KeepOnConflict::Theirs.
    EntrySlot keptOurs, keptTheirs;
};

// Field by field: a recolour and a rename of one entry meet; an entry changed on both sides
// conflicts and keeps the side asked for. A side that lacks an entry the base and the other
// side hold deleted nothing: it conflicts as absent, whether or not the other side changed the
// entry, and taking it zeroes only what OURS held. An entry the base lacks is an addition.
TEST(PatchMerge, MergesFieldsAndNamesEachConflict)
{
    HueEntry recoloured = Named("sky", 1);
    recoloured.colours[3] = 9;
    HueEntry both = recoloured;
    std::strncpy(both.name, "cloud", sizeof both.name);
    HueEntry ours5 = Named("sea", 1);
    ours5.colours[0] = ours5.colours[1] = ours5.colours[2] = 7;
    ours5.carried[0] = 1;
    HueEntry theirs5 = ours5;
    theirs5.colours[0] = theirs5.colours[1] = theirs5.colours[2] = 8;
    theirs5.carried[0] = 2;
    const HueEntry sun = Named("sun", 1);
    const HueEntry moon = Named("moon", 1);
    const EntrySlot none;
    const MergeRow rows[] = {
        {Named("sky", 1), recoloured, Named("cloud", 1), "", both, both},
        {Named("sea", 1), ours5, theirs5, "slots 0..2; carried bytes", ours5, theirs5},
        {sun, none, moon, "absent in OURS", none, moon},
        {sun, none, sun, "absent in OURS", none, sun},
        {sun, sun, none, "absent in THEIRS", sun, none},
        {sun, moon, none, "absent in THEIRS", moon, none},
        {HueEntry{}, HueEntry{}, none, "absent in THEIRS", HueEntry{}, none},
        {sun, none, none, "", none, none},
        {none, sun, none, "", sun, sun},
        {none, none, moon, "", moon, moon},
    };
    EntrySlots base, ours, theirs;
    for (const MergeRow &row : rows) {
        base.push_back(row.base);
        ours.push_back(row.ours);
        theirs.push_back(row.theirs);
    }
    for (const KeepOnConflict keep : {KeepOnConflict::Ours, KeepOnConflict::Theirs}) {
        const bool ourSide = keep == KeepOnConflict::Ours;
        const MergeResult merge = MergeEntries(base, ours, theirs, keep);
        std::vector<MergeConflict> conflicts = merge.conflicts;
        for (int n = 1; n <= static_cast<int>(std::size(rows)); ++n) {
            const MergeRow &row = rows[n - 1];
            const auto found =
                std::find_if(conflicts.begin(), conflicts.end(),
                             [n](const MergeConflict &conflict) { return conflict.number == n; });
            EXPECT_EQ(found == conflicts.end() ? "" : found->fields, row.conflict) << "entry " << n;
            if (found != conflicts.end())
                conflicts.erase(found);
            EXPECT_TRUE(
                SameSlots({SlotAt(merge.merged, n)}, {ourSide ? row.keptOurs : row.keptTheirs}))
                << "entry " << n << (ourSide ? ", ours" : ", theirs");
        }
        EXPECT_TRUE(conflicts.empty()) << conflicts.size() << " more conflicts";
        const std::vector<int> zeroed = ourSide ? std::vector<int>() : std::vector<int>{5, 6};
        EXPECT_EQ(merge.zeroed, zeroed);
    }
}

struct PatchRefusal {
    std::string document;
    std::string why;
};

// A patch is refused with one line naming the place.
TEST(PatchReading, RefusesWithThePlace)
{
    const std::string words = "\"words\":[" + std::string(31 * 2, ' ') + "]";
    std::string zeros = "\"words\":[0";
    for (int i = 1; i < 32; ++i)
        zeros += ",0";
    const auto entry = [&](const std::string &number, const std::string &side) {
        return "{\"colvane-patch\":1,\"entries\":[{\"entry\":" + number + ",\"before\":null," +
               "\"after\":{" + side + "}}]}";
    };
    const std::string big = zeros + "],\"name\":\"x\"";
    const PatchRefusal refusals[] = {
        {"{\"colvane-patch\":1,", "not json: line 1, column 20: expected a key in double quotes"},
        {"{\"colvane-patch\":1,\n\"entries\":[\n{\"entry\" 2}]}",
         "not json: line 3, column 10: expected ':'"},
        {"{\"colvane-patch\":2,\"entries\":[]}",
         "\"colvane-patch\": version 2; this program reads version 1"},
        {"{\"colvane-patch\":\"1\",\"entries\":[]}",
         "\"colvane-patch\": version \"1\"; this program reads version 1"},
        {"[1]", "not a patch: no \"colvane-patch\" version"},
        {"{\"colvane-patch\":1}", "no \"entries\""},
        {entry("0", big), "\"entries\" item 1: entry 0 is outside 1-3000"},
        {entry("3001", big), "\"entries\" item 1: entry 3001 is outside 1-3000"},
        {entry("1.5", big), "\"entries\" item 1: \"entry\" is no number"},
        {entry("7", zeros + ",65536],\"name\":\"x\""),
         "\"entries\" item 1: entry 7, \"after\": \"words\": 33 words, an entry holds 32"},
        {entry("7", zeros.substr(0, zeros.size() - 2) + ",65536],\"name\":\"x\""),
         "\"entries\" item 1: entry 7, \"after\": \"words\": slot 31 is no word (0 to 65535)"},
        {entry("7", zeros + "],\"name\":\"abcdefghijklmnopqrstu\""),
         "\"entries\" item 1: entry 7, \"after\": \"name\": the name \"abcdefghijklmnopqrstu\" "
         "has 21 characters, an entry holds 20"},
        {entry("7", zeros + "],\"name\":\"\xE2\x82\xAC\""),
         "\"entries\" item 1: entry 7, \"after\": \"name\": the name \"\xE2\x82\xAC\" holds "
         "\"\xE2\x82\xAC\", which is no Latin-1 character"},
        {entry("7", big + ",\"name-bytes\":\"78\""),
         "\"entries\" item 1: entry 7, \"after\": \"name-bytes\" is not 40 hexadecimal digits"},
        {entry("7", big + ",\"name-bytes\":\"79" + std::string(38, '0') + "\""),
         "\"entries\" item 1: entry 7, \"after\": \"name\" is not the name that \"name-bytes\" "
         "holds"},
        {entry("7", big + ",\"carried\":\"0000000g\""),
         "\"entries\" item 1: entry 7, \"after\": \"carried\" is not 8 hexadecimal digits"},
        {entry("7", words + ",\"name\":\"x\""),
         "\"entries\" item 1: entry 7, \"after\": \"words\": 0 words, an entry holds 32"},
        {"{\"colvane-patch\":1,\"entries\":[{\"entry\":2,\"after\":null}]}",
         "\"entries\" item 1: entry 2, no \"before\" (null for an absent entry)"},
        {"{\"colvane-patch\":1,\"entries\":[{\"entry\":2,\"before\":null,\"after\":null},"
         "{\"entry\":2,\"before\":null,\"after\":null}]}",
         "\"entries\": entry 2 is given twice"},
        {std::string(100, '[') + std::string(100, ']'),
         "nested deeper than 6 levels, which no patch is"},
        {"{\"colvane-patch\":1,\"colvane-patch\":1,\"entries\":[]}",
         "the key \"colvane-patch\" is given twice"},
        {entry("5,\"entry\":6", big), "\"entries\" item 1: the key \"entry\" is given twice"},
        {entry("7", big + ",\"name\":\"y\""),
         "\"entries\" item 1, \"after\": the key \"name\" is given twice"},
        {"{\"colvane-patch\":1,\"entries\":[],\"note\":1,\"note\":[2]}",
         "the key \"note\" is given twice"},
        {"{\"colvane-patch\":1,\"entries\":[],\"notes\":[{},{\"a\\nb\":1,\"a\\nb\":2}]}",
         "\"notes\" item 2: the key \"a\\nb\" is given twice"},
    };
    // Both readers: the document reader words every refusal, whichever reader met it first.
    for (const PatchRefusal &refusal : refusals) {
        for (const Expected<Patch> &patch :
             {ReadPatch(refusal.document), ReadPatchDocument(refusal.document)}) {
            ASSERT_FALSE(patch.ok()) << refusal.document;
            EXPECT_EQ(patch.error(), refusal.why) << refusal.document;
        }
    }
}

} // namespace

namespace {

// A patch as this program writes it, changed in one place: the reader for the written layout
// either reads it as the document reader does, or leaves it to them, refusal and all.
TEST(PatchReading, WrittenLayoutReadsAsTheDocument)
{
    HueEntry before{};
    before.colours[31] = 0x7FFF;
    std::memcpy(before.name, "dark", 4);
    HueEntry after = before;
    std::memcpy(after.name, "x\xE9t\xE9", 4);
    after.carried[3] = 0xAB;
    const std::string written = WritePatch({{7, before, after}, {9, std::nullopt, before}});
    const std::pair<std::string, std::string> changes[] = {
        {"", ""},
        {"32767]", "65536]"},
        {"32767]", "065535]"},
        {"32767]", "1e3]"},
        {"\"entry\":9", "\"entry\":3001"},
        {"\"entry\":9", "\"entry\":7"},
        {"\"entry\":9", "\"entry\":1"},
        {"\"entry\":9", "\"entry\":9,\"entry\":9"},
        {"\"carried\":\"000000ab\"", "\"carried\":\"000000ab\",\"carried\":\"000000ab\""},
        {"\"name\":\"dark\"", "\"name\":\"dar\\u006b\""},
        {"\"name\":\"dark\"", "\"name\":\"darker\""},
        {"6461726b", "6461726B"},
        {"6461726b", "6461726g"},
        {"\"carried\":\"000000ab\"", "\"carried\":\"000000\""},
        {"x\xC3\xA9t", "x\xE9t"},
        {",\"before\":null", ",\"before\" : null"},
        {"\n]}\n", "\n]}\n "},
        {"\n]}\n", "\n]"},
    };
    for (const auto &[from, to] : changes) {
        std::string document = written;
        const std::size_t at = document.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        document.replace(at, from.size(), to);
        const Expected<Patch> read = ReadPatch(document);
        const Expected<Patch> throughDocument = ReadPatchDocument(document);
        ASSERT_EQ(read.ok(), throughDocument.ok()) << document;
        if (!read.ok()) {
            EXPECT_EQ(read.error(), throughDocument.error()) << document;
            continue;
        }
        ASSERT_EQ(read->size(), throughDocument->size()) << document;
        for (std::size_t i = 0; i < read->size(); ++i) {
            EXPECT_EQ((*read)[i].number, (*throughDocument)[i].number) << document;
            for (const auto side : {&PatchEntry::before, &PatchEntry::after})
                EXPECT_TRUE(SameSlots({(*read)[i].*side}, {(*throughDocument)[i].*side}))
                    << document;
        }
    }
}

} // namespace
