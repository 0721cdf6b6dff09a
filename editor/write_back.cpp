#include "app/tform1.h"

#include "app/entry_name_text.h"
#include "huefile/hue_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <algorithm>
#include <cstring>

namespace {

const QByteArray WriteBackPrefix = "PATCHING  ";
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
void TForm1::PatchItClick()
{
    std::optional<HueFile> file;
    if (EditHueLoaded)
        if (Expected<HueFile> opened = HueFile::openForUpdate(WriteFileName()))
            file = std::move(*opened);
    if (file) {
        // Byte i of the field is character i of the name; the rest is zero, so a name of
        // exactly the field's length is stored without a terminator. A text that is the
        // stored name already keeps the bytes behind its end, which the user never saw.
        if (aktHueName->text() != StoredNameText(EditHue))
            StoreNameText(EditHue, aktHueName->text());
        const int entryNumber = BrowserRow + 1;
        EntryWrite change{entryNumber, {}, EditHue};
        const FileOffset sizeBefore = file->size();
        const bool written = file->writeEntry(entryNumber, EditHue, &change.before).ok();
        const FileOffset sizeAfter = file->size();
        file.reset();
        if (written) {
            EditHueHeldIn = WriteFileName();
            History.record({{change}, sizeBefore, sizeAfter});
        }
        AppendLogLine(written ? WriteBackPrefix + QByteArray::number(entryNumber)
                              : WriteBackFailed);
    } else {
        AppendLogLine(WriteBackFailed);
    }
    RefreshBrowser();
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
