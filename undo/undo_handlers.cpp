#include "app/tform1.h"

#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <algorithm>

namespace {

// One line per replay, in the log's style: the word padded to the log's ten columns and the
// entry, or the first and last entry of a step that wrote several.
QByteArray ReplayLine(const QByteArray &word, const WriteHistory::Step &step)
{
    const auto &writes = step.writes;
    const auto [first, last] = std::minmax_element(
        writes.begin(), writes.end(),
        [](const EntryWrite &a, const EntryWrite &b) { return a.entry < b.entry; });
    if (writes.size() == 1)
        return TForm1::EntryLine(word, first->entry);
    return word + " RANGE " + QByteArray::number(first->entry) + " .. " +
           QByteArray::number(last->entry);
}

} // namespace

// The shortcuts belong to the window, so the edit fields, which take these keys for their own
// text undo, keep them while they have the focus. Not every platform's fields take Ctrl+Y,
// so a key that reaches the window while a field has the focus is the field's own, and
// never undoes or redoes a write. A history is only valid for one file.
void TForm1::ConnectUndo()
{
    const auto unlessInField = [this](void (TForm1::*replay)(), void (QLineEdit::*own)()) {
        return [this, replay, own] {
            if (auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget()))
                (field->*own)();
            else
                (this->*replay)();
        };
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this), &QShortcut::activated, this,
            unlessInField(&TForm1::UndoLastWrite, &QLineEdit::undo));
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this,
                unlessInField(&TForm1::RedoLastWrite, &QLineEdit::redo));
    connect(FilenameWrite, &QLineEdit::textChanged, this, [this] { History.clear(); });
}

void TForm1::UndoLastWrite()
{
    ReplayLastWrite(true);
}

void TForm1::RedoLastWrite()
{
    ReplayLastWrite(false);
}

// A step whose entries someone else has changed since can never be replayed, so it is
// dropped; a step whose write failed stays, to be tried again.
void TForm1::ReplayLastWrite(bool undo)
{
    const WriteHistory::Step *step = undo ? History.nextUndo() : History.nextRedo();
    if (!step)
        return;
    const QByteArray word = undo ? "UNDO" : "REDO";
    // The editor holding the entry replayed would write back what was just taken back.
    const bool replaysEditorEntry =
        std::any_of(step->writes.begin(), step->writes.end(),
                    [this](const EntryWrite &write) { return write.entry == BrowserRow + 1; });
    // The file is closed again before the browser reads it.
    const ReplayResult result = [&] {
        Expected<HueFile> file = HueFile::openForUpdate(WriteFileName(), WindowLockWait);
        return file ? ReplayStep(*file, *step, undo, WindowFlushes(step->writes.size()))
                    : ReplayResult{ReplayOutcome::Failed, 0};
    }();
    switch (result.outcome) {
    case ReplayOutcome::Done:
        AppendLogLine(ReplayLine(word, *step));
        undo ? History.undone() : History.redone();
        break;
    case ReplayOutcome::Stale:
        AppendLogLine("!" + word + " STALE " + QByteArray::number(result.staleEntry));
        undo ? History.dropNextUndo() : History.dropNextRedo();
        break;
    case ReplayOutcome::Failed:
        AppendLogLine("!ERROR");
        break;
    }
    if (result.outcome == ReplayOutcome::Done)
        ReloadAfterReplay(replaysEditorEntry);
}

// Only a replay that wrote refreshes the browser and, as after a copy, reloads the editor; in
// "double click" mode too when it replayed the entry that the editor writes back to.
void TForm1::ReloadAfterReplay(bool replaysEditorEntry)
{
    RefreshBrowser();
    if (RadioButtonGetColor2->isChecked()) {
        HueGrid1DblClick();
    } else if (replaysEditorEntry) {
        // A reload the user did not ask for in this mode: the name it shows is not written.
        const QScopedValueRollback<bool> quiet(NameSyncWithoutWrite, true);
        HueGrid1DblClick();
    }
}
