#include "app/tform1.h"

#include "widgets/draw_grid.h"
#include "widgets/file_layer_name.h"

#include <QFileInfo>
#include <QPlainTextEdit>

namespace {

const QByteArray NoticeWord = "NOTICE";

// The window that hears the file layer's notices: the newest one, as tests make one while the
// one before still lives.
TForm1 *NoticedForm = nullptr;

} // namespace

// Log lines are 8-bit text; each byte shows as the Latin-1 character of that code.
void TForm1::AppendLogLine(const QByteArray &line)
{
    MemoLog->appendPlainText(QString::fromLatin1(line));
}

QByteArray TForm1::ShortName(const QString &fileName)
{
    return QFileInfo(fileName).fileName().toLatin1();
}

QByteArray TForm1::EntryLine(const QByteArray &word, int entryNumber)
{
    return word.leftJustified(10, ' ') + QByteArray::number(entryNumber);
}

void TForm1::FlushPendingLogLine()
{
    if (PendingLogLine.isEmpty())
        return;
    AppendLogLine(PendingLogLine);
    PendingLogLine.clear();
}

void TForm1::ConnectFileNotices()
{
    NoticedForm = this;
    SetNoticeListener([this](const FileNotice &notice) { FileNoticeArrived(notice); });
}

void TForm1::DisconnectFileNotices()
{
    if (NoticedForm != this)
        return;
    NoticedForm = nullptr;
    SetNoticeListener(nullptr);
}

// A notice arrives in the middle of a handler, from within one of its opens. Its line goes to
// the log at once and leaves the held-back load line alone: that line waits for the next edit
// of its entry, and a notice is no edit. So the notice stands where it happened, before the
// lines of the operation that opened the file. A write rolled back under the browser changes
// what its rows show; they are read again at the next paint, not now: a paint now would open
// the file while the handler's own open holds its lock, and where locks belong to the process
// the close of that glance would let go of it.
void TForm1::FileNoticeArrived(const FileNotice &notice)
{
    AppendLogLine(NoticeWord.leftJustified(10, ' ') +
                  ShortName(FileNameFromLayer(notice.fileName)) + ": " +
                  QByteArray::fromStdString(notice.text));
    if (notice.kind == NoticeKind::RolledBack) {
        CachedRow = -1;
        HueGrid1->update();
    }
}
