#include "CompilationModel.h"

#include "compile/CompilationList.h"
#include "core/FormatSize.h"
#include "gui/PlainTip.h"
#include "gui/ThemeIcons.h"
#include "listing/FileTypes.h"

CompilationModel::CompilationModel(CompilationList &list, QObject *parent) : QAbstractListModel(parent), m_list(list)
{
    connect(&list, &CompilationList::aboutToChange, this, &CompilationModel::beginResetModel);
    connect(&list, &CompilationList::changed, this, &CompilationModel::endResetModel);
}

int CompilationModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_list.count();
}

QString CompilationModel::infoTip(int row) const
{
    const CompilationEntry &e = m_list.entries().at(row);
    return PlainTip(QStringLiteral("Path: ") + e.Place.text() + u'\n' + QStringLiteral("Size: ") + FormatSize(e.Size));
}

QVariant CompilationModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_list.count())
        return QVariant();
    const CompilationEntry &e = m_list.entries().at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.Name;
    case Qt::DecorationRole:
        if (e.isFolder())
            return ThemeIcons::icon({QStringLiteral("folder")});
        return ThemeIcons::icon({FileTypes::iconName(e.Name), FileTypes::genericIconName(e.Name)});
    case Qt::ToolTipRole:
        return infoTip(index.row());
    default:
        return QVariant();
    }
}

Qt::ItemFlags CompilationModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::ItemIsDropEnabled;
}
