#include "app/tform1.h"

#include "huefile/formats/patch.h"
#include "huefile/input_file.h"
#include "huefile/number_text.h"
#include "huefile/output_file.h"
#include "widgets/file_layer_name.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <algorithm>

namespace {

const QString PatchFilter = "Hue file patch (*.huepatch)";
const QString PatchExtension = "huepatch";
// Conflicts named in the log line; the rest are counted.
constexpr std::size_t ConflictsNamed = 8;

QByteArray ConflictsText(const std::vector<PatchConflict> &conflicts)
{
    QByteArray text = QByteArray::fromStdString(EntriesText(conflicts.size())) +
                      " no longer as the patch found them:";
    for (std::size_t i = 0; i < conflicts.size() && i < ConflictsNamed; ++i)
        text += " " + QByteArray::number(conflicts[i].number);
    if (conflicts.size() > ConflictsNamed)
        text += " ...";
    return text;
}

Expected<Patch> ReadPatchFile(const std::string &fileName)
{
    const Expected<std::string> bytes =
        ReadInputFile(fileName, MaxPatchSize, "too large for a patch");
    if (!bytes)
        return Fail(bytes.error());
    return ReadPatch(*bytes);
}

// What a step of the history needs to take the patch back: each entry as the file holds it
// now, zeroes where the file ends, and as the patch leaves it.
std::vector<EntryWrite> PlannedWrites(const HueFile &file, const Patch &patch)
{
    std::vector<bool> whole;
    const std::vector<HueEntry> current = file.readEntries(1, MaxEntryNumber, whole);
    std::vector<EntryWrite> writes;
    for (const PatchEntry &entry : patch)
        writes.push_back({entry.number, current[static_cast<std::size_t>(entry.number - 1)],
                          entry.after.value_or(HueEntry{})});
    return writes;
}

} // namespace

void TForm1::ConnectPatchActions()
{
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), this),
            &QShortcut::activated, this, &TForm1::ApplyPatchClick);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), this),
            &QShortcut::activated, this, &TForm1::SavePatchClick);
}

void TForm1::ApplyPatchClick()
{
    const QString fileName = QFileDialog::getOpenFileName(
        this, "Apply a patch to the write file", QString(), PatchFilter + ";;All files (*)");
    if (!fileName.isEmpty())
        ApplyPatchFrom(fileName);
}

// All or nothing, as the command line applies a patch: every entry of the write file must
// still be what the patch found, or nothing is written. The patch is one step of the history,
// and the editor then reloads its entry as after an undo.
bool TForm1::ApplyPatchFrom(const QString &fileName)
{
    const auto refuse = [&](const QByteArray &why) {
        AppendLogLine("!PATCH " + ShortName(fileName) + ": " + why);
        return false;
    };
    const Expected<Patch> patch = ReadPatchFile(FileLayerInputName(fileName));
    if (!patch)
        return refuse(QByteArray::fromStdString(patch.error()));
    WriteHistory::Step step;
    {
        Expected<HueFile> file = OpenHueFile(WriteFileName(), HueFileUse::Update, WindowLockWait);
        if (!file)
            return refuse(QByteArray::fromStdString(file.error()));
        step.sizeBefore = file->size();
        step.writes = PlannedWrites(*file, *patch);
        const Expected<ApplyReport> report =
            ApplyPatch(*file, *patch, ApplyMode::Apply, WindowFlushes(step.writes.size()));
        if (!report)
            return refuse(QByteArray::fromStdString(report.error()));
        if (!report->conflicts.empty())
            return refuse(ConflictsText(report->conflicts));
        step.sizeAfter = file->size();
    }
    const bool touchesEditorEntry =
        std::any_of(patch->begin(), patch->end(),
                    [this](const PatchEntry &entry) { return entry.number == BrowserRow + 1; });
    History.record(std::move(step));
    AppendLogLine("PATCH     " + ShortName(fileName) + " (" +
                  QByteArray::fromStdString(EntriesText(patch->size())) + ")");
    ReloadAfterReplay(touchesEditorEntry);
    return true;
}

void TForm1::SavePatchClick()
{
    QString fileName = QFileDialog::getSaveFileName(this, "Save the differences as a patch",
                                                    QString(), PatchFilter);
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().compare(PatchExtension, Qt::CaseInsensitive) != 0)
        fileName += "." + PatchExtension;
    SavePatchTo(fileName);
}

// The patch that turns the read file into the write file, as the files are now.
bool TForm1::SavePatchTo(const QString &fileName)
{
    const auto refuse = [&](const std::string &why) {
        AppendLogLine("!EXPORT " + ShortName(fileName) + ": " + QByteArray::fromStdString(why));
        return false;
    };
    EntrySlots sides[2];
    const std::string *names[2] = {&ReadFileName(), &WriteFileName()};
    for (int side = 0; side < 2; ++side) {
        const Expected<HueFile> file =
            OpenHueFile(*names[side], HueFileUse::Reading, WindowLockWait);
        if (!file)
            return refuse(*names[side] + ": " + file.error());
        sides[side] = ReadEntrySlots(*file);
    }
    const Patch patch = MakePatch(sides[0], sides[1]);
    const Expected<void> written =
        WriteOutputFile(FileLayerName(fileName), PatchExtension.toStdString(), WritePatch(patch));
    if (!written)
        return refuse(written.error());
    AppendLogLine("EXPORT    " + ShortName(fileName) + " (" +
                  QByteArray::fromStdString(EntriesText(patch.size())) + ")");
    return true;
}
