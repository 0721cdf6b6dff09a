#include "app/tform1.h"

#include "app/qt_colour.h"
#include "browser/browser_label.h"
#include "huefile/colour.h"
#include "huefile/hue_file.h"
#include "widgets/draw_grid.h"

#include <QCheckBox>
#include <QGlyphRun>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QRawFont>
#include <QTextLayout>
#include <QVarLengthArray>
#include <array>
#include <cstdio>

namespace {

constexpr int LabelColumn = 0;
constexpr int FirstSourceColumn = 1;
constexpr int SeparatorColumn = 33;
constexpr int FirstTargetColumn = 34;
constexpr int LastTargetColumn = 65;

const QByteArray LoadLinePrefix = "GET ONE   ";

// The characters that labels and the separator are made of.
const QString RowTextCharacters = QStringLiteral("0123456789abcdef []-");

// Draws the browser's row texts from glyphs shaped once per font: for a text this short,
// shaping and line layout cost more than twice as much as drawing the glyphs, and every
// painted row has two texts. Glyphs and their places are those QPainter::drawText lays out,
// vertically centred on one line, left-aligned or centred; the clip to the cell that drawText
// adds for a text too large is the grid's, which clips the text columns. A font is checked
// first: where these characters' glyphs depend on their neighbours (kerning, ligatures) or
// come from more than one font, and for any other character, the texts go through
// QPainter::drawText as before.
class RowTextPainter {
public:
    void draw(QPainter *canvas, const QRect &cell, Qt::Alignment alignment, const QString &text);

private:
    void prepare(const QFont &font);
    bool matchesSingleGlyphs(const QString &text, const QFont &font);
    bool placeGlyphs(const QString &text);

    QFont m_font;
    bool m_prepared = false;
    bool m_usable = false;
    qreal m_ascent = 0;
    qreal m_lineHeight = 0;
    std::array<bool, 128> m_known{};
    std::array<quint32, 128> m_glyphs{};
    std::array<qreal, 128> m_advances{};
    QRawFont m_rawFont;
    QGlyphRun m_run;
    QVarLengthArray<quint32, 16> m_runGlyphs;
    QVarLengthArray<QPointF, 16> m_runPositions;
    qreal m_runWidth = 0;
};

// One line without wrapping, as drawText lays out a single-line text.
QList<QGlyphRun> LayOutOneLine(QTextLayout &layout, QTextLine &line)
{
    QTextOption option;
    option.setWrapMode(QTextOption::ManualWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    line = layout.createLine();
    layout.endLayout();
    return layout.glyphRuns();
}

void RowTextPainter::prepare(const QFont &font)
{
    m_font = font;
    m_prepared = true;
    m_usable = false;
    m_known.fill(false);
    m_rawFont = QRawFont();
    for (const QChar character : RowTextCharacters) {
        QTextLayout layout(QString(character), font);
        QTextLine line;
        const QList<QGlyphRun> runs = LayOutOneLine(layout, line);
        if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1)
            return;
        if (m_rawFont.isValid() && runs[0].rawFont() != m_rawFont)
            return;
        m_rawFont = runs[0].rawFont();
        m_known[character.unicode()] = true;
        m_glyphs[character.unicode()] = runs[0].glyphIndexes()[0];
        m_advances[character.unicode()] = line.horizontalAdvance();
    }
    // Every pair of neighbours in one text, so that kerning or a ligature between any two
    // shows as a difference.
    QString pairs;
    for (const QChar first : RowTextCharacters)
        for (const QChar second : RowTextCharacters)
            pairs += QString(first) + second;
    m_usable = matchesSingleGlyphs(pairs, font);
}

bool RowTextPainter::matchesSingleGlyphs(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    QTextLine line;
    const QList<QGlyphRun> runs = LayOutOneLine(layout, line);
    if (runs.size() != 1 || runs[0].rawFont() != m_rawFont || !placeGlyphs(text))
        return false;
    const QList<QPointF> positions = runs[0].positions();
    if (runs[0].glyphIndexes() != QList<quint32>(m_runGlyphs.begin(), m_runGlyphs.end()) ||
        positions.size() != m_runPositions.size())
        return false;
    for (int i = 0; i < positions.size(); ++i)
        if (positions[i] != m_runPositions[i] + QPointF(0, line.ascent()))
            return false;
    m_ascent = line.ascent();
    m_lineHeight = line.ascent() + line.descent();
    return true;
}

// Glyphs and places on the baseline from the left end of the text; false for a character
// outside the prepared ones.
bool RowTextPainter::placeGlyphs(const QString &text)
{
    m_runGlyphs.clear();
    m_runPositions.clear();
    qreal x = 0;
    for (const QChar character : text) {
        const ushort code = character.unicode();
        if (code >= m_known.size() || !m_known[code])
            return false;
        m_runGlyphs.append(m_glyphs[code]);
        m_runPositions.append(QPointF(x, 0));
        x += m_advances[code];
    }
    m_runWidth = x;
    return true;
}

// Vertically the line box is centred in the cell, horizontally the text's advance, both to
// the fraction of a pixel as drawText does.
void RowTextPainter::draw(QPainter *canvas, const QRect &cell, Qt::Alignment alignment,
                          const QString &text)
{
    if (!m_prepared || canvas->font() != m_font)
        prepare(canvas->font());
    if (!m_usable || !placeGlyphs(text)) {
        canvas->drawText(cell, alignment | Qt::AlignVCenter | Qt::TextSingleLine, text);
        return;
    }
    qreal left = cell.x();
    if (alignment & Qt::AlignHCenter)
        left += (cell.width() - m_runWidth) / 2;
    const qreal baseline = cell.y() + (cell.height() - m_lineHeight) / 2 + m_ascent;
    m_run.setRawFont(m_rawFont);
    m_run.setRawData(m_runGlyphs.constData(), m_runPositions.constData(), m_runGlyphs.size());
    canvas->drawGlyphRun(QPointF(left, baseline), m_run);
}

// Never destroyed: it holds a font engine, which must not be released after the application
// has taken the font system down.
RowTextPainter &RowTexts()
{
    static RowTextPainter *const painter = new RowTextPainter;
    return *painter;
}

// Missing-entry mark: a button-face bar inside a frame of 1 pixel at the sides and 2 pixels
// at top and bottom, which in a 4 x 11 swatch leaves a 2 x 7 bar.
void DrawMissingEntryMark(QPainter *canvas, const QRect &cell, const QColor &frame,
                          const QColor &buttonFace)
{
    canvas->fillRect(cell, frame);
    canvas->fillRect(cell.adjusted(1, 2, -1, -2), buttonFace);
}

// A whole record counts; a file that does not open or ends before the record does not.
bool ReadRowEntry(const std::string &fileName, int entryNumber, HueEntry &destination)
{
    return ReadEntryFromFile(fileName, entryNumber, destination) == ReadOutcome::Read;
}

// A missing or partial record is read as zeroes where the file ends, so the editor never
// holds the start of one entry and the rest of another. A file that does not open leaves the
// destination as it was; the load counts as done whenever the file opened.
bool LoadEntry(const std::string &fileName, int entryNumber, HueEntry &destination)
{
    std::FILE *stream = OpenHueFileForReading(fileName);
    if (!stream)
        return false;
    ReadEntryFrom(stream, entryNumber, destination);
    std::fclose(stream);
    return true;
}

} // namespace

QString BrowserLabel(int entryNumber)
{
    return QString::asprintf("%5d [0%03x]", entryNumber, static_cast<unsigned>(entryNumber));
}

void TForm1::ConnectBrowser()
{
    connect(HueGrid1, &DrawGrid::drawCell, this, &TForm1::HueGrid1DrawCell);
    // Swatches and missing-entry marks are exact fills of the cell, so the grid need not clip
    // them; the label and the separator draw text and stay clipped.
    for (int col = FirstSourceColumn; col <= LastTargetColumn; ++col)
        HueGrid1->setColDrawsInsideCell(col, col != SeparatorColumn);
    connect(HueGrid1, &DrawGrid::selectCell, this, [this](int col, int row, bool *canSelect) {
        HueGrid1SelectCell(col, row, *canSelect);
    });
    connect(HueGrid1, &DrawGrid::doubleClicked, this, &TForm1::HueGrid1DblClick);
}

// The grid paints row by row, so caching the row's two entries costs two opens per painted
// row instead of two per cell. The cache is filled before whichever cell of a new row comes
// first, label and separator included.
void TForm1::HueGrid1DrawCell(QPainter *canvas, int ACol, int ARow, const QRect &Rect)
{
    if (ARow != CachedRow) {
        CachedRow = ARow;
        const int entryNumber = ARow + 1;
        RowSourceValid = ReadRowEntry(ReadFileName(), entryNumber, RowSourceHue);
        RowTargetValid = ReadRowEntry(WriteFileName(), entryNumber, RowTargetHue);
    }

    // The swatches come first: they are almost every cell, and need no palette colour.
    if (ACol > LabelColumn && ACol < SeparatorColumn) {
        if (RowSourceValid)
            canvas->fillRect(Rect, ToQColor(HueToDisplay(RowSourceHue, ACol - FirstSourceColumn)));
        else
            DrawMissingEntryMark(canvas, Rect, palette().color(QPalette::Base),
                                 palette().color(QPalette::Button));
    } else if (ACol > SeparatorColumn && ACol <= LastTargetColumn) {
        if (RowTargetValid)
            canvas->fillRect(Rect, ToQColor(HueToDisplay(RowTargetHue, ACol - FirstTargetColumn)));
        else
            DrawMissingEntryMark(canvas, Rect, Qt::white, palette().color(QPalette::Button));
    } else if (ACol == LabelColumn) {
        RowTexts().draw(canvas, Rect, Qt::AlignLeft, BrowserLabel(ARow + 1));
    } else if (ACol == SeparatorColumn) {
        canvas->fillRect(Rect, palette().color(QPalette::Base));
        RowTexts().draw(canvas, Rect, Qt::AlignHCenter, QStringLiteral("-"));
    }
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

    EditHueLoaded = false;
    if (LoadEntry(WriteFileName(), BrowserRow + 1, EditHue)) {
        EditHueLoaded = true;
        PendingLogLine = LoadLinePrefix + NumberFrom->text().toLatin1();
    }
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
