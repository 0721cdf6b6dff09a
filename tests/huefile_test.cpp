#include "huefile/checked_write.h"
#include "huefile/colour.h"
#include "huefile/colour_distance.h"
#include "huefile/entry_bytes.h"
#include "huefile/entry_difference.h"
#include "huefile/gradient.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"
#include "huefile/number_text.h"
#include "huefile/oklab.h"
#include "support/byte_model.h"
#include "support/files.h"

#include <gtest/gtest.h>
#ifdef COLVANE_PROPERTIES
#include <rapidcheck/gtest.h>
#endif

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<unsigned char>;

TEST(EntryOffset, BlocksOfEightBehindFourByteHeaders)
{
    EXPECT_EQ(EntryOffset(1), 4);
    EXPECT_EQ(EntryOffset(2), 92);
    EXPECT_EQ(EntryOffset(8), 620);
    EXPECT_EQ(EntryOffset(9), 712);
    // Entry 3000 is the last slot of block 374, so a full file is 375 whole blocks.
    EXPECT_EQ(EntryOffset(3000) + 88, 375 * 708);
}

TEST(EntryRecord, FieldsLieAtTheirFileOffsets)
{
    EXPECT_EQ(offsetof(HueEntry, colours), 0u);
    EXPECT_EQ(offsetof(HueEntry, carried), 64u);
    EXPECT_EQ(offsetof(HueEntry, name), 68u);
}

class HueFileAccess : public ::testing::Test {
protected:
    TempFolder folder;
    std::string file = folder.path("hues.mul");
};

TEST_F(HueFileAccess, ReadsTheEntryAtItsOffset)
{
    WriteHueFile(file, 20);
    HueEntry entry{};
    ASSERT_EQ(ReadEntryFromFile(file, 9, entry), ReadOutcome::Read);
    EXPECT_TRUE(SameEntry(entry, EntryOnDisk(file, 9)));
    EXPECT_STREQ(entry.name, "entry 9");
}

TEST_F(HueFileAccess, WritingOneEntryChangesNoOtherByte)
{
    WriteHueFile(file, 24);
    const auto before = ReadBytes(file);
    HueEntry entry{};
    std::memset(&entry, 0x5A, sizeof entry);
    ASSERT_TRUE(WriteEntryInPlace(file, 10, entry));
    const auto after = ReadBytes(file);
    ASSERT_EQ(after.size(), before.size());
    const auto begin = static_cast<std::size_t>(EntryOffset(10));
    for (std::size_t i = 0; i < after.size(); ++i) {
        const bool inEntry = i >= begin && i < begin + sizeof entry;
        EXPECT_EQ(after[i], inEntry ? 0x5A : before[i]) << " at byte " << i;
    }
}

TEST_F(HueFileAccess, WritingEntryNineIntoOneBlockLeavesTheNextHeaderUnwritten)
{
    WriteHueFile(file, 8);
    ASSERT_EQ(ReadBytes(file).size(), 708u);
    ASSERT_TRUE(WriteEntryInPlace(file, 9, PatternEntry(9, 3)));
    const auto after = ReadBytes(file);
    ASSERT_EQ(after.size(), 800u);
    // The gap the seek left reads as zeroes: nothing was written there.
    for (std::size_t i = 708; i < 712; ++i)
        EXPECT_EQ(after[i], 0) << " at byte " << i;
}

TEST_F(HueFileAccess, NoWriteEverCreatesAFile)
{
    EXPECT_FALSE(HueFile::openForUpdate(file).ok());
    EXPECT_FALSE(FileExists(file));
}

TEST_F(HueFileAccess, AMissingOrPartialRecordReadsAsZeroesNotAsTheOldEntry)
{
    WriteHueFile(file, 8);
    // Cut entry 8 in half.
    auto bytes = ReadBytes(file);
    bytes.resize(static_cast<std::size_t>(EntryOffset(8)) + 40);
    WriteBytes(file, bytes);

    HueEntry entry = PatternEntry(1);
    EXPECT_EQ(ReadEntryFromFile(file, 8, entry), ReadOutcome::NoRecord);
    const HueEntry zero{};
    EXPECT_EQ(std::memcmp(&entry.name, &zero.name, sizeof zero.name), 0);
    EXPECT_EQ(entry.colours[31], 0);

    entry = PatternEntry(1);
    EXPECT_EQ(ReadEntryFromFile(file, 3000, entry), ReadOutcome::NoRecord);
    EXPECT_TRUE(SameEntry(entry, zero));
}

// One read of a range moves the records down over the block headers in place; each entry must
// still come out as reading it alone gives it, wherever the file ends: in a header, within a
// record, or past the range.
#ifdef COLVANE_PROPERTIES
RC_GTEST_PROP(HueFileRangeRead, ARangeReadsAsItsEntriesReadOneByOne, ())
{
    const TempFolder folder;
    const std::string file = folder.path("hues.mul");
    const int first = *rc::gen::inRange(1, MaxEntryNumber + 1);
    const int last = std::min(MaxEntryNumber, first + *rc::gen::inRange(0, 40));
    const long edge = EntryOffset(*rc::gen::inRange(first, last + 2));
    const long length = std::max(0L, edge + *rc::gen::inRange(-90, 90));
    Bytes bytes(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 131 + i / 88 + 1);
    WriteBytes(file, bytes);

    const Expected<HueFile> opened = HueFile::openForReading(file);
    RC_ASSERT(opened.ok());
    std::vector<bool> whole;
    const std::vector<HueEntry> entries = opened->readEntries(first, last, whole);
    RC_ASSERT(entries.size() == static_cast<std::size_t>(last - first + 1));
    RC_ASSERT(whole.size() == entries.size());
    for (int n = first; n <= last; ++n) {
        HueEntry alone{};
        const bool wholeAlone = byte_model::ReadEntry(bytes, n, alone);
        RC_ASSERT(whole[static_cast<std::size_t>(n - first)] == wholeAlone);
        RC_ASSERT(SameBytes(entries[static_cast<std::size_t>(n - first)], alone));
    }
}
#endif

// Two files that share most of their bytes, each cut off anywhere near its end: the entries
// named as differing are exactly those whose records differ in a byte or are whole in one file
// only, and each difference is put down to the part of the record whose bytes differ. Bytes
// of the block headers are no entry's.
#ifdef COLVANE_PROPERTIES
RC_GTEST_PROP(EntryDifferences, NamedExactlyWhereTheRecordsDiffer, ())
{
    const TempFolder folder;
    const long full = byte_model::EndOf(MaxEntryNumber);
    Bytes source(static_cast<std::size_t>(full));
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<unsigned char>(i * 131 + i / 88 + (i % 7 == 0 ? 0 : 1));
    Bytes target = source;
    const int changes = *rc::gen::inRange(0, 40);
    for (int i = 0; i < changes; ++i)
        target[static_cast<std::size_t>(*rc::gen::inRange(0L, full))] ^=
            *rc::gen::inRange<unsigned char>(1, 255);
    // Entries either side of where one piece of a read ends and the next begins.
    const int nearEdge = 256 * *rc::gen::inRange(1, 12) + *rc::gen::inRange(-1, 2);
    target[static_cast<std::size_t>(EntryOffset(nearEdge) + *rc::gen::inRange(0, 88))] ^= 0x5A;
    source.resize(static_cast<std::size_t>(full - *rc::gen::inRange(0L, 3 * HueBlockSize)));
    target.resize(static_cast<std::size_t>(full - *rc::gen::inRange(0L, 3 * HueBlockSize)));
    WriteBytes(folder.path("a.mul"), source);
    WriteBytes(folder.path("b.mul"), target);

    std::vector<int> expected;
    std::vector<int> wholeInSource;
    for (int n = 1; n <= MaxEntryNumber; ++n) {
        HueEntry a{};
        HueEntry b{};
        const bool wholeA = byte_model::ReadEntry(source, n, a);
        const bool wholeB = byte_model::ReadEntry(target, n, b);
        const EntryDifference difference =
            CompareEntries(wholeA ? &a : nullptr, wholeB ? &b : nullptr);
        const bool differs = wholeA != wholeB || (wholeA && !SameBytes(a, b));
        RC_ASSERT(difference.any() == differs);
        RC_ASSERT(EntriesDiffer(wholeA ? &a : nullptr, wholeB ? &b : nullptr) == differs);
        if (differs)
            expected.push_back(n);
        if (wholeA)
            wholeInSource.push_back(n);
        if (!wholeA || !wholeB)
            continue;
        for (int i = 0; i < HueColourCount; ++i)
            RC_ASSERT(difference.colours[static_cast<std::size_t>(i)] ==
                      (a.colours[i] != b.colours[i]));
        RC_ASSERT(difference.carried == (std::memcmp(a.carried, b.carried, 4) != 0));
        RC_ASSERT(difference.nameBytes == (std::memcmp(a.name, b.name, HueNameLength) != 0));
        RC_ASSERT(difference.nameText == (std::string(a.name, strnlen(a.name, HueNameLength)) !=
                                          std::string(b.name, strnlen(b.name, HueNameLength))));
    }
    // The next and the previous difference from anywhere, across the pieces the files are
    // read in, and against a file that does not open, which holds no entries.
    const auto next = [](const std::vector<int> &entries, int current, bool forward) {
        if (forward) {
            const auto found = std::upper_bound(entries.begin(), entries.end(), current);
            return found == entries.end() ? 0 : *found;
        }
        const auto found = std::lower_bound(entries.begin(), entries.end(), current);
        return found == entries.begin() ? 0 : *std::prev(found);
    };
    for (const int current : {*rc::gen::inRange(0, MaxEntryNumber + 2), 1, MaxEntryNumber}) {
        for (const bool forward : {true, false}) {
            RC_ASSERT(NextDifferingEntry(folder.path("a.mul"), folder.path("b.mul"), current,
                                         forward) == next(expected, current, forward));
            RC_ASSERT(NextDifferingEntry(folder.path("a.mul"), folder.path("missing.mul"), current,
                                         forward) == next(wholeInSource, current, forward));
        }
    }
}
#endif

TEST_F(HueFileAccess, AFileThatCannotBeOpenedLeavesTheDestinationAlone)
{
    HueEntry entry = PatternEntry(5);
    EXPECT_EQ(ReadEntryFromFile(file, 1, entry), ReadOutcome::NotOpened);
    EXPECT_STREQ(entry.name, "entry 5");
}

// Where locks are binding, as on Windows, a lock over the entries would make every read fail
// while a write runs; the writers' lock keeps writers apart and nothing else.
TEST_F(HueFileAccess, TheWritersLockKeepsOutWritersAndNoReader)
{
    WriteHueFile(file, 16);
    std::optional<HueFile> holder = Held(HueFile::openForUpdate(file));
    ASSERT_TRUE(holder.has_value());
    ASSERT_TRUE(WriteOneEntry(*holder, 3, PatternEntry(3, 9), Flushes::KillOnly));
    HueEntry entry{};
    EXPECT_EQ(ReadEntryFromFile(file, 3, entry), ReadOutcome::Read);
    EXPECT_TRUE(SameEntry(entry, PatternEntry(3, 9)));
    EXPECT_EQ(ReadBytes(file).size(), static_cast<std::size_t>(EntryOffset(16) + 88));
    const Expected<HueFile> second =
        OpenHueFile(file, HueFileUse::Update, std::chrono::milliseconds(30));
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error(), "locked by another process");
    holder.reset();
    EXPECT_TRUE(OpenHueFile(file, HueFileUse::Update).ok());
}

// A write that must not overwrite another writer's change lands only where the entry holds,
// byte for byte, what the caller saw there: zeroes where the file ends, a byte behind the name's
// terminator included. Otherwise the file keeps every byte and its length, and the caller learns
// what it holds.
TEST_F(HueFileAccess, ACheckedWriteLandsOnlyOverWhatTheCallerSaw)
{
    // Entry 8 is cut after 40 bytes; entry 12 lies beyond the end.
    HueEntry cut = PatternEntry(8);
    std::memset(reinterpret_cast<char *>(&cut) + 40, 0, sizeof cut - 40);
    HueEntry nameTail = PatternEntry(5);
    nameTail.name[19] = 'Z';
    const struct {
        const char *what;
        int entry;
        std::optional<HueEntry> seen;
        CheckedWriteOutcome outcome;
    } cases[] = {
        {"unchecked", 5, std::nullopt, CheckedWriteOutcome::Written},
        {"as seen", 5, PatternEntry(5), CheckedWriteOutcome::Written},
        {"another colour", 5, PatternEntry(5, 1), CheckedWriteOutcome::Stale},
        {"a byte behind the name's end", 5, nameTail, CheckedWriteOutcome::Stale},
        {"cut, seen cut", 8, cut, CheckedWriteOutcome::Written},
        {"cut, seen whole", 8, PatternEntry(8), CheckedWriteOutcome::Stale},
        {"beyond the end, seen as zeroes", 12, HueEntry{}, CheckedWriteOutcome::Written},
        {"beyond the end, seen whole", 12, PatternEntry(12), CheckedWriteOutcome::Stale},
    };
    const HueEntry mine = PatternEntry(40, 9);
    for (const auto &c : cases) {
        WriteHueFile(file, 8);
        Bytes bytes = ReadBytes(file);
        bytes.resize(static_cast<std::size_t>(EntryOffset(8)) + 40);
        WriteBytes(file, bytes);
        HueEntry held{};
        ReadEntryFromFile(file, c.entry, held);
        std::optional<HueFile> opened = Held(HueFile::openForUpdate(file));
        ASSERT_TRUE(opened.has_value()) << c.what;
        const CheckedWrite result =
            WriteEntryIfUnchanged(*opened, c.entry, mine, c.seen ? &*c.seen : nullptr,
                                  Flushes::KillOnly);
        opened.reset();
        EXPECT_EQ(result.outcome, c.outcome) << c.what;
        EXPECT_TRUE(SameEntry(result.found, held)) << c.what;
        if (c.outcome == CheckedWriteOutcome::Stale) {
            EXPECT_EQ(ReadBytes(file), bytes) << c.what;
            continue;
        }
        Bytes expected = bytes;
        byte_model::PutBytes(expected, EntryOffset(c.entry), &mine, sizeof mine);
        EXPECT_EQ(ReadBytes(file), expected) << c.what;
    }
}

struct NameCase {
    const char *name;
    // The reasons for reading and for an update; empty where the file opens.
    const char *notForReading;
    const char *notForUpdate;
};

// Only a regular file that does not look like text is a hue file, and one that is read-only
// for everyone opens for reading alone, root included. A row read is one read of the entry
// and looks at nothing else.
TEST_F(HueFileAccess, WhatIsAHueFileAndWhyNot)
{
    WriteHueFile("hues.mul", 3);
    WriteHueFile("locked.mul", 3);
    ASSERT_TRUE(MakeReadOnly("locked.mul"));
    WriteBytes("empty.mul", {});
    WriteBytes("notes.txt", Bytes(100, 'n'));
    Bytes zeroAtTheLastCheckedByte(5000, 'n');
    zeroAtTheLastCheckedByte[4095] = 0;
    WriteBytes("late.mul", zeroAtTheLastCheckedByte);
    Bytes zeroTooLate(5000, 'n');
    zeroTooLate[4096] = 0;
    WriteBytes("long.txt", zeroTooLate);
    ASSERT_TRUE(std::filesystem::create_directory("folder.mul"));
#ifndef _WIN32
    ASSERT_EQ(mkfifo("pipe.mul", 0644), 0);
#endif
    const char *text = "looks like text, not a hue file";
    const NameCase cases[] = {
        {"hues.mul", "", ""},
        {"empty.mul", "", ""},
        {"late.mul", "", ""},
        {"locked.mul", "", "read-only"},
        {"notes.txt", text, text},
        {"long.txt", text, text},
        {"missing.mul", "no such file", "no such file"},
        {"hues.mul/1", "a part of the path is not a folder", "a part of the path is not a folder"},
        {"folder.mul", "a folder", "a folder"},
        {".", "a folder", "a folder"},
#ifdef _WIN32
        {"hues.mul\\1", "a part of the path is not a folder", "a part of the path is not a folder"},
        {"NUL", "a device, not a regular file", "a device, not a regular file"},
#else
        {"pipe.mul", "a pipe, not a regular file", "a pipe, not a regular file"},
        {"/dev/null", "a device, not a regular file", "a device, not a regular file"},
#endif
        {"", "no file name", "no file name"},
    };
    for (const NameCase &c : cases) {
        // An open for update holds the writers' lock while it lives, so each goes at once.
        const auto whyNot = [&c](HueFileUse use) {
            const Expected<HueFile> file = OpenHueFile(c.name, use);
            return file ? std::string() : file.error();
        };
        EXPECT_EQ(whyNot(HueFileUse::Reading), c.notForReading) << c.name;
        EXPECT_EQ(whyNot(HueFileUse::Update), c.notForUpdate) << c.name;
        EXPECT_EQ(CanOpenHueFile(c.name), !*c.notForReading) << c.name;
        const Expected<HueFile> update = HueFile::openForUpdate(c.name);
        EXPECT_EQ(update ? std::string() : update.error(), c.notForUpdate) << c.name;
    }
    const Bytes before = ReadBytes("notes.txt");
    HueEntry entry{};
    EXPECT_EQ(ReadEntryFromFile("notes.txt", 1, entry), ReadOutcome::Read);
    EXPECT_EQ(ReadEntryFromFile(".", 1, entry), ReadOutcome::NotOpened);
    EXPECT_FALSE(WriteEntryInPlace("notes.txt", 1, PatternEntry(1)));
    EXPECT_FALSE(WriteEntryInPlace("locked.mul", 1, PatternEntry(1, 7)));
    EXPECT_EQ(ReadBytes("notes.txt"), before);
    EXPECT_TRUE(SameEntry(EntryOnDisk("locked.mul", 1), PatternEntry(1)));
}

#ifndef _WIN32
// A program started with its standard streams closed must not get a hue file under their
// numbers, or a warning meant for standard error would be written into the file.
TEST_F(HueFileAccess, AHueFileNeverTakesTheNumberOfAClosedStandardStream)
{
    WriteHueFile(file, 8);
    const auto before = ReadBytes(file);
    const int savedError = dup(STDERR_FILENO);
    ASSERT_GE(savedError, 0);
    close(STDERR_FILENO);
    std::optional<HueFile> opened = Held(HueFile::openForUpdate(file));
    const bool strayWriteLanded = write(STDERR_FILENO, "stray warning\n", 14) > 0;
    opened.reset();
    // A program's start fills the gap with the null device.
    OpenClosedStandardStreams();
    struct stat filled {};
    struct stat null {};
    const bool nullDevice = fstat(STDERR_FILENO, &filled) == 0 && stat("/dev/null", &null) == 0 &&
                            filled.st_rdev == null.st_rdev;
    dup2(savedError, STDERR_FILENO);
    close(savedError);
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(strayWriteLanded);
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_TRUE(nullDevice);
}

#endif

struct ConversionCase {
    HueColour word;
    DisplayColour display;
};

TEST(ColourConversion, WordsShowWithFiveSignificantBitsPerChannel)
{
    const ConversionCase cases[] = {
        {0x7FFF, 0xF8F8F8}, {0x8000, 0x000000}, {0x7C00, 0x0000F8},
        {0x001F, 0xF80000}, {0x03E0, 0x00F800}, {0x0421, 0x080808},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HueWordToDisplay(c.word), c.display) << std::hex << " word " << c.word;
}

TEST(ColourConversion, DisplayToHueTruncatesTheLowBits)
{
    EXPECT_EQ(DisplayToHue(0xFFFFFF), 0x7FFF);
    EXPECT_EQ(DisplayToHue(0x070707), 0);
    EXPECT_EQ(DisplayToHue(0x0080F8), 0x7E00);
}

TEST(ColourConversion, RoundTripClearsOnlyBitFifteen)
{
    for (unsigned word = 0; word <= 0xFFFF; word += 7) {
        const auto colour = static_cast<HueColour>(word);
        EXPECT_EQ(DisplayToHue(HueWordToDisplay(colour)), colour & 0x7FFF) << " word " << word;
    }
}

struct NumberCase {
    const char *text;
    std::optional<std::int32_t> value;
};

TEST(NumberTextRule, AcceptsAndRejectsExactly)
{
    // clang-format off
    const NumberCase cases[] = {
        {"12", 12}, {"007", 7}, {" 12", 12}, {"   3", 3}, {"+5", 5}, {"-3", -3}, {"-0", 0},
        {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
        {"$10", 16}, {"x10", 16}, {"X10", 16}, {"0x10", 16}, {"0X1f", 31}, {"$1F", 31},
        {"$FFFFFFFF", -1}, {"$80000000", INT32_MIN},
        {"", std::nullopt}, {"   ", std::nullopt}, {"-", std::nullopt}, {"+", std::nullopt},
        {"12 ", std::nullopt}, {"12a", std::nullopt}, {"-$10", std::nullopt},
        {"+0x10", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt},
        {"$100000000", std::nullopt}, {"2147483648", std::nullopt}, {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt}, {"1 2", std::nullopt}, {"\t5", std::nullopt},
        {"$1G", std::nullopt},
    };
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(NumberText(c.text), c.value) << " text \"" << c.text << "\"";
}

// Every number the program writes back into a field reads as the same number again.
#ifdef COLVANE_PROPERTIES
RC_GTEST_PROP(NumberTextRule, WrittenNumbersReadBackUnchanged, (std::int32_t value))
{
    RC_ASSERT(NumberText(NumberToText(value)) == std::optional<std::int32_t>(value));
}
#endif

struct GradientCase {
    DisplayColour lo, hi;
    int span;
    std::vector<int> reds;
};

TEST(Gradient, ChannelsMoveWithDivisionTruncatingTowardZero)
{
    const DisplayColour red17 = 17 * 8;
    const GradientCase cases[] = {
        {red17, 0, 16, {17, 16, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {0, red17, 16, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
    };
    for (const auto &c : cases) {
        for (int k = 0; k < c.span; ++k)
            EXPECT_EQ(RedOf(GradientColour(c.lo, c.hi, k, c.span)), c.reds[k]) << " k=" << k;
    }
}

TEST(Gradient, RedToBlueMatchesTheWorkedExample)
{
    const HueColour expected[] = {0x7C00, 0x6405, 0x500A, 0x3C0F, 0x2814, 0x1419};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(DisplayToHue(GradientColour(0x0000F8, 0xF80000, k, 6)), expected[k])
            << " k=" << k;
}

struct OklabRampCase {
    const char *what;
    std::vector<std::array<int, 3>> ramp;
};

// Relative luminance of 5-bit sRGB channels, to compare how light two middles look.
double Luminance(DisplayColour colour)
{
    const auto linear = [](int channel) { return std::pow(channel / 31.0, 2.2); };
    return 0.2126 * linear(RedOf(colour)) + 0.7152 * linear(GreenOf(colour)) +
           0.0722 * linear(BlueOf(colour));
}

// Reference ramps from a throwaway Python script: the published sRGB-to-OKLab matrices, their
// inverses found by Gauss-Jordan elimination (not the rounded inverses the program carries),
// the sRGB transfer curve, channels rounded to the nearest of 0 to 31 after clamping.
TEST(OklabGradient, MatchesIndependentlyComputedRampsAndBendsLightnessTheRightWay)
{
    const OklabRampCase cases[] = {
        {"blue to yellow",
         {{0, 0, 31},
          {0, 10, 30},
          {4, 14, 28},
          {9, 18, 26},
          {13, 21, 24},
          {18, 24, 22},
          {22, 26, 18},
          {26, 29, 14},
          {31, 31, 0}}},
        {"black to white",
         {{0, 0, 0},
          {1, 1, 1},
          {4, 4, 4},
          {8, 8, 8},
          {12, 12, 12},
          {16, 16, 16},
          {21, 21, 21},
          {26, 26, 26},
          {31, 31, 31}}},
        {"red to blue",
         {{31, 0, 0},
          {26, 8, 11},
          {22, 10, 16},
          {17, 10, 20},
          {12, 9, 24},
          {7, 7, 27},
          {0, 0, 31}}},
        {"red to green, clamped", {{31, 0, 0}, {29, 14, 0}, {25, 20, 0}, {19, 26, 0}, {0, 31, 0}}},
        {"white to cyan", {{31, 31, 31}, {22, 31, 31}, {0, 31, 31}}},
    };
    const auto colour = [](const std::array<int, 3> &c) {
        return DisplayFromChannels(c[0], c[1], c[2]);
    };
    for (const auto &c : cases) {
        const int span = static_cast<int>(c.ramp.size()) - 1;
        const DisplayColour lo = colour(c.ramp.front());
        const DisplayColour hi = colour(c.ramp.back());
        for (int k = 0; k <= span; ++k)
            EXPECT_EQ(OklabGradientColour(lo, hi, k, span), colour(c.ramp[k]))
                << c.what << " k=" << k;
    }
    const auto middles = [&](const OklabRampCase &c) {
        const int span = static_cast<int>(c.ramp.size()) - 1;
        const DisplayColour lo = colour(c.ramp.front());
        const DisplayColour hi = colour(c.ramp.back());
        return std::make_pair(Luminance(OklabGradientColour(lo, hi, span / 2, span)),
                              Luminance(GradientColour(lo, hi, span / 2, span)));
    };
    const auto [blueYellowOklab, blueYellowRgb] = middles(cases[0]);
    EXPECT_GT(blueYellowOklab, blueYellowRgb);
    const auto [blackWhiteOklab, blackWhiteRgb] = middles(cases[1]);
    EXPECT_LT(blackWhiteOklab, blackWhiteRgb);
}

struct ColourRankCase {
    DisplayColour target;
    ColourMeasure measure;
    std::vector<RankedEntry> ranked;
};

// Distances from a throwaway Python script: the published sRGB-to-LMS and LMS-to-OKLab
// matrices, the sRGB transfer curve, the target's bytes read as c / 255 and the entries' 5-bit
// channels as c / 31. Entry 2 is empty and entry 6 only partly in the file; entry 4 is entry 1
// again, and entry 5's orange is entry 1's, so their ties show the entries' order kept.
TEST(ColourRanking, MatchesIndependentlyComputedDistancesSkippingEmptyAndPartEntries)
{
    const HueColour black = 0, white = 0x7FFF, blue = 0x001F;
    const HueColour orange = 31 << 10 | 16 << 5;
    std::vector<HueEntry> entries(6);
    std::fill(std::begin(entries[0].colours), std::end(entries[0].colours), black);
    entries[0].colours[5] = orange;
    std::strcpy(entries[0].name, "black, orange");
    std::fill(std::begin(entries[2].colours), std::end(entries[2].colours), white);
    entries[3] = entries[0];
    std::fill(std::begin(entries[4].colours), std::end(entries[4].colours), orange);
    std::fill(std::begin(entries[4].colours) + 16, std::end(entries[4].colours), blue);
    std::fill(std::begin(entries[5].colours), std::end(entries[5].colours), orange);
    const std::vector<bool> whole = {true, true, true, true, true, false};

    const ColourRankCase cases[] = {
        {0x0080FF,
         ColourMeasure::Nearest,
         {{1, 0.007714925}, {4, 0.007714925}, {5, 0.007714925}, {3, 0.326195027}}},
        {0x0080FF,
         ColourMeasure::Mean,
         {{5, 0.282540445}, {3, 0.326195027}, {1, 0.731755048}, {4, 0.731755048}}},
        {0x000000,
         ColourMeasure::Nearest,
         {{1, 0.0}, {4, 0.0}, {5, 0.549926944}, {3, 0.999999993}}},
        // 248 is 31 in 5 bits, but as a byte it stands for 248 / 255, not for white.
        {0xF8F8F8,
         ColourMeasure::Nearest,
         {{3, 0.020870644}, {1, 0.303575894}, {4, 0.303575894}, {5, 0.303575894}}},
    };
    for (const ColourRankCase &c : cases) {
        const std::vector<RankedEntry> ranked = RankByColour(entries, whole, c.target, c.measure);
        ASSERT_EQ(ranked.size(), c.ranked.size()) << std::hex << c.target;
        for (std::size_t i = 0; i < ranked.size(); ++i) {
            EXPECT_EQ(ranked[i].entry, c.ranked[i].entry) << std::hex << c.target << " rank " << i;
            EXPECT_NEAR(ranked[i].distance, c.ranked[i].distance, 1e-7)
                << std::hex << c.target << " rank " << i;
        }
    }
}

// Any one bit of the 88 bytes makes an entry used, bit 15 of a colour, a carried byte and a name
// byte behind the terminator included: the ranking then takes it in, beside an all-zero entry
// it leaves out, and the two compare as different.
TEST(EmptyEntry, AnySetBitMakesAnEntryUsed)
{
    const HueEntry zero{};
    ASSERT_TRUE(IsEmptyEntry(zero));
    for (std::size_t byte = 0; byte < sizeof(HueEntry); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            HueEntry entry{};
            reinterpret_cast<unsigned char *>(&entry)[byte] = static_cast<unsigned char>(1 << bit);
            EXPECT_FALSE(IsEmptyEntry(entry)) << "byte " << byte << " bit " << bit;
            EXPECT_FALSE(SameBytes(entry, zero)) << "byte " << byte << " bit " << bit;
            const std::vector<RankedEntry> ranked =
                RankByColour({zero, entry}, {true, true}, 0x000000, ColourMeasure::Mean);
            ASSERT_EQ(ranked.size(), 1u) << "byte " << byte << " bit " << bit;
            EXPECT_EQ(ranked[0].entry, 2) << "byte " << byte << " bit " << bit;
        }
    }
}

} // namespace
