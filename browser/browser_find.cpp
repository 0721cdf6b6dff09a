#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "huefile/colour_distance.h"
#include "huefile/formats/colour_text.h"
#include "huefile/hue_file.h"
#include "huefile/number_text.h"
#include "widgets/draw_grid.h"
#include "widgets/find_bar.h"

#include <QGroupBox>
#include <QKeySequence>
#include <QRegularExpression>
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
    const auto file = HueFile::openForReading(fileName, WindowLockWait);
    if (!file)
        return;
    std::vector<bool> whole;
    const std::vector<HueEntry> entries = file->readEntries(1, MaxEntryNumber, whole);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (whole[i] && StoredNameText(entries[i]).contains(text, Qt::CaseInsensitive))
            match[i] = true;
}

// Only "#" and six hex digits make a find text a colour. A bare "ff8000" stays a search by
// name, as "facade" or "c0ffee" may well be part of one, and "#12" a search by name or number.
std::optional<DisplayColour> FindTextColour(const QString &text)
{
    static const QRegularExpression colourShape(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    const QString trimmed = text.trimmed();
    if (!colourShape.match(trimmed).hasMatch())
        return std::nullopt;
    const Expected<DisplayColour> colour = ColourFromText(trimmed.toStdString());
    return colour ? std::optional<DisplayColour>(*colour) : std::nullopt;
}

// The write file's entries from the nearest to the colour to the farthest, read in one go;
// the file is closed again before this returns.
std::vector<RankedEntry> EntriesNearest(const std::string &fileName, DisplayColour colour)
{
    const auto file = HueFile::openForReading(fileName, WindowLockWait);
    if (!file)
        return {};
    std::vector<bool> whole;
    const std::vector<HueEntry> entries = file->readEntries(1, MaxEntryNumber, whole);
    return RankByColour(entries, whole, colour, ColourMeasure::Nearest);
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
    if (const std::optional<DisplayColour> colour = FindTextColour(FindEntryBar->text())) {
        FindEntryByColour(*colour, forward);
        return;
    }
    LastFindColour.reset();
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

// The next entry in the ranking by colour, or the one before it, wrapping round at the ends.
// Only the colour is remembered between steps: the ranking comes from the write file as it is
// now, and the step goes from the rank of the entry under the cursor. So a cursor moved by hand,
// or an entry changed in between, carries on from where the cursor stands. A colour not looked
// for just before starts at the nearest entry (F3) or the farthest (Shift+F3), as does a cursor
// on an entry the ranking leaves out.
void TForm1::FindEntryByColour(DisplayColour colour, bool forward)
{
    const std::vector<RankedEntry> ranked = EntriesNearest(WriteFileName(), colour);
    const bool sameColour = LastFindColour == colour;
    LastFindColour = colour;
    if (ranked.empty()) {
        FindEntryBar->setStatus(tr("no match"));
        return;
    }
    const int count = static_cast<int>(ranked.size());
    const int current = HueGrid1->row() + 1;
    const auto here = std::find_if(ranked.begin(), ranked.end(),
                                   [current](const RankedEntry &r) { return r.entry == current; });
    int rank = forward ? 0 : count - 1;
    if (sameColour && here != ranked.end())
        rank = (static_cast<int>(here - ranked.begin()) + (forward ? 1 : count - 1)) % count;
    const RankedEntry &found = ranked[static_cast<std::size_t>(rank)];
    FindEntryBar->setStatus(
        tr("ΔE %1, %2 of %3").arg(found.distance, 0, 'f', 4).arg(rank + 1).arg(count));
    HueGrid1->selectCellAsUser(HueGrid1->col(), found.entry - 1);
}
