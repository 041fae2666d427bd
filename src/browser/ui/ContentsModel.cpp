#include "ContentsModel.h"

#include "ContentsIcons.h"
#include "listing/ContentsListing.h"

#include <QGuiApplication>
#include <QPalette>

ContentsModel::ContentsModel(ContentsListing *listing, ContentsIcons *icons, QObject *parent)
    : QAbstractTableModel(parent), m_listing(listing), m_icons(icons)
{
}

int ContentsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_listing->count();
}

int ContentsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ExplorerColumnCount;
}

QString ContentsModel::infoTip(int row) const
{
    QString tip =
        QStringLiteral("Type: ") + m_listing->text(row, 1) + u'\n' + QStringLiteral("Size: ") + m_listing->text(row, 3);
    const QString date = m_listing->text(row, 4);
    if (date != QLatin1String("n/a"))
        tip += u'\n' + QStringLiteral("Date: ") + date;
    return tip;
}

QVariant ContentsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_listing->count())
        return QVariant();
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return m_listing->text(row, index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? m_icons->icon(m_listing->image(row)) : QVariant();
    case Qt::ToolTipRole:
        return m_listing->kind(row) == ContentsEntry::Up ? QVariant() : QVariant(infoTip(row));
    case Qt::TextAlignmentRole:
        if (index.column() == int(ExplorerColumn::Size))
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    case Qt::BackgroundRole:
        if (m_groupsShaded && m_listing->inOddGroup(row))
            return groupShade();
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant ContentsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[] = {"Name", "Type", "Path", "Size", "Date"};
    return section >= 0 && section < ExplorerColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

QBrush ContentsModel::groupShade()
{
    // A tenth of the selection's colour over the list's own: plain to see on any theme (the
    // alternate base colour is all but white on some), never taken for a selection.
    const QPalette p = QGuiApplication::palette();
    const QColor base = p.color(QPalette::Base), mark = p.color(QPalette::Highlight);
    const auto mix = [](float a, float b) { return a * 0.9f + b * 0.1f; };
    return QColor::fromRgbF(mix(base.redF(), mark.redF()), mix(base.greenF(), mark.greenF()),
                            mix(base.blueF(), mark.blueF()));
}

void ContentsModel::setGroupsShaded(bool on)
{
    if (on == m_groupsShaded)
        return;
    m_groupsShaded = on;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

Qt::ItemFlags ContentsModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_drag && index.isValid() && m_listing->kind(index.row()) != ContentsEntry::Up)
        f |= Qt::ItemIsDragEnabled;
    return f;
}
