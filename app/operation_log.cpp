#include "app/tform1.h"

#include <QPlainTextEdit>

// Log lines are 8-bit text; each byte shows as the Latin-1 character of that code.
void TForm1::AppendLogLine(const QByteArray &line)
{
    MemoLog->appendPlainText(QString::fromLatin1(line));
}

void TForm1::FlushPendingLogLine()
{
    if (PendingLogLine.isEmpty())
        return;
    AppendLogLine(PendingLogLine);
    PendingLogLine.clear();
}
