#include "app/tform1.h"

#include "huefile/entry_copy.h"
#include "huefile/file_checks.h"
#include "copy/field_number.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

namespace {

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

// Without a read or write file, held by another process's write, the copy fails as a whole.
bool CopySelectionAndLog(TForm1 &form, const HueFile *readFile, HueFile *writeFile,
                         std::vector<EntryWrite> &changes)
{
    if (!readFile)
        writeFile = nullptr;
    if (form.Only1Color->isChecked()) {
        const bool written =
            writeFile && form.CopyEntry(*readFile, *writeFile, EntryNumberIn(form.NumberFrom),
                                        EntryNumberIn(form.TargetNumberFrom), &changes);
        form.AppendLogLine("GET ONE   " + TextOf(form.NumberFrom));
        form.AppendLogLine("PUT ONE   " + TextOf(form.TargetNumberFrom));
        return written;
    }
    const bool written =
        writeFile &&
        form.CopyEntryRange(*readFile, *writeFile, EntryNumberIn(form.NumberFrom),
                            EntryNumberIn(form.NumberTo), EntryNumberIn(form.TargetNumberFrom),
                            EntryNumberIn(form.TargetNumberTo), &changes);
    form.AppendLogLine("GET RANGE " + TextOf(form.NumberFrom) + " .. " + TextOf(form.NumberTo));
    form.AppendLogLine("PUT RANGE " + TextOf(form.TargetNumberFrom) + " .. " +
                       TextOf(form.TargetNumberTo));
    return written;
}

} // namespace

// Both files are opened once for the whole copy. A write file that cannot be opened for
// update (its check opened it only for reading) ends the copy silently, as does any
// exception. A write that fails, as on a full disk, is not passed off as done: "!ERROR" follows
// the two copy lines, the pairs before the failure stay copied, and the failed one is undone.
// The window waits only a moment for another process's write: a file still held by one then
// fails the copy as a write that fails before its first pair. Within one file the copy reads
// through its writer's open, since a second open's shared hold would keep the writer's lock
// from this very process.
void TForm1::CopyColorsClick()
{
    try {
        RaiseNumberToToNumberFrom(*this);
        bool written = false;
        WriteHistory::Step changes;
        {
            const bool oneFile = SameFileOnDisk(ReadFileName(), WriteFileName());
            const Expected<HueFile> separateRead =
                oneFile ? Expected<HueFile>(Fail(std::string()))
                        : HueFile::openForReading(ReadFileName(), WindowLockWait);
            auto writeFile = HueFile::openForUpdate(WriteFileName(), WindowLockWait);
            const bool writeHeld = !writeFile && writeFile.error() == LockedReason;
            const bool readHeld =
                oneFile ? writeHeld : !separateRead && separateRead.error() == LockedReason;
            const HueFile *readFile = oneFile ? (writeFile ? &*writeFile : nullptr)
                                              : (separateRead ? &*separateRead : nullptr);
            if (!(readFile || readHeld) || !(writeFile || writeHeld))
                return;
            changes.sizeBefore = writeFile ? writeFile->size() : 0;
            written = CopySelectionAndLog(*this, readFile, writeFile ? &*writeFile : nullptr,
                                          changes.writes);
            changes.sizeAfter = writeFile ? writeFile->size() : 0;
        }
        History.record(std::move(changes));
        if (!written)
            AppendLogLine("!ERROR");
        RefreshBrowser();
        if (RadioButtonGetColor2->isChecked())
            HueGrid1DblClick();
    } catch (...) {
    }
}

bool TForm1::CopyEntry(const HueFile &readFile, HueFile &writeFile, int source, int target,
                       std::vector<EntryWrite> *written)
{
    return CopyHueEntry(readFile, writeFile, source, target, WindowFlushes(1), written).ok();
}

bool TForm1::CopyEntryRange(const HueFile &readFile, HueFile &writeFile, int sourceFrom,
                            int sourceTo, int targetFrom, int targetTo,
                            std::vector<EntryWrite> *written)
{
    const auto entries = static_cast<std::size_t>(std::max(0, sourceTo - sourceFrom) + 1);
    return CopyHueEntryRange(readFile, writeFile, sourceFrom, sourceTo, targetFrom, targetTo,
                             WindowFlushes(entries), written)
        .ok();
}
