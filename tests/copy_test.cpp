#include "support/test_support.h"

#include "widgets/draw_grid.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<unsigned char>;

// count pairs (sourceFrom + i, targetFrom + i).
struct PairRun {
    int sourceFrom;
    int targetFrom;
    int count;
};

// The write file as it must look after the pairs were copied from a snapshot of the read file
// taken before the copy: only whole source records travel, and a source that the snapshot
// does not hold in full leaves its target alone.
Bytes AfterCopy(Bytes target, const Bytes &source, const PairRun &run)
{
    constexpr std::size_t Record = sizeof(HueEntry);
    for (int i = 0; i < run.count; ++i) {
        const auto from = static_cast<std::size_t>(EntryOffset(run.sourceFrom + i));
        const auto to = static_cast<std::size_t>(EntryOffset(run.targetFrom + i));
        if (from + Record > source.size())
            continue;
        if (to + Record > target.size())
            target.resize(to + Record);
        std::memcpy(target.data() + to, source.data() + from, Record);
    }
    return target;
}

class CopyTest : public ::testing::Test {
public:
    void SetUp() override
    {
        readName = folder.path("patch-hues.mul");
        writeName = folder.path("hues.mul");
        WriteHueFile(readName, MaxEntryNumber, 1);
        WriteHueFile(writeName, MaxEntryNumber, 2);
    }

    // The fields keep what the copy left them unless "cursor &position" is chosen.
    void OpenForm(bool cursorPosition = false)
    {
        form = ShowForm();
        ASSERT_TRUE(form->CopyColors->isEnabled());
        form->RadioButtonGetColor1->setChecked(!cursorPosition);
        form->RadioButtonGetColor2->setChecked(cursorPosition);
    }

    // Reaches a state of the fields through their own handlers.
    void Select(bool single, bool typedTarget, const QString &from, const QString &to,
                const QString &targetFrom = QString())
    {
        form->Only1Color->setChecked(single);
        form->NumberFrom->setText(from);
        form->TargetOther->setChecked(typedTarget);
        if (typedTarget)
            form->TargetNumberFrom->setText(targetFrom);
        form->NumberTo->setText(to);
    }

    TempFolder folder;
    std::string readName;
    std::string writeName;
    std::unique_ptr<TForm1> form;
};

struct CopyCase {
    const char *name;
    bool single;
    bool typedTarget;
    const char *from;
    const char *to;
    const char *targetFrom;
    PairRun pairs;
    QStringList log;
    QStringList fieldsAfter;
};

TEST_F(CopyTest, CopiesThePairsTheFieldsSelectAndLogsTheirTexts)
{
    // clang-format off
    const CopyCase cases[] = {
        {"single", true, false, "12", "3000", "", {12, 12, 1},
         {"GET ONE   12", "PUT ONE   12"}, {"12", "3000", "12", "3000"}},
        {"single, typed target", true, true, "12", "3000", "40", {12, 40, 1},
         {"GET ONE   12", "PUT ONE   40"}, {"12", "3000", "40", "3000"}},
        {"range, typed target", false, true, "10", "12", "100", {10, 100, 3},
         {"GET RANGE 10 .. 12", "PUT RANGE 100 .. 102"}, {"10", "12", "100", "102"}},
        {"range ending below its start", false, false, "7", "3", "", {7, 7, 1},
         {"GET RANGE 7 .. 7", "PUT RANGE 7 .. 7"}, {"7", "7", "7", "7"}},
        {"whole file shifted by four", false, true, "1", "3000", "5", {1, 5, 2996},
         {"GET RANGE 1 .. 3000", "PUT RANGE 5 .. 3000"}, {"1", "3000", "5", "3000"}},
        {"single with NumberTo below NumberFrom", true, false, "12", "5", "", {12, 12, 1},
         {"GET ONE   12", "PUT ONE   12"}, {"12", "12", "12", "12"}},
        {"zero-padded single", true, false, "007", "3000", "", {7, 7, 1},
         {"GET ONE   007", "PUT ONE   007"}, {"007", "3000", "007", "3000"}},
        {"hexadecimal and blank-padded range", false, false, "$A", " 12", "", {10, 10, 3},
         {"GET RANGE $A ..  12", "PUT RANGE $A .. 12"}, {"$A", " 12", "$A", "12"}},
        {"hexadecimal typed target", false, true, "x10", "0x12", "$1F", {16, 31, 3},
         {"GET RANGE x10 .. 0x12", "PUT RANGE $1F .. 33"}, {"x10", "0x12", "$1F", "33"}},
    };
    // clang-format on
    OpenForm();
    const Bytes source = ReadBytes(readName);
    for (const CopyCase &c : cases) {
        Select(c.single, c.typedTarget, c.from, c.to, c.targetFrom);
        form->MemoLog->clear();
        const Bytes before = ReadBytes(writeName);
        form->CopyColors->click();
        const Bytes after = ReadBytes(writeName);
        EXPECT_EQ(after.size(), before.size()) << c.name;
        EXPECT_EQ(after, AfterCopy(before, source, c.pairs)) << c.name;
        EXPECT_EQ(LogLines(*form), c.log) << c.name;
        EXPECT_EQ(CopyFieldTexts(*form), c.fieldsAfter) << c.name;
    }
}

TEST_F(CopyTest, SourcesBeyondTheEndOfTheReadFileWriteNothing)
{
    WriteHueFile(readName, 100, 1);
    OpenForm();
    Select(false, false, "95", "105");
    const Bytes before = ReadBytes(writeName);
    form->CopyColors->click();
    const Bytes after = ReadBytes(writeName);
    EXPECT_EQ(after, AfterCopy(before, ReadBytes(readName), {95, 95, 6}));
    for (int n = 101; n <= 105; ++n) {
        const HueEntry kept = EntryOnDisk(writeName, n);
        const HueEntry original = PatternEntry(n, 2);
        EXPECT_TRUE(SameEntry(kept, original)) << "entry " << n;
    }
    EXPECT_EQ(LogLines(*form), QStringList({"GET RANGE 95 .. 105", "PUT RANGE 95 .. 105"}));
}

TEST_F(CopyTest, CopyRepaintsTheBrowserOnce)
{
    OpenForm();
    Select(false, false, "1", "3000");
    Settle();
    PaintCounter counter(form->HueGrid1);
    form->CopyColors->click();
    EXPECT_EQ(counter.paints, 1);
}

// A write file that cannot be opened for update, or a file gone or changed since its check:
// the copy ends before it reads, writes, logs or repaints anything.
TEST_F(CopyTest, FileThatCannotBeOpenedChangesNothing)
{
    struct Case {
        const char *name;
        std::function<void(CopyTest &)> breakFiles;
    };
    const Case cases[] = {
        {"write name is a folder",
         [](CopyTest &t) {
             QDir(QString::fromStdString(t.folder.path(""))).mkdir("folder.mul");
             t.form->FilenameWrite->setText("folder.mul");
         }},
        {"write file removed after its check",
         [](CopyTest &t) { std::remove(t.writeName.c_str()); }},
        {"read file removed after its check", [](CopyTest &t) { std::remove(t.readName.c_str()); }},
        {"write file read-only, for root as well",
         [](CopyTest &t) { chmod(t.writeName.c_str(), 0444); }},
        {"write file turned into text after its check",
         [](CopyTest &t) { WriteBytes(t.writeName, Bytes(EntryOffset(40), 't')); }},
    };
    for (const Case &c : cases) {
        WriteHueFile(readName, MaxEntryNumber, 1);
        WriteHueFile(writeName, MaxEntryNumber, 2);
        OpenForm();
        Select(false, true, "1", "3000", "5");
        c.breakFiles(*this);
        const Bytes readBefore = ReadBytes(readName);
        const Bytes writeBefore = ReadBytes(writeName);
        const bool writeExisted = FileExists(writeName);
        Settle();
        PaintCounter counter(form->HueGrid1);
        form->CopyColorsClick();
        EXPECT_EQ(FileExists(writeName), writeExisted) << c.name;
        if (writeExisted) {
            EXPECT_EQ(ReadBytes(writeName), writeBefore) << c.name;
        }
        if (FileExists(readName)) {
            EXPECT_EQ(ReadBytes(readName), readBefore) << c.name;
        }
        EXPECT_TRUE(LogLines(*form).isEmpty()) << c.name;
        EXPECT_EQ(counter.paints, 0) << c.name;
        form.reset();
        chmod(writeName.c_str(), 0644);
    }
}

TEST_F(CopyTest, WriteThatFailsMidwayKeepsTheEarlierPairsAndLogsAnError)
{
    WriteHueFile(writeName, 16, 2);
    OpenForm();
    Select(false, false, "1", "40");
    const Bytes before = ReadBytes(writeName);
    {
        // The file may not grow: entries 1 to 16 are written in place, entry 17 cannot be.
        FileSizeLimit limit(before.size());
        form->CopyColors->click();
    }
    EXPECT_EQ(ReadBytes(writeName), AfterCopy(before, ReadBytes(readName), {1, 1, 16}));
    EXPECT_EQ(LogLinesWithoutNotices(*form),
              QStringList({"GET RANGE 1 .. 40", "PUT RANGE 1 .. 40", "!ERROR"}));
}

struct OverlapCase {
    const char *name;
    const char *writeNameAsTyped;
    PairRun pairs;
};

// With one file behind both names a range copy acts as a block move, whichever way the
// ranges overlap; the ranges are long enough to reach past a stream's buffer.
TEST_F(CopyTest, SameFileOverlappingRangesMoveAsABlock)
{
    const OverlapCase cases[] = {
        {"targets above their sources", "patch-hues.mul", {1, 3, 300}},
        {"targets below their sources", "patch-hues.mul", {3, 1, 300}},
        {"same file by another name, targets above", "./patch-hues.mul", {10, 11, 500}},
        {"same file by another name, targets below", "./patch-hues.mul", {11, 10, 500}},
    };
    for (const OverlapCase &c : cases) {
        WriteHueFile(readName, MaxEntryNumber, 1);
        OpenForm();
        form->FilenameWrite->setText(c.writeNameAsTyped);
        ASSERT_TRUE(form->CopyColors->isEnabled()) << c.name;
        const QString from = QString::number(c.pairs.sourceFrom);
        Select(false, true, from, QString::number(c.pairs.sourceFrom + c.pairs.count - 1),
               QString::number(c.pairs.targetFrom));
        const Bytes before = ReadBytes(readName);
        form->CopyColors->click();
        EXPECT_EQ(ReadBytes(readName), AfterCopy(before, before, c.pairs)) << c.name;
        EXPECT_EQ(LogLines(*form).size(), 2) << c.name;
        form.reset();
    }
}

TEST_F(CopyTest, CursorPositionModeReloadsTheBrowserEntryAfterTheCopy)
{
    OpenForm(true);
    form->BrowserRow = 41;
    Select(false, true, "10", "20", "100");
    form->CopyColors->click();
    EXPECT_EQ(CopyFieldTexts(*form), QStringList({"42", "42", "42", "42"}));
    EXPECT_TRUE(form->Only1Color->isChecked());
    EXPECT_FALSE(form->TargetOther->isChecked());
    EXPECT_EQ(form->PendingLogLine, QByteArray("GET ONE   42"));
    const HueEntry loaded = EntryOnDisk(writeName, 42);
    EXPECT_TRUE(SameEntry(form->EditHue, loaded));
    EXPECT_EQ(LogLines(*form), QStringList({"GET RANGE 10 .. 20", "PUT RANGE 100 .. 110"}));
}

} // namespace
