#include "app/tform1.h"

#include <QFileInfo>
#include <QPlainTextEdit>

// Log lines are 8-bit text; each byte shows as the Latin-1 character of that code.
void TForm1::AppendLogLine(const QByteArray &line)
{
    const QString text = QString::fromLatin1(line);
    MemoLog->appendPlainText(text);
    // The log is narrow; a long refusal is read whole by resting the pointer on it.
    MemoLog->setToolTip(text);
}

QByteArray TForm1::ShortName(const QString &fileName)
{
    return QFileInfo(fileName).fileName().toLatin1();
}

void TForm1::FlushPendingLogLine()
{
    if (PendingLogLine.isEmpty())
        return;
    AppendLogLine(PendingLogLine);
    PendingLogLine.clear();
}
