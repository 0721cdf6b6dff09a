#include "huefile/file_notices.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"
#include "support/files.h"
#include "support/killed_write.h"

#include <gtest/gtest.h>

#ifdef COLVANE_PROPERTIES
#include <rapidcheck/gtest.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

// A kill is played by hand: an operation writes part of its plan, its journal is saved as it
// stood, the operation ends, and the saved journal is put back, which leaves the file and the
// journal exactly as a kill at that moment would.

namespace {

using Bytes = std::vector<unsigned char>;

const char *const HueName = "hues.mul";

// Notices told while the object lives.
class NoticeLog {
public:
    NoticeLog()
    {
        m_previous = SetNoticeListener([this](const FileNotice &notice) { told.push_back(notice); });
    }
    ~NoticeLog() { SetNoticeListener(m_previous); }
    int count(NoticeKind kind) const
    {
        return static_cast<int>(std::count_if(told.begin(), told.end(),
                                              [kind](const FileNotice &n) { return n.kind == kind; }));
    }
    std::vector<FileNotice> told;

private:
    NoticeListener m_previous;
};

} // namespace

class JournalOnDisk : public ::testing::Test {
protected:
    TempFolder folder;
};

// What an open does with what it finds beside a file that a kill left half written: puts
// back what the journal accounts for, and nothing on the word of a journal that was never
// finished or that no longer describes the file.
TEST_F(JournalOnDisk, WhatAnOpenFindsBesideTheFile)
{
    enum class Journalled { AsLeft, CutShort, RecordBroken, HeaderZeroed, EntryChangedSince };
    enum class Shows { Before, AsLeft };
    struct Case {
        const char *name;
        Journalled journal;
        bool readOnly;
        HueFileUse use;
        Shows onDisk;    // the file after the open
        Shows read;      // what the open reads
        bool journalGoes;
        bool asideMade;
        bool updateRefused;
        NoticeKind notice;
        int notices;
    };
    const Case cases[] = {
        {"put back by a reader", Journalled::AsLeft, false, HueFileUse::Reading, Shows::Before,
         Shows::Before, true, false, false, NoticeKind::RolledBack, 1},
        {"put back by a writer", Journalled::AsLeft, false, HueFileUse::Update, Shows::Before,
         Shows::Before, true, false, false, NoticeKind::RolledBack, 1},
        {"journal cut short", Journalled::CutShort, false, HueFileUse::Update, Shows::AsLeft,
         Shows::AsLeft, true, false, false, NoticeKind::RolledBack, 0},
        {"a record that does not check out", Journalled::RecordBroken, false, HueFileUse::Reading,
         Shows::AsLeft, Shows::AsLeft, true, false, false, NoticeKind::RolledBack, 0},
        {"journal invalidated", Journalled::HeaderZeroed, false, HueFileUse::Update,
         Shows::AsLeft, Shows::AsLeft, true, false, false, NoticeKind::RolledBack, 0},
        {"another writer came in between", Journalled::EntryChangedSince, false,
         HueFileUse::Reading, Shows::AsLeft, Shows::AsLeft, true, true, true, NoticeKind::SetAside,
         1},
        {"a reader that may not write", Journalled::AsLeft, true, HueFileUse::Reading,
         Shows::AsLeft, Shows::Before, false, false, true, NoticeKind::Overlaid, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteHueFile(HueName, 20);
        const Bytes before = ReadBytes(HueName);
        // Entries 15 to 24: half in place, half past the old end.
        ASSERT_TRUE(KillDuring(HueName, {PlanOf(15, 10, 7), 7, true}));
        const std::string journal = JournalOf(HueName);
        Bytes journalBytes = ReadBytes(journal);
        switch (c.journal) {
        case Journalled::AsLeft:
            break;
        case Journalled::CutShort:
            journalBytes.resize(journalBytes.size() - 100);
            break;
        case Journalled::RecordBroken:
            journalBytes[64 + 184 + 50] ^= 1;
            break;
        case Journalled::HeaderZeroed:
            std::fill(journalBytes.begin(), journalBytes.begin() + 64, 0);
            break;
        case Journalled::EntryChangedSince:
            ASSERT_TRUE(WriteBytesAt(HueName, static_cast<long>(EntryOffset(16)),
                                     EntryBytes(PatternEntry(16, 99))));
            break;
        }
        WriteBytes(journal, journalBytes);
        if (c.readOnly) {
            ASSERT_TRUE(MakeReadOnly(HueName));
        }
        const Bytes left = ReadBytes(HueName);

        NoticeLog notices;
        Bytes read;
        {
            std::optional<HueFile> file = Held(OpenHueFile(HueName, c.use));
            ASSERT_TRUE(file.has_value());
            read.resize(static_cast<std::size_t>(file->size()));
            ASSERT_EQ(file->readBytes(read.data(), file->size(), 0), file->size());
        }
        EXPECT_EQ(ReadBytes(HueName), c.onDisk == Shows::Before ? before : left);
        EXPECT_EQ(read, c.read == Shows::Before ? before : left);
        EXPECT_EQ(FileExists(journal), !c.journalGoes);
        EXPECT_EQ(FileExists(AsideOf(HueName)), c.asideMade);
        EXPECT_EQ(notices.count(c.notice), c.notices);
        EXPECT_EQ(static_cast<int>(notices.told.size()), c.notices);
        if (c.notice == NoticeKind::RolledBack && c.notices == 1) {
            EXPECT_EQ(notices.told[0].text, "an interrupted write of 10 entries was rolled back");
        }
        const Expected<HueFile> update = OpenHueFile(HueName, HueFileUse::Update);
        EXPECT_EQ(!update.ok(), c.updateRefused) << update.error();
        if (c.asideMade) {
            EXPECT_NE(update.error().find(".colvane-aside-"), std::string::npos) << update.error();
        }
        RemoveName(journal);
        RemoveName(AsideOf(HueName));
        RemoveName(HueName);
    }
}

// Writes that no operation planned would go past the journal; they change nothing.
TEST_F(JournalOnDisk, WritesOutsideTheirOperationAreRefused)
{
    WriteHueFile(HueName, 8);
    const Bytes before = ReadBytes(HueName);
    std::optional<HueFile> file = Held(HueFile::openForUpdate(HueName));
    ASSERT_TRUE(file.has_value());
    const HueEntry entry = PatternEntry(3, 5);
    EXPECT_FALSE(file->writeEntry(3, entry).ok()) << "no operation";
    {
        Expected<WriteOperation> operation =
            WriteOperation::begin(*file, {{2, entry}, {4, entry}}, Flushes::KillOnly);
        ASSERT_TRUE(operation.ok()) << operation.error();
        EXPECT_FALSE(file->writeEntry(3, entry).ok()) << "an entry the plan left out";
        EXPECT_FALSE(file->extendTo(EntryOffset(9)).ok()) << "past the plan's end";
        EXPECT_FALSE(WriteOperation::begin(*file, {{3, entry}}, Flushes::KillOnly).ok())
            << "a second operation";
    }
    EXPECT_FALSE(file->writeEntry(2, entry).ok()) << "after its operation ended";
    file.reset();
    EXPECT_EQ(ReadBytes(HueName), before);
    std::optional<HueFile> reader = Held(HueFile::openForReading(HueName));
    ASSERT_TRUE(reader.has_value());
    EXPECT_FALSE(WriteOperation::begin(*reader, {{2, entry}}, Flushes::KillOnly).ok());
}

#ifdef COLVANE_PROPERTIES

// Under a file-size limit the journal cannot be written; the write goes as it would without
// one, and says so once.
TEST_F(JournalOnDisk, AWriteWithoutRoomForItsJournalGoesAheadAndSaysSo)
{
    WriteHueFile(HueName, 1);
    NoticeLog notices;
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool written[2] = {};
    for (bool &each : written)
        each = WriteEntryInPlace(HueName, 1, PatternEntry(1, 3));
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_TRUE(written[0] && written[1]);
    EXPECT_TRUE(SameEntry(EntryOnDisk(HueName, 1), PatternEntry(1, 3)));
    EXPECT_FALSE(FileExists(JournalOf(HueName)));
    ASSERT_EQ(notices.told.size(), 1u);
    EXPECT_EQ(notices.told[0].kind, NoticeKind::NoJournal);
}

RC_GTEST_PROP(JournalBytes, ReadBackWholeAndNeverWhenCutOrChanged, ())
{
    ::Journal journal;
    journal.identity = {true, *rc::gen::arbitrary<std::uint64_t>(),
                        *rc::gen::arbitrary<std::uint64_t>()};
    journal.oldLength = *rc::gen::inRange<std::int64_t>(0, 1 << 20);
    const int records = *rc::gen::inRange(0, 6);
    for (int i = 0; i < records; ++i)
        journal.records.push_back({*rc::gen::inRange(1, MaxEntryNumber + 1),
                                   PatternEntry(i, *rc::gen::inRange(0, 999)),
                                   PatternEntry(i, *rc::gen::inRange(0, 999))});
    const std::string bytes = JournalBytes(journal);
    const std::optional<::Journal> back = ParseJournal(bytes);
    RC_ASSERT(back.has_value());
    RC_ASSERT(back->identity == journal.identity);
    RC_ASSERT(back->oldLength == journal.oldLength);
    RC_ASSERT(back->records.size() == journal.records.size());
    for (std::size_t i = 0; i < journal.records.size(); ++i)
        RC_ASSERT(back->records[i].entry == journal.records[i].entry &&
                  SameEntry(back->records[i].before, journal.records[i].before) &&
                  SameEntry(back->records[i].after, journal.records[i].after));
    const auto cut = *rc::gen::inRange<std::size_t>(0, bytes.size());
    RC_ASSERT(!ParseJournal(bytes.substr(0, cut)).has_value());
    std::string changed = bytes;
    changed[*rc::gen::inRange<std::size_t>(0, bytes.size())] ^=
        static_cast<char>(1 << *rc::gen::inRange(0, 8));
    RC_ASSERT(!ParseJournal(changed).has_value());
}

// Wherever a kill stops an operation, and wherever a second kill stops the put-back, the next
// open leaves the file exactly as it was before the operation, and says so once.
RC_GTEST_PROP(JournalRecovery, AnyKilledOperationIsPutBackWhole, ())
{
    TempFolder folder;
    const int count = *rc::gen::inRange(1, 40);
    WriteHueFile(HueName, count);
    const Bytes before = ReadBytes(HueName);
    // Entries that cross a tearing edge are drawn as often as any other, so that tears come.
    std::vector<int> crossing;
    for (int n = 1; n < count + 12; ++n)
        if (EntryOffset(n) / 512 != (EntryOffset(n) + 87) / 512)
            crossing.push_back(n);
    Kill kill;
    const int planned = *rc::gen::inRange(1, 12);
    std::set<int> entries;
    for (int i = 0; i < planned; ++i) {
        const int n = *rc::gen::arbitrary<bool>() ? *rc::gen::elementOf(crossing)
                                                   : *rc::gen::inRange(1, count + 12);
        entries.insert(n);
        HueEntry after = PatternEntry(n, *rc::gen::inRange(1, 999));
        std::snprintf(after.name, sizeof after.name, "after %d", i);
        kill.plan.push_back({n, after});
    }
    kill.landed = *rc::gen::inRange<std::size_t>(0, kill.plan.size() + 1);
    kill.torn = *rc::gen::arbitrary<bool>();
    RC_ASSERT(KillDuring(HueName, kill));

    // The put-back itself killed: some entries back already, or all and the length too.
    const int putBack = *rc::gen::inRange(0, 3);
    if (putBack > 0) {
        for (const int n : entries)
            if ((putBack == 2 || *rc::gen::arbitrary<bool>()) &&
                EntryOffset(n) < static_cast<long>(before.size()))
                WriteBytesAt(HueName, static_cast<long>(EntryOffset(n)),
                             Bytes(before.begin() + EntryOffset(n),
                                   before.begin() + std::min<long>(before.size(),
                                                                   EntryOffset(n) + 88)));
        if (putBack == 2)
            std::filesystem::resize_file(HueName, before.size());
    }

    NoticeLog notices;
    const auto use = *rc::gen::element(HueFileUse::Reading, HueFileUse::Update);
    {
        std::optional<HueFile> file = Held(OpenHueFile(HueName, use));
        RC_ASSERT(file.has_value());
    }
    RC_ASSERT(ReadBytes(HueName) == before);
    RC_ASSERT(!FileExists(JournalOf(HueName)));
    RC_ASSERT(notices.count(NoticeKind::RolledBack) == 1);
    RC_ASSERT(notices.told[0].text == "an interrupted write of " +
                                          std::to_string(entries.size()) +
                                          (entries.size() == 1 ? " entry" : " entries") +
                                          " was rolled back");
    {
        std::optional<HueFile> again = Held(OpenHueFile(HueName, HueFileUse::Update));
        RC_ASSERT(again.has_value());
    }
    RC_ASSERT(notices.told.size() == 1u);
}

#endif
