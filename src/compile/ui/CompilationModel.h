#pragma once

#include <QAbstractListModel>

class CompilationList;

// The compilation's one column, Name, with each entry's icon and its hint (where it lies, how
// large it is).
class CompilationModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit CompilationModel(CompilationList &list, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // "Path: " and the entry's Path, a line break, "Size: " and its size.
    QString infoTip(int row) const;

private:
    CompilationList &m_list;
};
