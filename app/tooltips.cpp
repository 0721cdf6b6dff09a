#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "browser/difference_text.h"
#include "huefile/colour.h"
#include "huefile/file_checks.h"
#include "huefile/hue_file.h"
#include "widgets/draw_grid.h"
#include "widgets/file_layer_name.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QToolTip>
#include <cerrno>
#include <cstring>

namespace {

constexpr int BrowserSeparatorColumn = 33;

QString EntryTitle(int entryNumber)
{
    return QString("Entry %1 (hex %2)").arg(entryNumber).arg(entryNumber, 3, 16, QChar('0'));
}

// One side of a browser row, read when the tip is asked for.
QString SideLine(const char *side, const QLineEdit *name, int entryNumber)
{
    HueEntry entry{};
    const std::string fileName = FileLayerName(name->text());
    const ReadOutcome outcome = ReadEntryFromFile(fileName, entryNumber, entry);
    const QString what = outcome == ReadOutcome::Read       ? "\"" + StoredNameText(entry) + "\""
                         : outcome == ReadOutcome::NoRecord ? QString("not in the file")
                                                            : QString("the file does not open");
    return QString("%1 %2: %3").arg(side, name->text(), what);
}

QString ColourLine(const HueEntry &entry, int index)
{
    const HueColour word = entry.colours[index];
    const DisplayColour shown = HueWordToDisplay(word);
    return QString("Colour %1: word $%2, red %3, green %4, blue %5 (#%6%7%8 on screen)")
        .arg(index)
        .arg(word, 4, 16, QChar('0'))
        .arg(RedOf(shown))
        .arg(GreenOf(shown))
        .arg(BlueOf(shown))
        .arg(shown & 0xFF, 2, 16, QChar('0'))
        .arg((shown >> 8) & 0xFF, 2, 16, QChar('0'))
        .arg((shown >> 16) & 0xFF, 2, 16, QChar('0'));
}

// How the row's two entries differ, read when the tip is asked for.
QString DifferenceLine(const std::string &readFile, const std::string &writeFile, int entryNumber)
{
    HueEntry source{};
    HueEntry target{};
    const bool sourceRead = ReadEntryFromFile(readFile, entryNumber, source) == ReadOutcome::Read;
    const bool targetRead = ReadEntryFromFile(writeFile, entryNumber, target) == ReadOutcome::Read;
    return DifferenceText(
        CompareEntries(sourceRead ? &source : nullptr, targetRead ? &target : nullptr));
}

// A green name shows where the file is; a red one says why it is red.
QString FileNameTip(const QLineEdit *name)
{
    const std::string fileName = FileLayerName(name->text());
    const Expected<HueFile> file = OpenHueFile(fileName, HueFileUse::Glance);
    const std::string problem = file ? std::string() : file.error();
    if (problem.empty())
        return QFileInfo(name->text()).absoluteFilePath();
    QString tip = QString("Red: %1. Names without a folder are looked up in %2")
                      .arg(QString::fromLocal8Bit(problem.c_str()), QDir::currentPath());
    // A first start meets a folder without hue files; the window never makes one itself.
    if (problem == ErrorText(ENOENT))
        tip += QString("\nTo start an empty hue file: colvane-cli new %1").arg(name->text());
    return tip;
}

// The log is narrow: its last line, a long refusal for one, is read whole by resting the
// pointer on it. A stale write-back's line is explained for as long as the pane shows it, since
// the edits after it push it up at once.
QString LogTip(const QPlainTextEdit &log)
{
    if (log.document()->isEmpty())
        return QString();
    const QString tip = log.document()->lastBlock().text();
    const auto lineAt = [&log](int y) { return log.cursorForPosition(QPoint(0, y)).block(); };
    const int lastShown = lineAt(log.viewport()->height() - 1).blockNumber();
    QString stale;
    for (QTextBlock block = lineAt(0); block.isValid() && block.blockNumber() <= lastShown;
         block = block.next()) {
        if (TForm1::IsStaleLine(block.text()))
            stale = block.text();
    }
    if (stale.isEmpty())
        return tip;
    return tip + QString("\n\n%1: entry %2 of the write file has changed since the editor "
                         "loaded or wrote it,\nby another program or by a copy or patch of this "
                         "window, so the editor's version was not written.\nLoad the entry "
                         "again to take the file's version; to keep the editor's,\nturn Autosave "
                         "off and press \"Patch it\".")
                     .arg(stale, stale.mid(10));
}

} // namespace

void TForm1::ConnectToolTips()
{
    Only1Color->setToolTip("Copy one entry; clear it to copy a range of entries");
    TargetOther->setToolTip("Write to other entry numbers than the ones read");
    NumberFrom->setToolTip("First entry to read (decimal, or hexadecimal after $ or 0x)");
    NumberTo->setToolTip("Last entry to read");
    TargetNumberFrom->setToolTip("First entry to write");
    TargetNumberTo->setToolTip("Last entry to write");
    CopyColors->setToolTip("Copy: read the entries from the read file, write them into the "
                           "write file");
    PatchIt->setToolTip("Patch it: write this entry into the write file at the browser's row");
    AutoSave->setToolTip("Autosave: write the entry into the write file after every change");
    RadioButtonGetColor1->setToolTip("Load an entry into the editor when its browser row is "
                                     "double-clicked");
    RadioButtonGetColor2->setToolTip("Load every entry that the browser's cursor moves to");
    MixColorOkay->setToolTip("It's fine: put the preview colour into the selected colour");
    SpreadColorOkay->setToolTip("Spread is fine: fill the selected run of colours with a "
                                "gradient between its two ends");
    aktHueName->setToolTip("The entry's name, up to 20 characters");
    for (QWidget *control :
         {static_cast<QWidget *>(HueGrid1), static_cast<QWidget *>(HueGridEdit),
          static_cast<QWidget *>(FilenameRead), static_cast<QWidget *>(FilenameWrite),
          static_cast<QWidget *>(MemoLog)})
        control->installEventFilter(this);
}

// Tips that depend on what lies under the pointer are made when asked for, so the files are
// read then and never while painting.
bool TForm1::ShowToolTip(QObject *watched, QHelpEvent *help)
{
    QString tip;
    int col = 0;
    int row = 0;
    if (watched == FilenameRead || watched == FilenameWrite) {
        tip = FileNameTip(static_cast<QLineEdit *>(watched));
    } else if (watched == HueGrid1 && HueGrid1->cellAt(help->pos(), col, row)) {
        tip = EntryTitle(row + 1) + "\n" + SideLine("Read from", FilenameRead, row + 1) + "\n" +
              SideLine("Written to", FilenameWrite, row + 1);
        if (ShowDifferences)
            tip += "\n" + DifferenceLine(ReadFileName(), WriteFileName(), row + 1);
        if (col != 0 && col != BrowserSeparatorColumn)
            tip += QString("\nColour %1").arg(col < BrowserSeparatorColumn ? col - 1 : col - 34);
    } else if (watched == MemoLog) {
        tip = LogTip(*MemoLog);
        if (tip.isEmpty())
            return false;
    } else if (watched == HueGridEdit && HueGridEdit->cellAt(help->pos(), col, row)) {
        tip = EntryTitle(BrowserRow + 1) + ", written by \"Patch it\" to that entry";
        if (col > 0)
            tip += "\n" + ColourLine(EditHue, col - 1);
        tip +=
            "\nCtrl+C, Ctrl+V: copy, paste colours; right click: reverse, rotate, spread the run";
    } else {
        return false;
    }
    QToolTip::showText(help->globalPos(), tip, static_cast<QWidget *>(watched));
    return true;
}
