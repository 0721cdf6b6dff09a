#include "support/test_support.h"

#include "app/command_line.h"
#include "app/qt_colour.h"
#include "widgets/bevel_panel.h"
#include "widgets/draw_grid.h"
#include "widgets/hidden_tab_set.h"
#include "widgets/picture_box.h"
#include "widgets/track_bar.h"
#include "widgets/writable_files_only.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace {

QColor NameColour(const QLineEdit *name)
{
    return name->palette().color(QPalette::Text);
}

const QColor Green(0x00, 0x80, 0x00);
const QColor Red(0xFF, 0x00, 0x00);

TEST(StartUp, InAFolderWithNeitherFile)
{
    TempFolder folder;
    auto form = ShowForm();
    EXPECT_EQ(form->FilenameRead->text(), "patch-hues.mul");
    EXPECT_EQ(form->FilenameWrite->text(), "hues.mul");
    EXPECT_EQ(NameColour(form->FilenameRead), Red);
    EXPECT_EQ(NameColour(form->FilenameWrite), Red);
    // The read check leaves 106; the write check that follows sets 408.
    EXPECT_EQ(form->ClientHeight(), ClientHeightMedium);
    EXPECT_EQ(form->width(), ClientWidth);
    EXPECT_FALSE(form->GroupBox2->isVisible());
    EXPECT_FALSE(form->GroupBox2->isEnabled());
    EXPECT_FALSE(form->GroupBox4->isVisible());
    EXPECT_FALSE(form->CopyColors->isEnabled());
    EXPECT_FALSE(form->EditHueLoaded);
}

TEST(StartUp, InAFolderWithBothFiles)
{
    TempFolder folder;
    WriteHueFile("patch-hues.mul", 3000, 1);
    WriteHueFile("hues.mul", 2500, 2);
    auto form = ShowForm();
    EXPECT_EQ(NameColour(form->FilenameRead), Green);
    EXPECT_EQ(NameColour(form->FilenameWrite), Green);
    EXPECT_EQ(form->ClientHeight(), ClientHeightFull);
    EXPECT_TRUE(form->GroupBox2->isVisible());
    EXPECT_TRUE(form->GroupBox2->isEnabled());
    EXPECT_TRUE(form->GroupBox3->isVisible());
    EXPECT_TRUE(form->GroupBox4->isVisible());
    EXPECT_TRUE(form->CopyColors->isEnabled());
    ASSERT_TRUE(form->EditHueLoaded);
    const HueEntry first = PatternEntry(1, 2);
    EXPECT_TRUE(SameEntry(form->EditHue, first));
    // The first load holds nothing back and logs nothing.
    EXPECT_TRUE(form->PendingLogLine.isEmpty());
    EXPECT_TRUE(LogLines(*form).isEmpty());
}

TEST(StartUp, WithOnlyTheReadFile)
{
    TempFolder folder;
    WriteHueFile("patch-hues.mul", 10);
    auto form = ShowForm();
    EXPECT_EQ(NameColour(form->FilenameRead), Green);
    EXPECT_EQ(NameColour(form->FilenameWrite), Red);
    EXPECT_EQ(form->ClientHeight(), ClientHeightMedium);
    EXPECT_TRUE(form->GroupBox2->isEnabled());
    EXPECT_FALSE(form->CopyColors->isEnabled());
}

TEST(StartUp, WithOnlyTheWriteFile)
{
    TempFolder folder;
    WriteHueFile("hues.mul", 10);
    auto form = ShowForm();
    EXPECT_EQ(NameColour(form->FilenameRead), Red);
    EXPECT_EQ(NameColour(form->FilenameWrite), Green);
    // The write check found the window at 106 and opened it to 408 only.
    EXPECT_EQ(form->ClientHeight(), ClientHeightMedium);
    EXPECT_FALSE(form->GroupBox2->isVisible());
    EXPECT_FALSE(form->CopyColors->isEnabled());
    EXPECT_TRUE(form->EditHueLoaded);
}

// What the window's arguments do: an exit status with what it prints, or, for OpensWindow,
// the window opening with the arguments left for the toolkit.
constexpr int OpensWindow = -1;

struct WindowArguments {
    QStringList arguments;
    int status;
    // The start of standard output, and the whole of standard error.
    std::string out;
    std::string err;
};

// --help and --version answer with no display to start the toolkit on; anything neither the
// program nor the toolkit takes is refused with a usage line; the toolkit's options are left
// for it with their values, even a value that looks like an option.
TEST(StartUp, ArgumentsAreDecidedBeforeTheToolkitStarts)
{
    const std::string usage =
        "; usage: colvane [-style NAME] [TOOLKIT OPTIONS] | --help | --version\n";
    const std::string version = std::string("colvane ") + COLVANE_VERSION + "\n";
    const WindowArguments runs[] = {
        {{"--help"}, 0, "Usage: colvane [-style NAME]", ""},
        {{"-h"}, 0, "Usage: colvane [-style NAME]", ""},
        {{"--version"}, 0, version, ""},
        {{"-style", "Fusion", "-v"}, 0, version, ""},
        {{"--bogus"}, 2, "", "colvane: unknown option \"--bogus\"" + usage},
        {{"-reverse", "-stylex"}, 2, "", "colvane: unknown option \"-stylex\"" + usage},
        {{"hues.mul"}, 2, "", "colvane: unexpected argument \"hues.mul\"" + usage},
        {{"-platform"}, 2, "", "colvane: option \"-platform\" needs a value" + usage},
        {{"-style", "Fusion", "--style=Fusion", "-platform", "offscreen", "-qwindowtitle", "--help",
          "-reverse", "--geometry", "700x620", "-display", ":0", "-qmljsdebugger=port:1"},
         OpensWindow,
         "",
         ""},
    };
    const auto withoutDisplay = [] {
        unsetenv("QT_QPA_PLATFORM");
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    };
    for (const WindowArguments &run : runs) {
        const std::string arguments = run.arguments.join(' ').toStdString();
        if (run.status == OpensWindow) {
            std::vector<std::string> list;
            for (const QString &argument : run.arguments)
                list.push_back(argument.toStdString());
            std::ostringstream out;
            EXPECT_EQ(AnswerWithoutWindow(list, COLVANE_VERSION, out, out), std::nullopt)
                << arguments << ": " << out.str();
            continue;
        }
        const ProcessOutcome outcome = RunProgram(COLVANE_PATH, run.arguments, withoutDisplay);
        EXPECT_EQ(outcome.status, run.status) << arguments;
        EXPECT_EQ(outcome.out.substr(0, run.out.size()), run.out) << arguments;
        EXPECT_EQ(outcome.err, run.err) << arguments;
    }
}

TEST(FileSelection, TypingANameKeyByKeyChecksAfterEveryKeystroke)
{
    TempFolder folder;
    WriteHueFile("abc.mul", 10);
    WriteHueFile("hues.mul", 10);
    auto form = ShowForm();
    form->FilenameRead->clear();
    form->FilenameRead->setFocus();
    QTest::keyClicks(form->FilenameRead, "abc.mu");
    EXPECT_EQ(form->ClientHeight(), ClientHeightSmall);
    EXPECT_EQ(NameColour(form->FilenameRead), Red);
    QTest::keyClicks(form->FilenameRead, "l");
    EXPECT_EQ(form->ClientHeight(), ClientHeightFull);
    EXPECT_EQ(NameColour(form->FilenameRead), Green);
    EXPECT_TRUE(form->CopyColors->isEnabled());
    QTest::keyClicks(form->FilenameRead, "x");
    EXPECT_EQ(form->ClientHeight(), ClientHeightSmall);
    EXPECT_FALSE(form->GroupBox2->isEnabled());
}

// A name shows red when it is no hue file: a folder, or a text file. A read-only file opens
// for reading, and an empty one is a hue file without entries.
TEST(FileSelection, NamesOfNoHueFileShowRed)
{
    TempFolder folder;
    WriteHueFile("patch-hues.mul", 10);
    WriteHueFile("locked.mul", 10);
    chmod("locked.mul", 0444);
    WriteBytes("empty.mul", {});
    WriteBytes("notes.txt", std::vector<unsigned char>(300, 'n'));
    auto form = ShowForm();
    const struct {
        const char *name;
        bool valid;
    } names[] = {{".", false},
                 {"/", false},
                 {"notes.txt", false},
                 {"locked.mul", true},
                 {"empty.mul", true}};
    for (const auto &n : names) {
        form->FilenameRead->setText("patch-hues.mul");
        form->FilenameWrite->setText(n.name);
        EXPECT_EQ(NameColour(form->FilenameWrite), n.valid ? Green : Red) << n.name;
        EXPECT_EQ(form->CopyColors->isEnabled(), n.valid) << n.name;
        form->FilenameRead->setText(n.name);
        EXPECT_EQ(NameColour(form->FilenameRead), n.valid ? Green : Red) << n.name;
        EXPECT_EQ(form->ClientHeight(), n.valid ? ClientHeightFull : ClientHeightSmall) << n.name;
    }
}

TEST(FileSelection, ANonAsciiFileNameIsOpenedByItsOwnName)
{
    TempFolder folder;
    WriteHueFile(QFile::encodeName(QString::fromUtf8("färben.mul")).toStdString(), 10);
    WriteHueFile("hues.mul", 10);
    auto form = ShowForm();
    form->FilenameRead->setText(QString::fromUtf8("färben.mul"));
    EXPECT_EQ(NameColour(form->FilenameRead), Green);
}

TEST(FileSelection, EntryOneIsLoadedOnlyTheFirstTime)
{
    TempFolder folder;
    WriteHueFile("patch-hues.mul", 10, 1);
    WriteHueFile("hues.mul", 10, 2);
    auto form = ShowForm();
    form->FilenameWrite->setText("patch-hues.mul");
    const HueEntry first = PatternEntry(1, 2);
    EXPECT_TRUE(SameEntry(form->EditHue, first));
}

TEST(FileSelection, LabelsMoveTheFocusToTheirFields)
{
    TempFolder folder;
    auto form = ShowForm();
    QTest::mouseClick(form->Label2, Qt::LeftButton);
    EXPECT_TRUE(form->FilenameWrite->hasFocus());
    QTest::mouseClick(form->Label1, Qt::LeftButton);
    EXPECT_TRUE(form->FilenameRead->hasFocus());
    form->GetFilenameRead->setFocus();
    QTest::keyClick(form.get(), Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(form->FilenameWrite->hasFocus());
}

TEST(OperationLog, HeldBackLineIsLoggedOnceBeforeTheNextLine)
{
    TempFolder folder;
    auto form = ShowForm();
    form->PendingLogLine = "GET ONE   12";
    form->FlushPendingLogLine();
    form->AppendLogLine("DEF COL# 5 R31 G16 B0");
    form->FlushPendingLogLine();
    EXPECT_EQ(LogLines(*form), QStringList({"GET ONE   12", "DEF COL# 5 R31 G16 B0"}));
    EXPECT_TRUE(form->PendingLogLine.isEmpty());
}

TEST(OperationLog, LinesAreEightBitText)
{
    TempFolder folder;
    auto form = ShowForm();
    form->AppendLogLine(QByteArray("caf\xe9"));
    EXPECT_EQ(LogLines(*form), QStringList({QString::fromLatin1("caf\xe9")}));
}

// An object whose handler fails the way an unexpected fault in any handler would.
class FailingHandler : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("the handler failed");
        return QObject::event(event);
    }
};

TEST(Exceptions, AnEscapingExceptionIsShownAndTheProgramCarriesOn)
{
    QString shown;
    // The message box is modal; answer it as a user would, from its own event loop.
    QTimer::singleShot(0, [&shown] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    FailingHandler handler;
    QEvent failing(QEvent::User);
    QCoreApplication::sendEvent(&handler, &failing);
    EXPECT_EQ(shown, "the handler failed");

    QEvent ordinary(QEvent::None);
    EXPECT_NO_THROW(QCoreApplication::sendEvent(&handler, &ordinary));
}

} // namespace

namespace {

// The ".." dialogs list every folder and the files that can be written, and nothing else, so
// a read-only file cannot be picked, not even by root.
TEST(FileDialog, OffersOnlyFilesThatCanBeWritten)
{
    const TempFolder folder;
    WriteHueFile("hues.mul", 1);
    WriteHueFile("locked.mul", 1);
    QDir().mkdir("sub");
    chmod("locked.mul", 0444);
    EXPECT_FALSE(IsWritableByUser("locked.mul"));

    auto form = ShowForm();
    auto *filter = qobject_cast<WritableFilesOnly *>(form->BuildOpenDialog()->proxyModel());
    ASSERT_NE(filter, nullptr);
    QFileSystemModel files;
    QSignalSpy loaded(&files, &QFileSystemModel::directoryLoaded);
    const QModelIndex root = files.setRootPath(QDir::currentPath());
    ASSERT_TRUE(loaded.wait(5000));
    filter->setSourceModel(&files);
    QStringList offered;
    const QModelIndex filteredRoot = filter->mapFromSource(root);
    for (int row = 0; row < filter->rowCount(filteredRoot); ++row)
        offered << filter->index(row, 0, filteredRoot).data().toString();
    offered.sort();
    EXPECT_EQ(offered, QStringList({"hues.mul", "sub"}));
}

} // namespace
