#include "app/tform1.h"

#include "copy/entry_copy.h"
#include "copy/field_number.h"
#include "huefile/hue_file.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <memory>

namespace {

// Closes a stream that is still open when the copy ends early; a normal end closes both
// streams itself, to learn whether the written records reached the file.
struct StreamCloser {
    void operator()(std::FILE *stream) const { std::fclose(stream); }
};
using HueStream = std::unique_ptr<std::FILE, StreamCloser>;

// The fields' own checks keep every text between 1 and MaxEntryNumber. The clamp keeps a
// text set while a field's handler was not connected from reaching a place outside the file.
int EntryNumberIn(const QLineEdit *field)
{
    return std::clamp<int>(FieldNumber(field->text()).value_or(1), 1, MaxEntryNumber);
}

// Log lines quote the fields as they stand, "007" and "$1F" included.
QByteArray TextOf(const QLineEdit *field)
{
    return field->text().toLatin1();
}

// In both modes, also in single mode where NumberTo is not used. The assignment runs the
// field chain, which brings TargetNumberTo along.
void RaiseNumberToToNumberFrom(TForm1 &form)
{
    if (EntryNumberIn(form.NumberTo) < EntryNumberIn(form.NumberFrom))
        form.NumberTo->setText(form.NumberFrom->text());
}

bool CopySelectionAndLog(TForm1 &form, std::FILE *readStream, std::FILE *writeStream)
{
    if (form.Only1Color->isChecked()) {
        const bool written = form.CopyEntry(readStream, writeStream, EntryNumberIn(form.NumberFrom),
                                            EntryNumberIn(form.TargetNumberFrom));
        form.AppendLogLine("GET ONE   " + TextOf(form.NumberFrom));
        form.AppendLogLine("PUT ONE   " + TextOf(form.TargetNumberFrom));
        return written;
    }
    const bool written = form.CopyEntryRange(
        readStream, writeStream, EntryNumberIn(form.NumberFrom), EntryNumberIn(form.NumberTo),
        EntryNumberIn(form.TargetNumberFrom), EntryNumberIn(form.TargetNumberTo));
    form.AppendLogLine("GET RANGE " + TextOf(form.NumberFrom) + " .. " + TextOf(form.NumberTo));
    form.AppendLogLine("PUT RANGE " + TextOf(form.TargetNumberFrom) + " .. " +
                       TextOf(form.TargetNumberTo));
    return written;
}

} // namespace

// Both files are opened once for the whole copy. A write file that cannot be opened for
// update (its check opened it only for reading) ends the copy silently, as does any
// exception. A write that fails, as on a full disk, is not passed off as done: "!ERROR" follows
// the two copy lines, and the pairs before the failure stay copied.
void TForm1::CopyColorsClick()
{
    try {
        RaiseNumberToToNumberFrom(*this);
        HueStream readStream(OpenHueFileForReading(ReadFileName()));
        HueStream writeStream(OpenHueFileForUpdate(WriteFileName()));
        if (!readStream || !writeStream)
            return;
        LeaveWriteStreamUnbuffered(writeStream.get());
        bool written = CopySelectionAndLog(*this, readStream.get(), writeStream.get());
        written = CloseHueFile(writeStream.release()) && written;
        CloseHueFile(readStream.release());
        if (!written)
            AppendLogLine("!ERROR");
        RefreshBrowser();
        if (RadioButtonGetColor2->isChecked())
            HueGrid1DblClick();
    } catch (...) {
    }
}

bool TForm1::CopyEntry(std::FILE *readStream, std::FILE *writeStream, int source, int target)
{
    return CopyHueEntry(readStream, writeStream, source, target);
}

bool TForm1::CopyEntryRange(std::FILE *readStream, std::FILE *writeStream, int sourceFrom,
                            int sourceTo, int targetFrom, int targetTo)
{
    return CopyHueEntryRange(readStream, writeStream, sourceFrom, sourceTo, targetFrom, targetTo);
}
