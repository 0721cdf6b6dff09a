#include "app/tform1.h"

#include "app/qt_colour.h"
#include "browser/browser_label.h"
#include "browser/label_pixels.h"
#include "huefile/colour.h"
#include "huefile/hue_file.h"
#include "widgets/draw_grid.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QStaticText>

#include <algorithm>
#include <charconv>
#include <iterator>

namespace {

constexpr int LabelColumn = 0;
constexpr int FirstSourceColumn = 1;
constexpr int SeparatorColumn = 33;
constexpr int FirstTargetColumn = 34;
constexpr int LastTargetColumn = 65;

const QByteArray LoadLinePrefix = "GET ONE   ";
const QByteArray LoadLockedLine = "!ERROR";

// Missing-entry mark: a button-face bar inside a frame of 1 pixel at the sides and 2 pixels
// at top and bottom, which in a 4 x 11 swatch leaves a 2 x 7 bar.
void DrawMissingEntryMark(DrawGrid *grid, QPainter *canvas, const QRect &cell, QRgb frame,
                          QRgb buttonFace)
{
    grid->fillWholeCell(canvas, cell, frame);
    grid->fillCell(canvas, cell.adjusted(1, 2, -1, -2), buttonFace);
}

// A whole record counts; a file that does not open or ends before the record does not.
bool ReadRowEntry(const std::string &fileName, int entryNumber, HueEntry &destination)
{
    return ReadEntryFromFile(fileName, entryNumber, destination) == ReadOutcome::Read;
}

} // namespace

// Formatted by hand as "%5d [0%03x]" would: a printf call per painted row cost as much as
// the rest of the row's label.
BrowserLabelText::BrowserLabelText(int entryNumber)
{
    char decimal[16];
    char hex[16];
    const auto decimalEnd = std::to_chars(std::begin(decimal), std::end(decimal), entryNumber).ptr;
    const auto hexEnd =
        std::to_chars(std::begin(hex), std::end(hex), static_cast<unsigned>(entryNumber), 16).ptr;
    char *out = m_text.data();
    const auto pad = [&out](std::ptrdiff_t width, std::ptrdiff_t length, char with) {
        out = std::fill_n(out, std::max<std::ptrdiff_t>(0, width - length), with);
    };
    pad(5, decimalEnd - decimal, ' ');
    out = std::copy(decimal, decimalEnd, out);
    out = std::copy_n(" [0", 3, out);
    pad(3, hexEnd - hex, '0');
    out = std::copy(hex, hexEnd, out);
    *out++ = ']';
    m_length = static_cast<int>(out - m_text.data());
}

QString BrowserLabel(int entryNumber)
{
    return BrowserLabelText(entryNumber).text();
}

void TForm1::ConnectBrowser()
{
    // The separator's dash is the same in every row, so it is laid out once, not per row.
    SeparatorDash.setText(QStringLiteral("-"));
    SeparatorDash.setTextFormat(Qt::PlainText);
    SeparatorDash.prepare(QTransform(), HueGrid1->font());
    HueGrid1->setCellPainter<TForm1, &TForm1::HueGrid1DrawCell>(this);
    // Swatches and missing-entry marks are exact fills of the cell, so the grid need not clip
    // them; the label and the separator draw text and stay clipped.
    for (int col = FirstSourceColumn; col <= LastTargetColumn; ++col)
        HueGrid1->setColDrawsInsideCell(col, col != SeparatorColumn);
    HueGrid1->setPixelColumns(LabelColumn, LastTargetColumn);
    connect(HueGrid1, &DrawGrid::selectCell, this, [this](int col, int row, bool *canSelect) {
        HueGrid1SelectCell(col, row, *canSelect);
    });
    connect(HueGrid1, &DrawGrid::doubleClicked, this, &TForm1::HueGrid1DblClick);
}

// The grid paints row by row, so caching the row's two entries costs two opens per painted
// row instead of two per cell. The cache is filled before whichever cell of a new row comes
// first, label and separator included. A swatch is almost every cell, so its path is kept to
// what it needs, and everything else is drawn elsewhere.
//
// Every call here is the last thing the handler does, so the compiler jumps to it and the
// swatch's path, taken for thousands of cells a second, sets up no stack frame.
void TForm1::HueGrid1DrawCell(QPainter *canvas, int ACol, int ARow, const QRect &Rect)
{
    if (ARow != CachedRow)
        return DrawCellOfNewRow(canvas, ACol, ARow, Rect);
    const QRgb swatch = static_cast<std::size_t>(ACol) < RowSwatchColours.size()
                            ? RowSwatchColours[static_cast<std::size_t>(ACol)]
                            : 0;
    if (swatch == 0)
        return DrawBrowserCell(canvas, ACol, ARow, Rect);
    HueGrid1->fillWholeCell(canvas, Rect, swatch);
}

void TForm1::DrawCellOfNewRow(QPainter *canvas, int ACol, int ARow, const QRect &Rect)
{
    CacheBrowserRow(ARow);
    HueGrid1DrawCell(canvas, ACol, ARow, Rect);
}

void TForm1::CacheBrowserRow(int row)
{
    CachedRow = row;
    const int entryNumber = row + 1;
    RowSourceValid = ReadRowEntry(ReadFileName(), entryNumber, RowSourceHue);
    RowTargetValid = ReadRowEntry(WriteFileName(), entryNumber, RowTargetHue);
    RowSwatchColours.fill(0);
    for (int slot = 0; slot < HueColourCount; ++slot) {
        if (RowSourceValid)
            RowSwatchColours[FirstSourceColumn + slot] = ToQRgb(HueToDisplay(RowSourceHue, slot));
        if (RowTargetValid)
            RowSwatchColours[FirstTargetColumn + slot] = ToQRgb(HueToDisplay(RowTargetHue, slot));
    }
}

// Missing entries' marks, the label and the separator.
void TForm1::DrawBrowserCell(QPainter *canvas, int ACol, int ARow, const QRect &Rect)
{
    if (ACol > LabelColumn && ACol < SeparatorColumn) {
        DrawMissingEntryMark(HueGrid1, canvas, Rect, palette().color(QPalette::Base).rgb(),
                             palette().color(QPalette::Button).rgb());
    } else if (ACol > SeparatorColumn && ACol <= LastTargetColumn) {
        DrawMissingEntryMark(HueGrid1, canvas, Rect, qRgb(0xFF, 0xFF, 0xFF),
                             palette().color(QPalette::Button).rgb());
    } else if (ACol == LabelColumn) {
        const BrowserLabelText label(ARow + 1);
        if (const int scale = HueGrid1->pixelRowScale())
            HueGrid1->copyCellPixels(
                Rect, RowLabelPixels.label(PaintLabelLook(Rect, scale, false), label.text()));
        else if (const int cursorScale = HueGrid1->currentCellScale())
            canvas->drawImage(
                Rect.topLeft(),
                CursorLabelPixels.label(PaintLabelLook(Rect, cursorScale, true), label.text()));
        else
            DrawRowLabel(canvas, Rect, label.text());
    } else if (ACol == SeparatorColumn) {
        if (ShowDifferences && RowEntriesDiffer())
            HueGrid1->fillWholeCell(canvas, Rect,
                                    HueGrid1->palette().color(QPalette::Highlight).rgb());
        else if (const int scale = HueGrid1->pixelRowScale())
            HueGrid1->copyCellPixels(Rect, SeparatorPixels(Rect, scale));
        else
            DrawSeparator(canvas, Rect);
    }
}

// The label is drawn with the grid's font and text colour over its background; the cursor's
// in the highlighted text colour over the highlight.
LabelPixels::Look TForm1::RowLabelLook(const QRect &cell, int scale, bool highlighted) const
{
    const QPalette &colours = HueGrid1->palette();
    return {cell.size(),
            scale,
            HueGrid1->font(),
            HueGrid1->logicalDpiX(),
            HueGrid1->logicalDpiY(),
            colours.color(highlighted ? QPalette::Highlight : QPalette::Base).rgb(),
            colours.color(highlighted ? QPalette::HighlightedText : QPalette::Text).rgb()};
}

const LabelPixels::Look &TForm1::PaintLabelLook(const QRect &cell, int scale, bool highlighted)
{
    LabelLookOfPaint &known = LabelLooks[highlighted ? 1 : 0];
    if (known.paint != HueGrid1->paintNumber() || known.look.cell != cell.size() ||
        known.look.scale != scale) {
        known.look = RowLabelLook(cell, scale, highlighted);
        known.paint = HueGrid1->paintNumber();
    }
    return known.look;
}

void TForm1::DrawSeparator(QPainter *canvas, const QRect &cell)
{
    canvas->fillRect(cell, palette().color(QPalette::Base));
    if (!TextAtPointLooksLaidOut(*canvas)) {
        canvas->drawText(cell, Qt::AlignCenter, SeparatorDash.text());
        return;
    }
    const qreal left = cell.left() + (cell.width() - SeparatorDash.size().width()) / 2;
    canvas->drawStaticText(QPointF(left, CentredTextTop(*canvas, cell)), SeparatorDash);
}

// The separator is drawn once into an image as the grid would draw it: with the grid's font at
// its resolution and its text colour.
const QImage &TForm1::SeparatorPixels(const QRect &cell, int scale)
{
    if (SeparatorImagePaint == HueGrid1->paintNumber() && !SeparatorImage.isNull() &&
        std::get<QSize>(SeparatorImageLook) == cell.size() &&
        std::get<int>(SeparatorImageLook) == scale)
        return SeparatorImage;
    SeparatorImagePaint = HueGrid1->paintNumber();
    const std::tuple<QSize, int, QRgb, QRgb, QFont> look{
        cell.size(), scale, palette().color(QPalette::Base).rgba(),
        HueGrid1->palette().color(QPalette::Text).rgba(), HueGrid1->font()};
    if (look == SeparatorImageLook && !SeparatorImage.isNull())
        return SeparatorImage;
    SeparatorImage =
        TextPicture(cell.size(), scale, HueGrid1->logicalDpiX(), HueGrid1->logicalDpiY());
    QPainter painter(&SeparatorImage);
    painter.setFont(HueGrid1->font());
    painter.setPen(HueGrid1->palette().color(QPalette::Text));
    DrawSeparator(&painter, QRect(QPoint(0, 0), cell.size()));
    SeparatorImageLook = look;
    return SeparatorImage;
}

void TForm1::HueGrid1SelectCell(int, int ARow, bool &)
{
    BrowserRow = ARow;
    if (RadioButtonGetColor2->isChecked())
        HueGrid1DblClick();
}

// Each assignment runs the copy fields' own handlers, which make all four number fields
// follow, so the copy group ends up ready to copy exactly this entry to the same number.
// The picker then shows the new entry's colour at the index that was selected before.
void TForm1::HueGrid1DblClick()
{
    const QString entryText = QString::number(BrowserRow + 1);
    Only1Color->setChecked(true);
    TargetOther->setChecked(false);
    NumberFrom->setText(entryText);
    NumberTo->setText(entryText);

    // A missing or partial record is read as zeroes, so the editor never holds the start of one
    // entry and the rest of another; the load counts as done whenever the file opened. The read
    // waits a moment for another process's write, so that the editor never holds an entry
    // half written; a write that goes on longer fails the load as a file that does not open.
    EditHueLoaded = false;
    const ReadOutcome outcome =
        LoadEntryFromFile(WriteFileName(), BrowserRow + 1, EditHue, WindowLockWait);
    EditHueHeldIn = outcome == ReadOutcome::Read ? WriteFileName() : std::string();
    if (outcome == ReadOutcome::Locked)
        AppendLogLine(LoadLockedLine);
    if (outcome != ReadOutcome::NotOpened && outcome != ReadOutcome::Locked) {
        EditHueLoaded = true;
        PendingLogLine = LoadLinePrefix + NumberFrom->text().toLatin1();
    }
    NoteEditorLoad(BrowserRow + 1, EditHueLoaded ? &EditHue : nullptr);
    RefreshHueGridEdit();
    if (EditColourIndex >= 0) {
        bool canSelect = true;
        HueGridEditSelectCell(EditColourIndex + 1, 0, canSelect);
    }
}

// The files may have changed under the cached row, so the program's own refreshes read it
// again; paints the windowing system asks for keep using the cache.
void TForm1::RefreshBrowser()
{
    CachedRow = -1;
    HueGrid1->repaint();
}
