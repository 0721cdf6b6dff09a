#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "huefile/checked_write.h"
#include "huefile/hue_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <algorithm>
#include <cstring>

namespace {

const QByteArray WriteBackWord = "PATCHING";
const QByteArray StaleWord = "!STALE";
const QByteArray WriteBackFailed = "!ERROR";

// The name is stored as 8-bit text, one byte per character. Refusing every character beyond
// Latin-1 keeps what the user sees in the field identical to what is written.
class SingleByteNameValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        const bool fits =
            std::all_of(input.cbegin(), input.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
        return fits ? Acceptable : Invalid;
    }
};

} // namespace

void TForm1::ConnectWriteBack()
{
    aktHueName->setValidator(new SingleByteNameValidator(aktHueName));
    connect(PatchIt, &QPushButton::clicked, this, &TForm1::PatchItClick);
    connect(AutoSave, &QCheckBox::toggled, this, &TForm1::AutoSaveClick);
    connect(aktHueName, &QLineEdit::textChanged, this, &TForm1::aktHueNameChange);
}

// The typed name enters EditHue only once the file is open, so a write file that cannot be
// opened leaves the entry in memory as it was. A record that the disk refuses is undone and
// reported like a file that would not open. After a load that could not open the write file
// the editor shows black and EditHue still holds the entry loaded before, under another
// number: that is refused in the same way, until an entry is loaded.
//
// An entry the editor has seen is written only while the file still holds what the editor saw
// there, checked under the lock of this one open. When it does not, the editor keeps its
// version and the file keeps the other writer's; the stale line comes once, since autosave
// then stays away from the entry until it is loaded again. "Patch it" by the user's own hand
// writes the editor's version over the other writer's, as long as that is still what the
// file holds.
void TForm1::PatchItClick()
{
    std::optional<HueFile> file;
    if (EditHueLoaded)
        if (Expected<HueFile> opened = HueFile::openForUpdate(WriteFileName(), WindowLockWait))
            file = std::move(*opened);
    if (!file) {
        AppendLogLine(WriteBackFailed);
        RefreshBrowser();
        return;
    }
    // Byte i of the field is character i of the name; the rest is zero, so a name of exactly
    // the field's length is stored without a terminator. A text that is the stored name
    // already keeps the bytes behind its end, which the user never saw.
    if (aktHueName->text() != StoredNameText(EditHue))
        StoreNameText(EditHue, aktHueName->text());
    const int entryNumber = BrowserRow + 1;
    if (EditorSeenIn != WriteFileName()) {
        EditorSeen.clear();
        EditorSeenIn = WriteFileName();
    }
    const auto seen = EditorSeen.find(entryNumber);
    const SeenEntry *expected = seen != EditorSeen.end() ? &seen->second : nullptr;
    if (expected && expected->stale && AutoSave->isChecked()) {
        file.reset();
        RefreshBrowser();
        return;
    }
    const FileOffset sizeBefore = file->size();
    const CheckedWrite result =
        WriteEntryIfUnchanged(*file, entryNumber, EditHue, expected ? &expected->bytes : nullptr,
                              WindowFlushes(1));
    const FileOffset sizeAfter = file->size();
    file.reset();
    switch (result.outcome) {
    case CheckedWriteOutcome::Written: {
        EditHueHeldIn = WriteFileName();
        EditorSeen[entryNumber] = {EditHue, false};
        const EntryWrite change{entryNumber, result.found, EditHue};
        History.record({{change}, sizeBefore, sizeAfter});
        AppendLogLine(EntryLine(WriteBackWord, entryNumber));
        break;
    }
    case CheckedWriteOutcome::Stale:
        EditorSeen[entryNumber] = {result.found, true};
        AppendLogLine(StaleLine(entryNumber));
        break;
    case CheckedWriteOutcome::Failed:
        AppendLogLine(WriteBackFailed);
        break;
    }
    RefreshBrowser();
}

void TForm1::NoteEditorLoad(int entryNumber, const HueEntry *loaded)
{
    EditorSeen.clear();
    EditorSeenIn = WriteFileName();
    if (loaded)
        EditorSeen[entryNumber] = {*loaded, false};
}

QByteArray TForm1::StaleLine(int entryNumber)
{
    return EntryLine(StaleWord, entryNumber);
}

bool TForm1::IsStaleLine(const QString &line)
{
    return line.startsWith(QLatin1String(StaleWord.leftJustified(10, ' ')));
}

// With autosave every change is written at once, so the button would only repeat it.
void TForm1::AutoSaveClick()
{
    PatchIt->setEnabled(!AutoSave->isChecked());
}

// Runs for the user's typing and for the name the editor grid puts back alike.
void TForm1::aktHueNameChange()
{
    if (AutoSave->isChecked() && !NameSyncWithoutWrite)
        PatchItClick();
}
