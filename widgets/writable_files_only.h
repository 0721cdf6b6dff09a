#pragma once

#include <QSortFilterProxyModel>

// Whether this process, with the permissions it acts with now, may write the file; a file
// without any write permission bit never, not even for root.
bool IsWritableByUser(const QString &path);

// A filter for a file dialog's list that offers only files the user may write, and every
// folder, so that a file which cannot be written cannot be picked from the list.
class WritableFilesOnly : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
};
