#include "support/byte_model.h"
#include "support/test_support.h"

#include "cli/commands.h"
#include "huefile/colour.h"
#include "huefile/hue_file.h"
#include "huefile/oklab.h"
#include "huefile/write_history.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <rapidcheck/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <tuple>

#include "widgets/picture_box.h"

// Random hue files and random sequences of the window's writing operations, each checked
// against a byte-array model of both files after every step. `make soak` runs many more
// sequences than `make test` through RC_PARAMS.

namespace {

using byte_model::Bytes;
using byte_model::ReadEntry;
using byte_model::Record;
constexpr long FullFileSize = EntryOffset(MaxEntryNumber) + Record;

// File bytes with many zeroes, so that names end early as often as they run to 20 bytes. The
// first header byte is zero, as in every hue file, so no file is taken for text.
Bytes RandomBytes(long size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(static_cast<std::size_t>(size));
    for (auto &byte : bytes)
        byte = random() % 4 == 0 ? 0 : static_cast<unsigned char>(random());
    if (!bytes.empty())
        bytes[0] = 0;
    return bytes;
}

// Uniform over the whole range from the first case on: the plain generator starts near the
// minimum and widens with the case number, which would keep early cases at entry 1.
template <typename T> rc::Gen<T> Uniform(T min, T max)
{
    return rc::gen::resize(rc::kNominalSize, rc::gen::inRange<T>(min, max));
}

rc::Gen<long> FileSize()
{
    return rc::gen::oneOf(rc::gen::element(0L, 1L, 4L, 707L, 708L, 709L, FullFileSize),
                          Uniform(0L, FullFileSize + 1));
}

// The last entry whose place a file of this size reaches; entries near it are where whole,
// partial and missing records meet.
int LastEntryAround(long size)
{
    int n = 1;
    while (n < MaxEntryNumber && EntryOffset(n + 1) <= size)
        ++n;
    return n;
}

rc::Gen<int> EntryNear(int around)
{
    return rc::gen::oneOf(
        Uniform(1, MaxEntryNumber + 1),
        Uniform(std::max(1, around - 3), std::min(MaxEntryNumber, around + 3) + 1));
}

std::string StoredName(const HueEntry &entry)
{
    const auto *end = static_cast<const char *>(std::memchr(entry.name, 0, HueNameLength));
    return std::string(entry.name, end ? static_cast<std::size_t>(end - entry.name)
                                       : static_cast<std::size_t>(HueNameLength));
}

void StoreName(const std::string &name, HueEntry &entry)
{
    std::memset(entry.name, 0, sizeof entry.name);
    std::memcpy(entry.name, name.data(), std::min<std::size_t>(name.size(), HueNameLength));
}

// The two files and the editor as the window must leave them. With one file behind both
// names, both sides are the same byte array. While another process's write holds the write
// file past the window's wait, every write of the window fails. A load it holds up leaves the
// editor without an entry; WindowBesideWriter checks that case.
struct Model {
    Bytes writeFile;
    std::optional<Bytes> readFile;
    std::optional<long> sizeLimit;
    bool heldElsewhere = false;
    HueEntry editor{};
    bool editorInFile = false;
    std::string shownName;
    int browserRow = 0;
    // What the editor last loaded from an entry or wrote there, and whether it was found
    // changed since; what it never saw is written unchecked.
    struct Seen {
        HueEntry bytes{};
        bool stale = false;
    };
    std::map<int, Seen> seen;
    QStringList log;
    // The load line held back until the next change of the editor's entry.
    QString pending;
    byte_model::History history;

    const Bytes &source() const { return readFile ? *readFile : writeFile; }
    byte_model::LimitedFile file() { return {writeFile, sizeLimit}; }

    // A write of the window, kept for an undo when it changed something.
    bool Write(int n, const HueEntry &entry)
    {
        Bytes before = writeFile;
        std::vector<int> wrote;
        if (heldElsewhere || !file().write(n, entry, &wrote))
            return false;
        history.record(std::move(before), writeFile, wrote);
        return true;
    }

    bool Copy(int sourceFrom, int sourceTo, int targetFrom, int targetTo)
    {
        if (heldElsewhere)
            return false;
        Bytes before = writeFile;
        std::vector<int> wrote;
        const bool whole =
            file().copy(source(), sourceFrom, sourceTo, targetFrom, targetTo, &wrote);
        history.record(std::move(before), writeFile, wrote);
        return whole;
    }

    // Words keep their bit 15 and the entry its carried bytes, except from json, which carries
    // both. A palette's name that differs from the stored one replaces it, zero-padded; pal, hex
    // and png have none.
    bool Import(int n, const HueEntry &palette, PaletteFormat format)
    {
        HueEntry entry;
        ReadEntry(writeFile, n, entry);
        const bool json = format == PaletteFormat::Json;
        for (int c = 0; c < HueColourCount; ++c) {
            if (!json)
                entry.colours[c] = static_cast<HueColour>((entry.colours[c] & 0x8000) |
                                                          (palette.colours[c] & 0x7FFF));
            else
                entry.colours[c] = palette.colours[c];
        }
        if (json)
            std::memcpy(entry.carried, palette.carried, sizeof entry.carried);
        if ((json || format == PaletteFormat::Gpl) && StoredName(palette) != StoredName(entry))
            StoreName(StoredName(palette), entry);
        return file().write(n, entry);
    }

    // A shown name that is the stored one keeps the bytes behind its end; the name enters the
    // editor only once the file is open. An entry the editor saw is written only over what it
    // saw: found changed, it is stale, which autosave then leaves alone and "Patch it" writes
    // over what was found.
    void PatchIt(bool autoSave = false)
    {
        const int n = browserRow + 1;
        if (heldElsewhere) {
            log << "!ERROR";
            return;
        }
        if (shownName != StoredName(editor))
            StoreName(shownName, editor);
        if (const auto known = seen.find(n); known != seen.end()) {
            if (known->second.stale && autoSave)
                return;
            HueEntry found;
            ReadEntry(writeFile, n, found);
            if (!SameBytes(found, known->second.bytes)) {
                known->second = {found, true};
                log << QString("!STALE    %1").arg(n);
                return;
            }
        }
        const bool written = Write(n, editor);
        editorInFile = editorInFile || written;
        if (written)
            seen[n] = {editor, false};
        log << (written ? QString("PATCHING  %1").arg(n) : QString("!ERROR"));
    }

    void Load(int row)
    {
        browserRow = row;
        editorInFile = ReadEntry(writeFile, row + 1, editor);
        pending = QString("GET ONE   %1").arg(row + 1);
        seen = {{row + 1, {editor, false}}};
    }

    // A paste or a run operation changes the entry in memory, shows its stored name, logs the
    // held-back load line and its own, and is then written back.
    void ChangeEditor(const QString &line)
    {
        if (!pending.isEmpty())
            log << pending;
        pending.clear();
        log << line;
        shownName = StoredName(editor);
        PatchIt();
    }

    // Colours from `first` onward take the pasted channels and keep bit 15.
    void Paste(int first, const std::vector<HueColour> &words)
    {
        const int last = std::min<int>(HueColourCount, first + static_cast<int>(words.size())) - 1;
        for (int slot = first; slot <= last; ++slot)
            editor.colours[slot] = static_cast<HueColour>((editor.colours[slot] & 0x8000) |
                                                          (words[slot - first] & 0x7FFF));
        ChangeEditor(QString("PASTE     #%1 .. #%2").arg(first).arg(last));
    }

    // 0: spread in OKLab, 1: reverse, 2: rotate left, 3: rotate right, 4: swap the ends.
    void RunOperation(int operation, int lower, int upper)
    {
        const HueEntry before = editor;
        const int length = upper - lower + 1;
        const auto from = [&](int i) {
            return before.colours[lower + (i % length + length) % length];
        };
        const QString run = QString("#%1 .. #%2").arg(lower).arg(upper);
        const auto channels = [](DisplayColour c) {
            return QString(" R%1 G%2 B%3").arg(RedOf(c)).arg(GreenOf(c)).arg(BlueOf(c));
        };
        const DisplayColour lo = HueWordToDisplay(before.colours[lower]);
        const DisplayColour hi = HueWordToDisplay(before.colours[upper]);
        for (int i = 0; i < length; ++i) {
            HueColour &word = editor.colours[lower + i];
            if (operation == 0 && i > 0 && i < length - 1)
                word = DisplayToHue(OklabGradientColour(lo, hi, i, length - 1));
            else if (operation == 1)
                word = from(length - 1 - i);
            else if (operation == 2)
                word = from(i + 1);
            else if (operation == 3)
                word = from(i - 1);
        }
        if (operation == 4)
            std::swap(editor.colours[lower], editor.colours[upper]);
        const QString lines[] = {QString("DEF RANGE #%1").arg(lower) + channels(lo) +
                                     QString(" .. #%1").arg(upper) + channels(hi) + " OKLAB",
                                 "REVERSE   " + run, "ROTATE    " + run + " LEFT",
                                 "ROTATE    " + run + " RIGHT",
                                 QString("SWAP      #%1 #%2").arg(lower).arg(upper)};
        ChangeEditor(lines[operation]);
    }

    // The load shows what the file holds; only an entry the file holds is written back when
    // its stored name replaces the one shown.
    void LoadWithAutoSave(int row)
    {
        Load(row);
        const std::string stored = StoredName(editor);
        if (stored == shownName)
            return;
        shownName = stored;
        if (editorInFile)
            PatchIt(true);
    }

    // A replay that wrote the editor's entry loads it again, without writing its name back.
    void Replay(bool undo)
    {
        if (heldElsewhere && history.canReplay(undo)) {
            log << "!ERROR";
            return;
        }
        const auto result = history.replay(undo, file());
        const QString word = undo ? "UNDO" : "REDO";
        const auto &entries = result.entries;
        switch (result.outcome) {
        case byte_model::Replay::Nothing:
            return;
        case byte_model::Replay::Stale:
            log << QString("!%1 STALE %2").arg(word).arg(result.staleEntry);
            return;
        case byte_model::Replay::Failed:
            log << "!ERROR";
            return;
        case byte_model::Replay::Done:
            const auto [first, last] = std::minmax_element(entries.begin(), entries.end());
            log << (entries.size() == 1
                        ? word.leftJustified(10, ' ') + QString::number(*first)
                        : QString("%1 RANGE %2 .. %3").arg(word).arg(*first).arg(*last));
            break;
        }
        if (std::find(entries.begin(), entries.end(), browserRow + 1) != entries.end()) {
            Load(browserRow);
            shownName = StoredName(editor);
        }
    }
};

// An entry near the file's end, or the one the editor writes back to, so that the other
// writes meet the editor's entry often.
rc::Gen<int> EntryNearOrEditors(int around, const Model &model)
{
    return rc::gen::oneOf(EntryNear(around), rc::gen::just(model.browserRow + 1));
}

class Window {
public:
    Window(const Bytes &readFile, const Bytes &writeFile, bool oneFile)
    {
        WriteBytes("hues.mul", writeFile);
        if (oneFile)
            QFile::link("hues.mul", "patch-hues.mul");
        else
            WriteBytes("patch-hues.mul", readFile);
        form = ShowForm();
        form->RadioButtonGetColor1->setChecked(true);
    }

    void Copy(bool single, int from, int to, int targetFrom)
    {
        form->Only1Color->setChecked(single);
        form->NumberFrom->setText(QString::number(from));
        form->TargetOther->setChecked(true);
        form->TargetNumberFrom->setText(QString::number(targetFrom));
        form->NumberTo->setText(QString::number(to));
        form->CopyColorsClick();
    }

    // By "Patch it", or by autosave as the name is typed, which writes only when it changes.
    void WriteBack(int row, int colour, HueColour word, const std::string &name, bool autoSave)
    {
        bool canSelect = true;
        form->HueGrid1SelectCell(1, row, canSelect);
        const QString text = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
        if (autoSave) {
            form->EditHue.colours[colour] = word;
            form->AutoSave->setChecked(true);
            form->aktHueName->setText(text);
            form->AutoSave->setChecked(false);
            return;
        }
        form->aktHueName->setText(text);
        form->EditHue.colours[colour] = word;
        form->PatchItClick();
    }

    void LoadWithAutoSave(int row)
    {
        form->AutoSave->setChecked(true);
        bool canSelect = true;
        form->HueGrid1SelectCell(1, row, canSelect);
        form->HueGrid1DblClick();
        form->AutoSave->setChecked(false);
    }

    void Replay(bool undo) { undo ? form->UndoLastWrite() : form->RedoLastWrite(); }

    void SelectRun(int selected, int anchor)
    {
        form->EditColourIndex = selected;
        form->ImageColorRange->setTag(anchor);
    }

    // Written back as "Patch it" would, when anything was pasted.
    void Paste(int selected, const QMimeData &data)
    {
        SelectRun(selected, selected);
        if (form->PasteColours(&data))
            form->PatchItClick();
    }

    int Field(const QLineEdit *field) const { return field->text().toInt(); }

    std::unique_ptr<TForm1> form;
};

// A palette file outside the folder of hue files, named for its format.
std::string WritePalette(const QTemporaryDir &elsewhere, const HueEntry &palette,
                         PaletteFormat format)
{
    const std::string name = (elsewhere.path() + "/palette.").toStdString() + FormatName(format);
    const Expected<std::string> bytes = ExportEntry(palette, 1, format);
    RC_ASSERT(bytes.ok());
    WriteBytes(name, std::vector<unsigned char>(bytes->begin(), bytes->end()));
    return name;
}

// An import as the command line runs it.
bool ImportPalette(const std::string &input, int n)
{
    std::ostringstream out;
    ImportRequest request;
    request.file = "hues.mul";
    request.entry = n;
    request.input = input;
    return RunImport(request, out).ok();
}

// Nothing but the two hue files, by the names they started with.
QStringList FolderContents()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                                     QDir::Name);
}

void ReplayAll(TForm1 &form, bool undo)
{
    const auto next = [&form, undo] {
        return undo ? form.History.nextUndo() : form.History.nextRedo();
    };
    for (int step = 0; step <= static_cast<int>(WriteHistory::Capacity) && next(); ++step)
        undo ? form.UndoLastWrite() : form.RedoLastWrite();
    RC_ASSERT(!next());
}

// Undoing every step gives back the file the window started with, its length included;
// redoing every step gives back the end, the steps undone on the way included.
void UndoAndRedoEverything(TForm1 &form, const Bytes &start)
{
    ReplayAll(form, false);
    const Bytes end = ReadBytes("hues.mul");
    ReplayAll(form, true);
    RC_ASSERT(ReadBytes("hues.mul") == start);
    ReplayAll(form, false);
    RC_ASSERT(ReadBytes("hues.mul") == end);
}

// Another program that takes no lock writes through its own open of the file: a record
// anywhere near the end, bytes that lengthen the file, or bytes into what the window's last
// extension added, gap zeroes included. Nothing goes before the first entry, so the file keeps
// the zero byte it starts with.
void OtherWrite(Model &model, int around, long gapFrom)
{
    const long size = static_cast<long>(model.writeFile.size());
    const auto bytes = [](long count) {
        return *rc::gen::container<Bytes>(static_cast<std::size_t>(count),
                                          rc::gen::arbitrary<unsigned char>());
    };
    long offset = 0;
    Bytes written;
    switch (*Uniform(0, 3)) {
    case 0:
        offset = EntryOffset(*EntryNearOrEditors(around, model));
        written = bytes(Record);
        break;
    case 1:
        offset = std::max(4L, size);
        written = bytes(*Uniform(1L, 3 * Record));
        break;
    default:
        offset = *Uniform(gapFrom, std::max(gapFrom, size) + 1);
        written = bytes(*Uniform(1L, 9L));
        break;
    }
    RC_ASSERT(WriteBytesAt("hues.mul", offset, written));
    byte_model::PutBytes(model.writeFile, offset, written.data(),
                         static_cast<long>(written.size()));
}

// Colours as other programs put them on the clipboard, in any of the accepted forms, or a whole
// entry copied from another window; an empty text is refused.
void PasteStep(Window &window, Model &model)
{
    const int selected = *Uniform(-1, HueColourCount);
    QMimeData data;
    if (*rc::gen::weightedElement<bool>({{1, true}, {3, false}})) {
        HueEntry copied{};
        for (HueColour &word : copied.colours)
            word = *Uniform<HueColour>(0, 0xFFFF);
        for (char &byte : copied.name)
            byte = static_cast<char>(*Uniform(0, 256));
        data.setData(
            "application/x-colvane-entry",
            QByteArray(reinterpret_cast<const char *>(copied.colours), sizeof copied.colours) +
                QByteArray(copied.name, HueNameLength));
        window.Paste(selected, data);
        std::memcpy(model.editor.name, copied.name, HueNameLength);
        model.Paste(0,
                    std::vector<HueColour>(std::begin(copied.colours), std::end(copied.colours)));
        return;
    }
    const int count = *Uniform(0, 40);
    QString text;
    std::vector<HueColour> words;
    for (int i = 0; i < count; ++i) {
        const int r = *Uniform(0, 256), g = *Uniform(0, 256), b = *Uniform(0, 256);
        const QString forms[] = {
            QString::asprintf("#%02x%02X%02x", r, g, b), QString::asprintf("%02x%02x%02x", r, g, b),
            QString::asprintf("%d %d %d", r, g, b), QString::asprintf("rgb(%d, %d,%d)", r, g, b)};
        text += forms[*Uniform(0, 4)] + *rc::gen::element<QString>("\n", ", ", " ", "\r\n");
        words.push_back(static_cast<HueColour>((r >> 3) * 1024 + (g >> 3) * 32 + (b >> 3)));
    }
    data.setText(text);
    window.Paste(selected, data);
    if (words.empty())
        model.log << "!PASTE no colour";
    else
        model.Paste(std::max(selected, 0), words);
}

} // namespace

RC_GTEST_PROP(WindowAgainstModel, EveryStepChangesExactlyWhatTheModelSays, ())
{
    const TempFolder folder;
    const QTemporaryDir paletteFolder;
    const bool oneFile = *rc::gen::weightedElement<bool>({{1, true}, {3, false}});
    const Bytes writeStart = RandomBytes(*FileSize(), *Uniform(0u, ~0u));
    const Bytes readStart = oneFile ? Bytes() : RandomBytes(*FileSize(), *Uniform(0u, ~0u));
    Window window(readStart, writeStart, oneFile);
    const QStringList contents = FolderContents();

    Model model;
    model.writeFile = writeStart;
    if (!oneFile)
        model.readFile = readStart;
    model.editorInFile = ReadEntry(writeStart, 1, model.editor);
    model.shownName = StoredName(model.editor);
    model.seen = {{1, {model.editor, false}}};

    // Imports from the command line and a second writer that takes no lock change the file
    // behind the window's history; a write of another process may hold the file during a step.
    bool changedBehindTheWindow = false;
    long gapFrom = 4;
    const int steps = *Uniform(1, 12);
    for (int step = 0; step < steps; ++step) {
        const Bytes before = model.writeFile;
        const int around = LastEntryAround(static_cast<long>(before.size()));
        // 0, 1: copies; 2: a write-back; 3: a load; 4: an import; 5, 6: undo, redo; 7: another
        // writer; 8: a paste; 9: an operation on a run of the editor's colours. Undos and the
        // other writer come often enough to meet each other.
        const int kind = *rc::gen::weightedElement<int>(
            {{2, 0}, {2, 1}, {2, 2}, {1, 3}, {1, 4}, {3, 5}, {1, 6}, {3, 7}, {1, 8}, {1, 9}});
        if (kind == 7) {
            OtherWrite(model, around, gapFrom);
            changedBehindTheWindow = true;
            RC_ASSERT(ReadBytes("hues.mul") == model.writeFile);
            continue;
        }
        const bool limited = *rc::gen::weightedElement<bool>({{1, true}, {3, false}});
        const long limit = *rc::gen::oneOf(
            Uniform(0L, FullFileSize + 1),
            Uniform(std::max(0L, EntryOffset(around) - 100), EntryOffset(around) + 200));
        model.sizeLimit = limited ? std::optional<long>(limit) : std::nullopt;
        // The command line would wait for the lock, so only the window meets it, and only in
        // steps that write.
        model.heldElsewhere =
            kind != 3 && kind != 4 && *rc::gen::weightedElement<bool>({{1, true}, {7, false}});
        std::optional<HueFile> holder;
        if (model.heldElsewhere)
            holder = Held(HueFile::openForUpdate("hues.mul"));
        RC_ASSERT(holder.has_value() == model.heldElsewhere);
        std::optional<FileSizeLimit> sizeLimit;
        if (limited)
            sizeLimit.emplace(limit);

        if (kind <= 1) {
            const int from = *EntryNear(around);
            const int to =
                kind == 0 ? from : *Uniform(from, std::min(MaxEntryNumber, from + 40) + 1);
            const int target = *EntryNearOrEditors(around, model);
            window.Copy(kind == 0, from, to, target);
            TForm1 &form = *window.form;
            const bool written =
                model.Copy(window.Field(form.NumberFrom),
                           kind == 0 ? window.Field(form.NumberFrom) : window.Field(form.NumberTo),
                           window.Field(form.TargetNumberFrom),
                           kind == 0 ? window.Field(form.TargetNumberFrom)
                                     : window.Field(form.TargetNumberTo));
            const QString single = kind == 0 ? "ONE   " : "RANGE ";
            const auto rangeEnd = [&](const QLineEdit *end) {
                return kind == 0 ? QString() : " .. " + end->text();
            };
            model.log << "GET " + single + form.NumberFrom->text() + rangeEnd(form.NumberTo)
                      << "PUT " + single + form.TargetNumberFrom->text() +
                             rangeEnd(form.TargetNumberTo);
            if (!written)
                model.log << "!ERROR";
        } else if (kind == 2) {
            const int row = *EntryNearOrEditors(around, model) - 1;
            const int colour = *Uniform(0, HueColourCount);
            const auto word = *Uniform<HueColour>(0, 0xFFFF);
            const std::string name = *rc::gen::container<std::string>(
                *Uniform(0, HueNameLength + 1),
                rc::gen::map(Uniform(1, 256), [](int c) { return static_cast<char>(c); }));
            const bool autoSave = *rc::gen::weightedElement<bool>({{1, true}, {2, false}});
            window.WriteBack(row, colour, word, name, autoSave);
            model.browserRow = row;
            model.editor.colours[colour] = word;
            const bool typed = model.shownName != name;
            model.shownName = name;
            if (!autoSave || typed)
                model.PatchIt(autoSave);
        } else if (kind == 3) {
            const int row = *EntryNear(around) - 1;
            window.LoadWithAutoSave(row);
            model.LoadWithAutoSave(row);
        } else if (kind == 4) {
            // Any words and carried bytes; a name without line breaks, which a gpl file cannot
            // hold.
            const int n = *EntryNearOrEditors(around, model);
            const auto format =
                *rc::gen::element(PaletteFormat::Gpl, PaletteFormat::Pal, PaletteFormat::Hex,
                                  PaletteFormat::Json, PaletteFormat::Png);
            HueEntry palette{};
            for (HueColour &word : palette.colours)
                word = *Uniform<HueColour>(0, 0xFFFF);
            for (std::uint8_t &byte : palette.carried)
                byte = static_cast<std::uint8_t>(*Uniform(0, 256));
            const auto character =
                rc::gen::suchThat(Uniform(1, 256), [](int c) { return c != '\n' && c != '\r'; });
            StoreName(*rc::gen::container<std::string>(
                          *Uniform(0, HueNameLength + 1),
                          rc::gen::map(character, [](int c) { return static_cast<char>(c); })),
                      palette);
            // The palette file is written without the size limit, which holds for the import.
            sizeLimit.reset();
            const std::string input = WritePalette(paletteFolder, palette, format);
            if (limited)
                sizeLimit.emplace(limit);
            const bool imported = ImportPalette(input, n);
            RC_ASSERT(imported == model.Import(n, palette, format));
            changedBehindTheWindow = true;
        } else if (kind == 8) {
            PasteStep(window, model);
        } else if (kind == 9) {
            const int lower = *Uniform(0, HueColourCount);
            const int upper = *Uniform(lower, HueColourCount);
            const int operation = *Uniform(0, 5);
            *rc::gen::arbitrary<bool>() ? window.SelectRun(upper, lower)
                                        : window.SelectRun(lower, upper);
            const bool changes = upper - lower >= (operation == 0 ? 2 : 1);
            TForm1 &form = *window.form;
            const TForm1::RunOperation operations[] = {
                TForm1::RunOperation::Reverse, TForm1::RunOperation::RotateLeft,
                TForm1::RunOperation::RotateRight, TForm1::RunOperation::SwapEnds};
            operation == 0 ? form.SpreadRunInOklab()
                           : form.ApplyRunOperation(operations[operation - 1]);
            if (changes) {
                form.PatchItClick();
                model.RunOperation(operation, lower, upper);
            }
        } else {
            window.Replay(kind == 5);
            model.Replay(kind == 5);
        }
        sizeLimit.reset();
        model.sizeLimit.reset();
        holder.reset();
        model.heldElsewhere = false;
        if (model.writeFile.size() > before.size())
            gapFrom = std::max(4L, static_cast<long>(before.size()));

        RC_ASSERT(ReadBytes("hues.mul") == model.writeFile);
        if (!oneFile)
            RC_ASSERT(ReadBytes("patch-hues.mul") == *model.readFile);
        if (kind != 5)
            RC_ASSERT(ReadBytes("hues.mul").size() >= before.size());
        RC_ASSERT(LogLinesWithoutNotices(*window.form) == model.log);
        RC_ASSERT(SameEntry(window.form->EditHue, model.editor));
        RC_ASSERT(FolderContents() == contents);
    }
    RC_CLASSIFY(changedBehindTheWindow, "another writer changed the file");
    RC_CLASSIFY(!model.log.filter(QRegularExpression("^!STALE ")).isEmpty(),
                "a write-back found its entry changed");
    if (!changedBehindTheWindow) {
        UndoAndRedoEverything(*window.form, writeStart);
        return;
    }
    // Whatever happened behind the window, each undo left takes back what the model says.
    for (int step = 0;
         step <= static_cast<int>(WriteHistory::Capacity) && model.history.canReplay(true);
         ++step) {
        window.Replay(true);
        model.Replay(true);
        RC_ASSERT(ReadBytes("hues.mul") == model.writeFile);
        RC_ASSERT(LogLinesWithoutNotices(*window.form) == model.log);
    }
    RC_ASSERT(!window.form->History.nextUndo());
}

namespace {

enum class Operation { PatchIt, AutoSavedName, CopyOne, CopyRange };

struct Fault {
    const char *name;
    long writeFileSize; // -1: no write file
    int entry;          // the entry the operation writes, or the first of the range
    // Breaks the write file once the window has checked it; returns false when the write
    // file can no longer be opened for update.
    std::function<bool(TForm1 &)> arrange;
    std::optional<long> sizeLimit = std::nullopt;
    // Another process's write holds the write file while the operation runs.
    bool heldElsewhere = false;
};

// A sample file name turned into a thing that is no hue file.
bool MakeFifo(const char *name)
{
    return mkfifo(name, 0644) == 0;
}

const long TenMegabytes = 10L << 20;

// What each fault leaves the write file, the log and the window in, for every writing
// operation: the write either lands whole or changes no byte, the file is never created or
// shortened, a write that was tried and failed says "!ERROR", and a file that does not open
// for update is left alone as the copy leaves it, silently.
class FaultTest : public ::testing::TestWithParam<Operation> {
protected:
    void Run(const Fault &fault)
    {
        const TempFolder folder;
        WriteHueFile("patch-hues.mul", MaxEntryNumber, 1);
        const Bytes initial =
            fault.writeFileSize < 0 ? Bytes() : RandomBytes(fault.writeFileSize, 7);
        if (fault.writeFileSize >= 0)
            WriteBytes("hues.mul", initial);
        auto form = ShowForm();
        form->RadioButtonGetColor1->setChecked(true);
        bool canSelect = true;
        form->HueGrid1SelectCell(1, fault.entry - 1, canSelect);
        const bool opens = fault.arrange(*form);
        const bool writeFileExists = FileExists("hues.mul");

        Model model;
        model.writeFile = initial;
        model.readFile = ReadBytes("patch-hues.mul");
        model.sizeLimit = fault.sizeLimit;
        model.heldElsewhere = fault.heldElsewhere;
        model.browserRow = fault.entry - 1;
        model.editor = form->EditHue;
        model.shownName = form->aktHueName->text().toLatin1().toStdString();
        if (GetParam() == Operation::AutoSavedName)
            model.shownName = model.shownName.size() < HueNameLength ? model.shownName + "x"
                                                                     : model.shownName.substr(1);
        {
            std::optional<FileSizeLimit> limit;
            if (fault.sizeLimit)
                limit.emplace(*fault.sizeLimit);
            const auto holder =
                fault.heldElsewhere ? Held(HueFile::openForUpdate("hues.mul")) : std::nullopt;
            EXPECT_EQ(holder.has_value(), fault.heldElsewhere) << fault.name;
            Apply(*form, model, opens);
        }
        const std::string where = fault.name;
        EXPECT_EQ(FileExists("hues.mul"), writeFileExists) << where;
        if (writeFileExists) {
            EXPECT_EQ(ReadBytes("hues.mul"), opens ? model.writeFile : initial) << where;
        }
        EXPECT_EQ(LogLinesWithoutNotices(*form), model.log) << where;
    }

    void Apply(TForm1 &form, Model &model, bool opens)
    {
        const int n = model.browserRow + 1;
        switch (GetParam()) {
        case Operation::PatchIt:
        case Operation::AutoSavedName:
            if (GetParam() == Operation::PatchIt) {
                form.PatchItClick();
            } else {
                form.AutoSave->setChecked(true);
                form.aktHueName->setText(QString::fromLatin1(model.shownName.c_str()));
            }
            if (opens)
                model.PatchIt();
            else
                model.log << "!ERROR";
            break;
        case Operation::CopyOne:
        case Operation::CopyRange: {
            const bool single = GetParam() == Operation::CopyOne;
            const int last = single ? n : std::min(MaxEntryNumber, n + 9);
            form.Only1Color->setChecked(single);
            form.NumberFrom->setText(QString::number(n));
            form.NumberTo->setText(QString::number(last));
            form.CopyColorsClick();
            if (!opens)
                break;
            const QString range =
                single ? QString("ONE   %1").arg(n) : QString("RANGE %1 .. %2").arg(n).arg(last);
            model.log << "GET " + range << "PUT " + range;
            if (!model.Copy(n, last, n, last))
                model.log << "!ERROR";
            break;
        }
        }
    }
};

std::string OperationName(const ::testing::TestParamInfo<Operation> &info)
{
    const char *names[] = {"PatchIt", "AutoSavedName", "CopyOne", "CopyRange"};
    return names[static_cast<int>(info.param)];
}

TEST_P(FaultTest, EveryWriteIsWholeOrChangesNothing)
{
    const WithoutPermissionOverride asAnyUser;
    const auto opensForUpdate = [](TForm1 &) { return true; };
    const Fault faults[] = {
        {"write file deleted after its check", 20000, 30,
         [](TForm1 &) { return std::remove("hues.mul") != 0; }},
        {"a folder as the write file", 20000, 30,
         [](TForm1 &form) {
             QDir().mkdir("folder.mul");
             form.FilenameWrite->setText("folder.mul");
             return false;
         }},
        {"a pipe as the write and the read file", 20000, 30,
         [](TForm1 &form) {
             EXPECT_TRUE(MakeFifo("pipe.mul"));
             form.FilenameWrite->setText("pipe.mul");
             form.FilenameRead->setText("pipe.mul");
             form.FilenameRead->setText("patch-hues.mul");
             return false;
         }},
        {"empty file", 0, 9, opensForUpdate},
        {"1 byte", 1, 1, opensForUpdate},
        {"4 bytes", 4, 1, opensForUpdate},
        {"707 bytes", 707, 8, opensForUpdate},
        {"708 bytes", 708, 8, opensForUpdate},
        {"709 bytes", 709, 9, opensForUpdate},
        {"10 MB", TenMegabytes, 3000, opensForUpdate},
        {"size limit below the entry", 708, 9, opensForUpdate, EntryOffset(9) - 1},
        {"size limit inside an entry beyond the end", 708, 9, opensForUpdate, EntryOffset(9) + 40},
        {"size limit inside an entry in place", 20000, 30, opensForUpdate, EntryOffset(30) + 40},
        {"held by another write, in place", 20000, 30, opensForUpdate, std::nullopt, true},
        {"held by another write, beyond the end", 708, 9, opensForUpdate, std::nullopt, true},
    };
    for (const Fault &fault : faults)
        Run(fault);

    if (!asAnyUser.failure().empty())
        GTEST_SKIP() << "read-only write file not tried: " << asAnyUser.failure();
    Run({"read-only write file", 20000, 30, [](TForm1 &) {
             chmod("hues.mul", 0444);
             return false;
         }});
}

INSTANTIATE_TEST_SUITE_P(AllWritingOperations, FaultTest,
                         ::testing::Values(Operation::PatchIt, Operation::AutoSavedName,
                                           Operation::CopyOne, Operation::CopyRange),
                         OperationName);

// The write name broken and mended while a load failed in between: the check that finds the
// file again must load the entry a write-back goes to, not entry 1, or autosave copies
// entry 1 over it.
TEST(WriteFileCheck, MendedWriteNameLoadsTheBrowsersEntryNotEntryOne)
{
    const TempFolder folder;
    WriteHueFile("patch-hues.mul", 100, 1);
    WriteHueFile("hues.mul", 100, 2);
    const Bytes before = ReadBytes("hues.mul");
    auto form = ShowForm();
    form->RadioButtonGetColor2->setChecked(true);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 6, canSelect);
    form->AutoSave->setChecked(true);
    form->FilenameWrite->setText("hues.mu");
    form->HueGrid1SelectCell(1, 41, canSelect);
    form->FilenameWrite->setText("hues.mul");

    EXPECT_EQ(ReadBytes("hues.mul"), before);
    EXPECT_TRUE(SameEntry(form->EditHue, PatternEntry(42, 2)));
    EXPECT_EQ(form->aktHueName->text(), "entry 42");
}

// A reader beside a writer of another open, as a script's write beside a copy: each write
// operation writes whole entries under the writers' lock, and every read under its shared hold
// finds the file as it was before an operation or as it was after one, never an entry half
// one version and half another, nor some entries of an operation written and others not.
RC_GTEST_PROP(ReaderBesideWriter, EveryReadSeesTheFileBetweenTwoWrites, ())
{
    const TempFolder folder;
    const int entries = *Uniform(1, 200);
    Bytes file = RandomBytes(EntryOffset(entries) + Record, *rc::gen::arbitrary<unsigned>());
    WriteBytes("hues.mul", file);
    // Each operation rewrites a run of entries, all with the same bytes, so that a read that
    // met it halfway would show two versions side by side.
    const int operations = *Uniform(1, 12);
    std::vector<Bytes> states{file};
    std::vector<std::tuple<int, int, HueEntry>> writes;
    for (int i = 0; i < operations; ++i) {
        const int first = *Uniform(1, entries + 1);
        const int last = *Uniform(first, std::min(entries, first + 30) + 1);
        HueEntry entry{};
        const Bytes fill = RandomBytes(Record, *rc::gen::arbitrary<unsigned>());
        std::memcpy(&entry, fill.data(), sizeof entry);
        for (int n = first; n <= last; ++n)
            byte_model::PutBytes(file, EntryOffset(n), &entry, Record);
        states.push_back(file);
        writes.emplace_back(first, last, entry);
    }

    std::thread writer([&writes] {
        for (const auto &[first, last, entry] : writes) {
            Expected<HueFile> opened = HueFile::openForUpdate("hues.mul", std::chrono::seconds(2));
            if (!opened)
                return;
            std::vector<PlannedWrite> plan;
            for (int n = first; n <= last; ++n)
                plan.push_back({n, entry});
            const Expected<WriteOperation> operation =
                WriteOperation::begin(*opened, plan, Flushes::KillOnly);
            for (int n = first; n <= last; ++n) {
                opened->writeEntry(n, entry);
                // Slows the operation down so that readers often meet it halfway.
                std::this_thread::yield();
            }
        }
    });
    std::vector<Bytes> seen;
    for (int read = 0; read < 40; ++read) {
        const Expected<HueFile> reader =
            HueFile::openForReading("hues.mul", std::chrono::seconds(2));
        RC_ASSERT(reader.ok());
        Bytes bytes(states.front().size());
        RC_ASSERT(reader->readBytes(bytes.data(), static_cast<FileOffset>(bytes.size()), 0) ==
                  static_cast<FileOffset>(bytes.size()));
        seen.push_back(std::move(bytes));
    }
    writer.join();
    RC_ASSERT(ReadBytes("hues.mul") == states.back());
    for (const Bytes &bytes : seen)
        RC_ASSERT(std::find(states.begin(), states.end(), bytes) != states.end());
}

// The window waits a moment for another process's write, then fails as it would without the
// file: the editor's load, also the one that naming the write file makes, and a write-back end
// in "!ERROR", and the load leaves the editor unloaded; the name stays valid. A write that ends
// within the wait is waited for, and nothing else changes.
TEST(WindowBesideWriter, LoadsAndWritesWaitAMomentThenFail)
{
    const TempFolder folder;
    WriteHueFile("patch-hues.mul", 100, 1);
    WriteHueFile("hues.mul", 100, 2);
    const Bytes before = ReadBytes("hues.mul");
    auto form = ShowForm();
    form->RadioButtonGetColor2->setChecked(true);
    bool canSelect = true;
    form->HueGrid1SelectCell(1, 6, canSelect);
    ASSERT_TRUE(form->EditHueLoaded);

    enum class Action { Load, WriteBack, NameWriteFile };
    struct Case {
        const char *name;
        Action action;
        std::chrono::milliseconds heldFor;
    };
    const Case cases[] = {
        {"a load beside a long write", Action::Load, std::chrono::milliseconds(1500)},
        {"a load beside a short write", Action::Load, std::chrono::milliseconds(60)},
        {"a write-back beside a long write", Action::WriteBack, std::chrono::milliseconds(1500)},
        {"a write-back beside a short write", Action::WriteBack, std::chrono::milliseconds(60)},
        {"a write file named beside a long write", Action::NameWriteFile,
         std::chrono::milliseconds(1500)},
        {"a write file named beside a short write", Action::NameWriteFile,
         std::chrono::milliseconds(60)},
    };
    for (const Case &c : cases) {
        form->HueGrid1SelectCell(1, 6, canSelect);
        ASSERT_TRUE(form->EditHueLoaded) << c.name;
        // A name that leads nowhere leaves the editor without an entry, which naming the file
        // again loads.
        if (c.action == Action::NameWriteFile) {
            form->FilenameWrite->setText("hues.mu");
            form->HueGrid1SelectCell(1, 11, canSelect);
            ASSERT_FALSE(form->EditHueLoaded) << c.name;
        }
        std::optional<HueFile> holder = Held(HueFile::openForUpdate("hues.mul"));
        ASSERT_TRUE(holder.has_value()) << c.name;
        std::thread releaser([&holder, &c] {
            std::this_thread::sleep_for(c.heldFor);
            holder.reset();
        });
        const QStringList logBefore = LogLines(*form);
        const auto start = std::chrono::steady_clock::now();
        if (c.action == Action::Load)
            form->HueGrid1SelectCell(1, 11, canSelect);
        else if (c.action == Action::WriteBack)
            form->PatchItClick();
        else
            form->FilenameWrite->setText("hues.mul");
        const auto waited = std::chrono::steady_clock::now() - start;
        releaser.join();
        const bool fails = c.heldFor > WindowLockWait;
        if (fails) {
            EXPECT_GE(waited, WindowLockWait) << c.name;
        }
        EXPECT_LT(waited, c.heldFor + WindowLockWait) << c.name;
        const QStringList added = LogLines(*form).mid(logBefore.size());
        if (c.action != Action::WriteBack) {
            EXPECT_EQ(added, fails ? QStringList{"!ERROR"} : QStringList{}) << c.name;
            EXPECT_EQ(form->EditHueLoaded, !fails) << c.name;
            EXPECT_TRUE(form->CopyColors->isEnabled()) << c.name;
            if (!fails) {
                EXPECT_TRUE(SameEntry(form->EditHue, PatternEntry(12, 2))) << c.name;
            }
        } else {
            EXPECT_EQ(added, QStringList{fails ? "!ERROR" : "PATCHING  7"}) << c.name;
        }
    }
    EXPECT_EQ(ReadBytes("hues.mul"), before);
}

} // namespace
