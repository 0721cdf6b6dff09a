#include "app/tform1.h"

#include "huefile/colour.h"
#include "huefile/formats/colour_text.h"
#include "huefile/hue_file.h"
#include "huefile/run_operations.h"
#include "widgets/draw_grid.h"
#include "widgets/picture_box.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <algorithm>
#include <cstring>

namespace {

using RunOperation = TForm1::RunOperation;

// Between two windows of this program a paste is exact: the words travel as they are, and an
// entry copied from the browser travels with its name.
const QString ColoursMimeType = "application/x-colvane-colours";
const QString EntryMimeType = "application/x-colvane-entry";
constexpr int EntryPayloadSize = HueColourCount * sizeof(HueColour) + HueNameLength;
constexpr HueColour Bit15 = 0x8000;

QByteArray WordBytes(const HueColour *words, int count)
{
    return QByteArray(reinterpret_cast<const char *>(words),
                      static_cast<qsizetype>(count * sizeof(HueColour)));
}

std::vector<HueColour> WordsOf(const QByteArray &bytes)
{
    std::vector<HueColour> words(static_cast<std::size_t>(bytes.size()) / sizeof(HueColour));
    std::memcpy(words.data(), bytes.constData(), words.size() * sizeof(HueColour));
    return words;
}

// One "#rrggbb" per line, the channels as an export writes them.
QString ColoursText(const HueColour *words, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        const DisplayColour shown = HueWordToDisplay(words[i]);
        text += QString::asprintf("#%02x%02x%02x\n", RedOf(shown) * 8, GreenOf(shown) * 8,
                                  BlueOf(shown) * 8);
    }
    return text;
}

void PutOnClipboard(const HueColour *words, int count, const QString &type, QByteArray payload)
{
    auto *data = new QMimeData;
    data->setText(ColoursText(words, count));
    data->setData(type, payload);
    QGuiApplication::clipboard()->setMimeData(data);
}

QByteArray SlotText(int slot)
{
    return "#" + QByteArray::number(slot);
}

struct Pasted {
    std::vector<HueColour> words;
    // Only an entry copied whole brings its name.
    std::optional<QByteArray> name;
    QByteArray why;
};

Pasted FromClipboard(const QMimeData *data)
{
    if (!data)
        return {{}, {}, "the clipboard holds no colour"};
    if (data->hasFormat(EntryMimeType) && data->data(EntryMimeType).size() == EntryPayloadSize) {
        const QByteArray bytes = data->data(EntryMimeType);
        const qsizetype wordsSize = HueColourCount * sizeof(HueColour);
        return {WordsOf(bytes.left(wordsSize)), bytes.mid(wordsSize), {}};
    }
    const QByteArray words = data->data(ColoursMimeType);
    if (!words.isEmpty() && words.size() % 2 == 0 &&
        words.size() <= static_cast<qsizetype>(HueColourCount * sizeof(HueColour)))
        return {WordsOf(words), {}, {}};
    if (!data->hasText())
        return {{}, {}, "the clipboard holds no colour"};
    const QByteArray text = data->text().toUtf8();
    const auto colours = ColoursFromText(std::string_view(text.constData(), text.size()));
    if (!colours)
        return {{}, {}, QByteArray::fromStdString(colours.error())};
    Pasted pasted;
    for (const DisplayColour colour : *colours)
        pasted.words.push_back(DisplayToHue(colour));
    return pasted;
}

// The log's words are padded to 10 characters, as its other words are.
QByteArray RunOperationLine(RunOperation operation, int lower, int upper)
{
    const QByteArray run = SlotText(lower) + " .. " + SlotText(upper);
    switch (operation) {
    case RunOperation::Reverse:
        return "REVERSE   " + run;
    case RunOperation::RotateLeft:
        return "ROTATE    " + run + " LEFT";
    case RunOperation::RotateRight:
        return "ROTATE    " + run + " RIGHT";
    case RunOperation::SwapEnds:
        break;
    }
    return "SWAP      " + SlotText(lower) + " " + SlotText(upper);
}

} // namespace

void TForm1::ConnectColourClipboard()
{
    const auto shortcut = [this](QWidget *on, QKeySequence keys, auto handler) {
        auto *key = new QShortcut(keys, on);
        key->setContext(Qt::WidgetShortcut);
        connect(key, &QShortcut::activated, this, handler);
    };
    shortcut(HueGridEdit, QKeySequence(Qt::CTRL | Qt::Key_C), [this] { CopyEditorColours(); });
    shortcut(HueGridEdit, QKeySequence(Qt::CTRL | Qt::Key_V), [this] { PasteIntoEditor(); });
    shortcut(HueGrid1, QKeySequence(Qt::CTRL | Qt::Key_C), [this] { CopyBrowserEntry(false); });
    shortcut(HueGrid1, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
             [this] { CopyBrowserEntry(true); });
    // As in the browser, the menu comes with the right button's release.
    connect(HueGridEdit, &DrawGrid::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) {
                if (button == Qt::RightButton)
                    ShowEditorMenu(HueGridEdit->mapToGlobal(pos));
            });
}

int TForm1::CurrentColourIndex() const
{
    return EditColourIndex >= 0 && EditColourIndex < HueColourCount ? EditColourIndex : 0;
}

std::optional<std::pair<int, int>> TForm1::SelectedRun() const
{
    const int anchor = ImageColorRange->tag();
    if (EditColourIndex < 0 || EditColourIndex >= HueColourCount || anchor < 0 ||
        anchor >= HueColourCount)
        return std::nullopt;
    return std::make_pair(std::min(EditColourIndex, anchor), std::max(EditColourIndex, anchor));
}

void TForm1::CopyEditorColours()
{
    const HueEntry shown = ShownEditHue();
    const auto run = SelectedRun();
    const int first = run ? run->first : CurrentColourIndex();
    const int count = run ? run->second - run->first + 1 : 1;
    PutOnClipboard(shown.colours + first, count, ColoursMimeType,
                   WordBytes(shown.colours + first, count));
}

// The entry as the file holds it, not as the editor may have changed it; a record the file does
// not hold whole is copied as the browser shows it, zeroes for what is missing.
void TForm1::CopyBrowserEntry(bool fromReadFile)
{
    HueEntry entry{};
    if (const auto file = HueFile::openForReading(fromReadFile ? ReadFileName() : WriteFileName(),
                                                  WindowLockWait))
        file->readEntry(BrowserRow + 1, entry);
    PutOnClipboard(entry.colours, HueColourCount, EntryMimeType,
                   WordBytes(entry.colours, HueColourCount) +
                       QByteArray(entry.name, HueNameLength));
}

void TForm1::PasteIntoEditor()
{
    PasteColours(QGuiApplication::clipboard()->mimeData());
}

// Like an import: the words take their channels and keep bit 15, the grid, picker and range bar
// follow, the held-back load line and the paste's own line are logged, and autosave writes it.
bool TForm1::PasteColours(const QMimeData *data)
{
    if (!EditHueLoaded) {
        AppendLogLine("!PASTE no entry is loaded into the editor");
        return false;
    }
    const Pasted pasted = FromClipboard(data);
    if (pasted.words.empty()) {
        AppendLogLine("!PASTE " + pasted.why);
        return false;
    }
    const int first = pasted.name ? 0 : CurrentColourIndex();
    const int last =
        std::min<int>(HueColourCount, first + static_cast<int>(pasted.words.size())) - 1;
    for (int slot = first; slot <= last; ++slot)
        EditHue.colours[slot] = static_cast<HueColour>((EditHue.colours[slot] & Bit15) |
                                                       (pasted.words[slot - first] & ~Bit15));
    if (pasted.name)
        std::memcpy(EditHue.name, pasted.name->constData(), HueNameLength);
    FinishEditorChange("PASTE     " + SlotText(first) + " .. " + SlotText(last));
    return true;
}

void TForm1::FinishEditorChange(const QByteArray &line)
{
    RefreshHueGridEdit();
    FlushPendingLogLine();
    AppendLogLine(line);
    if (EditColourIndex >= 0) {
        ShowColourInPicker(HueToDisplay(EditHue, EditColourIndex));
        DrawColorRange(EditColourIndex, ImageColorRange->tag(), false);
    }
    if (AutoSave->isChecked())
        PatchItClick();
}

void TForm1::ApplyRunOperation(RunOperation operation)
{
    const auto run = SelectedRun();
    if (!EditHueLoaded || !run || run->first == run->second)
        return;
    const auto [lower, upper] = *run;
    switch (operation) {
    case RunOperation::Reverse:
        ReverseRun(EditHue, lower, upper);
        break;
    case RunOperation::RotateLeft:
    case RunOperation::RotateRight:
        RotateRun(EditHue, lower, upper, operation == RunOperation::RotateLeft);
        break;
    case RunOperation::SwapEnds:
        SwapRunEnds(EditHue, lower, upper);
        break;
    }
    FinishEditorChange(RunOperationLine(operation, lower, upper));
}

void TForm1::ShowEditorMenu(const QPoint &at)
{
    const auto run = SelectedRun();
    const bool loaded = EditHueLoaded;
    const bool hasRun = loaded && run && run->first < run->second;
    QMenu menu(this);
    menu.addAction("Spread in OKLab", this, &TForm1::SpreadRunInOklab)
        ->setEnabled(hasRun && run->second - run->first > 1);
    menu.addAction("Reverse the run", this, [this] { ApplyRunOperation(RunOperation::Reverse); })
        ->setEnabled(hasRun);
    menu.addAction("Rotate left", this, [this] { ApplyRunOperation(RunOperation::RotateLeft); })
        ->setEnabled(hasRun);
    menu.addAction("Rotate right", this, [this] { ApplyRunOperation(RunOperation::RotateRight); })
        ->setEnabled(hasRun);
    menu.addAction("Swap the run's ends", this,
                   [this] { ApplyRunOperation(RunOperation::SwapEnds); })
        ->setEnabled(hasRun);
    menu.addSeparator();
    menu.addAction("Copy colours", QKeySequence(Qt::CTRL | Qt::Key_C), this,
                   &TForm1::CopyEditorColours);
    menu.addAction("Paste colours", QKeySequence(Qt::CTRL | Qt::Key_V), this,
                   &TForm1::PasteIntoEditor)
        ->setEnabled(loaded);
    menu.addAction("Import keeping the name\u2026", this, &TForm1::ImportKeepingNameClick)
        ->setEnabled(loaded);
    menu.exec(at);
}
