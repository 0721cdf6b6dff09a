#include "app/tform1.h"

#include <QFileInfo>
#include <QPlainTextEdit>

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
