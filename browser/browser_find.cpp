#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "huefile/hue_file.h"
#include "huefile/number_text.h"
#include "widgets/draw_grid.h"
#include "widgets/find_bar.h"

#include <QGroupBox>
#include <QKeySequence>
#include <QShortcut>
#include <algorithm>
#include <cstring>

namespace {

// Over the browser's caption, so that every row it moves to stays in sight below it.
const QRect FindBarGeometry(192, 96, 457, 26);

// Marks the entries of one file whose name holds the text. Each file is read in one go and
// closed again before the search returns.
void MarkNamesContaining(const std::string &fileName, const QString &text, std::vector<bool> &match)
{
    const auto file = HueFile::openForReading(fileName);
    if (!file)
        return;
    std::vector<bool> whole;
    const std::vector<HueEntry> entries = file->readEntries(1, MaxEntryNumber, whole);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (whole[i] && StoredNameText(entries[i]).contains(text, Qt::CaseInsensitive))
            match[i] = true;
}

} // namespace

// The entries a find text names: the number it reads as, by the fields' number rule, and every
// entry whose name in either file contains it, whatever the case.
std::vector<int> TForm1::EntriesMatching(const QString &text) const
{
    std::vector<bool> match(MaxEntryNumber, false);
    if (const auto number = NumberText(text.toStdString());
        number && *number >= 1 && *number <= MaxEntryNumber)
        match[static_cast<std::size_t>(*number - 1)] = true;
    if (!text.isEmpty()) {
        MarkNamesContaining(ReadFileName(), text, match);
        MarkNamesContaining(WriteFileName(), text, match);
    }
    std::vector<int> entries;
    for (int n = 1; n <= MaxEntryNumber; ++n)
        if (match[static_cast<std::size_t>(n - 1)])
            entries.push_back(n);
    return entries;
}

void TForm1::ConnectFind()
{
    FindEntryBar = new FindBar(this);
    FindEntryBar->setGeometry(FindBarGeometry);
    HueGrid1->setFocusShownWith(FindEntryBar);
    // A find moves the browser's cursor and may load the entry: not while the browser is hidden.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this,
            [this] {
                if (GroupBox4->isVisible())
                    FindEntryBar->open();
            });
    connect(FindEntryBar, &FindBar::nextRequested, this, [this] { FindEntry(true); });
    connect(FindEntryBar, &FindBar::previousRequested, this, [this] { FindEntry(false); });
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this,
            [this] { FindEntry(true); });
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, this,
            [this] { FindEntry(false); });
}

// The next match after the browser's cursor, or the one before it, wrapping round at the ends.
// The cursor moves as an arrow key moves it, so in "cursor position" mode the entry loads.
void TForm1::FindEntry(bool forward)
{
    if (!GroupBox4->isVisible() || !FindEntryBar->isVisible() || FindEntryBar->text().isEmpty())
        return;
    const std::vector<int> entries = EntriesMatching(FindEntryBar->text());
    FindEntryBar->setStatus(entries.empty() ? tr("no match") : QString());
    if (entries.empty())
        return;
    const int current = HueGrid1->row() + 1;
    int target = forward ? entries.front() : entries.back();
    if (forward) {
        const auto next = std::upper_bound(entries.begin(), entries.end(), current);
        if (next != entries.end())
            target = *next;
    } else {
        const auto next = std::lower_bound(entries.begin(), entries.end(), current);
        if (next != entries.begin())
            target = *std::prev(next);
    }
    HueGrid1->selectCellAsUser(HueGrid1->col(), target - 1);
}
