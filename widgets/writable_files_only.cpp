#include "widgets/writable_files_only.h"

#include "huefile/file_checks.h"

#include <QFile>
#include <QFileSystemModel>

bool IsWritableByUser(const QString &path)
{
    return MayWriteFile(QFile::encodeName(path).toStdString());
}

bool WritableFilesOnly::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!files)
        return true;
    const QModelIndex index = files->index(sourceRow, 0, sourceParent);
    return files->isDir(index) || IsWritableByUser(files->filePath(index));
}
