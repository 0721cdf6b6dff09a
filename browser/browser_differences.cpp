#include "app/tform1.h"

#include "browser/difference_text.h"
#include "huefile/entry_difference.h"
#include "widgets/draw_grid.h"
#include "widgets/find_bar.h"

#include <QGroupBox>
#include <QKeySequence>
#include <QShortcut>
#include <QStringList>

namespace {

// Runs of neighbouring slots are shown as their ends: "0-3, 17".
QString SlotList(const std::bitset<HueColourCount> &marked)
{
    QStringList runs;
    for (int first = 0; first < HueColourCount; ++first) {
        if (!marked[static_cast<std::size_t>(first)])
            continue;
        int last = first;
        while (last + 1 < HueColourCount && marked[static_cast<std::size_t>(last + 1)])
            ++last;
        runs << (last == first ? QString::number(first) : QString("%1-%2").arg(first).arg(last));
        first = last;
    }
    return runs.join(", ");
}

} // namespace

QString DifferenceText(const EntryDifference &difference)
{
    if (difference.sourceMissing && difference.targetMissing)
        return "In neither file";
    if (difference.sourceMissing)
        return "Only in the write file";
    if (difference.targetMissing)
        return "Only in the read file";
    QStringList parts;
    if (difference.colours.any())
        parts << (difference.colours.count() == 1 ? "colour " : "colours ") +
                     SlotList(difference.colours);
    // Equal names may still differ in the bytes stored behind the shorter one's end.
    if (difference.nameText)
        parts << "the name";
    else if (difference.nameBytes)
        parts << "the bytes behind the name's end";
    if (difference.carried)
        parts << "the carried bytes";
    return parts.isEmpty() ? QString("Same in both files") : "Differs in: " + parts.join("; ");
}

// The differences view moves the browser's cursor, which may load an entry: not while the
// browser is hidden.
void TForm1::ConnectDifferences()
{
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this), &QShortcut::activated, this,
            [this] {
                if (GroupBox4->isVisible())
                    ToggleDifferences();
            });
    connect(new QShortcut(QKeySequence(Qt::Key_F4), this), &QShortcut::activated, this,
            [this] { StepToDifference(true); });
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F4), this), &QShortcut::activated, this,
            [this] { StepToDifference(false); });
}

void TForm1::ToggleDifferences()
{
    ShowDifferences = !ShowDifferences;
    RefreshBrowser();
}

bool TForm1::RowEntriesDiffer() const
{
    return EntriesDiffer(RowSourceValid ? &RowSourceHue : nullptr,
                         RowTargetValid ? &RowTargetHue : nullptr);
}

// The next differing row after the cursor, or the one before it, found in the files as they
// are now. The cursor moves as an arrow key moves it, so in "cursor position" mode the entry
// loads. There is no wrapping round: past the last difference the find bar says so.
void TForm1::StepToDifference(bool forward)
{
    if (!ShowDifferences || !GroupBox4->isVisible())
        return;
    const int target =
        NextDifferingEntry(ReadFileName(), WriteFileName(), HueGrid1->row() + 1, forward);
    const QString noMore = tr("no more differences");
    if (target == 0) {
        FindEntryBar->open();
        FindEntryBar->setStatus(noMore);
        return;
    }
    if (FindEntryBar->status() == noMore)
        FindEntryBar->setStatus(QString());
    HueGrid1->selectCellAsUser(HueGrid1->col(), target - 1);
}
