#include "widgets/writable_files_only.h"

#include <QFile>
#include <QFileSystemModel>
#include <fcntl.h>
#include <unistd.h>

bool IsWritableByUser(const QString &path)
{
    return faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

bool WritableFilesOnly::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!files)
        return true;
    const QModelIndex index = files->index(sourceRow, 0, sourceParent);
    return files->isDir(index) || IsWritableByUser(files->filePath(index));
}
