#include "widgets/writable_files_only.h"

#include "huefile/file_checks.h"
#include "widgets/file_layer_name.h"

#include <QFileSystemModel>

bool IsWritableByUser(const QString &path)
{
    return MayWriteFile(FileLayerName(path));
}

bool WritableFilesOnly::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!files)
        return true;
    const QModelIndex index = files->index(sourceRow, 0, sourceParent);
    return files->isDir(index) || IsWritableByUser(files->filePath(index));
}
