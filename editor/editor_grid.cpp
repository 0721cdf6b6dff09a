#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "app/qt_colour.h"
#include "browser/browser_label.h"
#include "huefile/colour.h"
#include "preview/preview_window.h"
#include "widgets/draw_grid.h"
#include "widgets/picture_box.h"

#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <cstring>

namespace {

// The editor grid's tag holds where a press-drag-release stands. Dragging is 1 and pressed 2,
// so a tag that reads 1 always means that the mouse has moved since the press.
constexpr int MouseIdle = 0;
constexpr int MouseDragging = 1;
constexpr int MousePressed = 2;

constexpr int LabelColumn = 0;
constexpr DisplayColour Black = 0;

} // namespace

void TForm1::ConnectEditorGrid()
{
    HueGridEdit->setCellPainter([this](QPainter *canvas, int col, int row, const QRect &rect) {
        HueGridEditDrawCell(canvas, col, row, rect);
    });
    connect(HueGridEdit, &DrawGrid::selectCell, this, [this](int col, int row, bool *canSelect) {
        HueGridEditSelectCell(col, row, *canSelect);
    });
    connect(HueGridEdit, &DrawGrid::mousePressed, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos) {
                HueGridEditMouseDown(button, modifiers, pos.x(), pos.y());
            });
    connect(HueGridEdit, &DrawGrid::mouseMoved, this,
            [this](Qt::KeyboardModifiers modifiers, const QPoint &pos) {
                HueGridEditMouseMove(modifiers, pos.x(), pos.y());
            });
    connect(HueGridEdit, &DrawGrid::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos) {
                HueGridEditMouseUp(button, modifiers, pos.x(), pos.y());
            });
    connect(HueGridEdit, &DrawGrid::entered, this, &TForm1::HueGridEditEnter);
}

// Painting only paints: the name field is synchronised by the program's own refresh, so a
// repaint that the windowing system asks for cannot overwrite a name being typed.
void TForm1::HueGridEditDrawCell(QPainter *canvas, int ACol, int, const QRect &Rect)
{
    // The label names the entry that a write-back goes to, in the browser's own format.
    if (ACol == LabelColumn) {
        canvas->drawText(Rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         BrowserLabel(BrowserRow + 1));
        return;
    }
    const DisplayColour swatch = EditHueLoaded ? HueToDisplay(EditHue, ACol - 1) : Black;
    canvas->fillRect(Rect, ToQColor(swatch));
}

// The name field takes the stored name first, because its change may write the entry back
// and that write must carry the colours the grid is about to show. An equal text is left
// alone, which keeps the field's cursor and undo history and fires no change. An entry the
// write file does not hold, or that came from another write file, is only shown: the file
// stays as it is until the user edits.
void TForm1::RefreshHueGridEdit()
{
    const QString name = StoredNameText(EditHue);
    if (aktHueName->text() != name) {
        const QScopedValueRollback<bool> quiet(
            NameSyncWithoutWrite, NameSyncWithoutWrite || EditHueHeldIn != WriteFileName());
        aktHueName->setText(name);
    }
    HueGridEdit->repaint();
    if (Preview)
        Preview->setEntry(ShownEditHue(), ShownEditHueSource());
}

void TForm1::HueGridEditSelectCell(int ACol, int, bool &)
{
    if (ACol == LabelColumn) {
        SpreadColorOkay->setEnabled(false);
        MixColorOkay->setEnabled(false);
        DrawColorRange(-1, -1, false);
        // A drag that starts on the label selects from colour 0.
        if (HueGridEdit->tag() == MouseIdle)
            ImageColorRange->setTag(0);
        return;
    }

    EditColourIndex = ACol - 1;
    ShowColourInPicker(HueToDisplay(EditHue, EditColourIndex));
    MixColorOkay->setEnabled(true);

    // The first cell entered straight from the press leaves the bar alone; only a move that
    // has already been seen as a drag shows the run.
    switch (HueGridEdit->tag()) {
    case MouseIdle:
        ImageColorRange->setTag(EditColourIndex);
        DrawColorRange(EditColourIndex, EditColourIndex, false);
        break;
    case MouseDragging:
        DrawColorRange(EditColourIndex, ImageColorRange->tag(), false);
        break;
    default:
        break;
    }
}

void TForm1::HueGridEditMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    HueGridEdit->setTag(MousePressed);
}

void TForm1::HueGridEditMouseMove(Qt::KeyboardModifiers, int, int)
{
    if (HueGridEdit->tag() == MousePressed)
        HueGridEdit->setTag(MouseDragging);
}

void TForm1::HueGridEditMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    HueGridEdit->setTag(MouseIdle);
}

void TForm1::HueGridEditEnter()
{
    HueGridEdit->setTag(MouseIdle);
}
