#pragma once

#include <QAbstractTableModel>
#include <QBrush>

class ContentsIcons;
class ContentsListing;

// The one model behind every view style of the contents list. Texts come from the listing
// when a view asks, row by row.
class ContentsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    ContentsModel(ContentsListing *listing, ContentsIcons *icons, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Around a change of the whole listing.
    void beginListing() { beginResetModel(); }
    void endListing() { endResetModel(); }
    // Around a sort of the rows.

    void setDragEnabled(bool on) { m_drag = on; }
    // While a comparison's answer is in its own order, every other group of copies is shaded.
    void setGroupsShaded(bool on);

    // The tooltip of a row: "Type: ", "Size: " and, unless "n/a", "Date: ".
    QString infoTip(int row) const;

private:
    static QBrush groupShade();

    ContentsListing *m_listing;
    ContentsIcons *m_icons;
    bool m_drag = false;
    bool m_groupsShaded = false;
};
