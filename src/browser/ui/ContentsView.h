#pragma once

#include <QKeyCombination>
#include <QList>
#include <QStackedWidget>

class QAbstractItemView;
class QAbstractItemModel;
class QItemSelectionModel;
class QListView;
class QTreeView;

// The contents list: one model and one selection model shown by a list view (Large Icons,
// Small Icons, List) or a tree view (Details, with sortable headers and sort arrows).
class ContentsView : public QStackedWidget
{
    Q_OBJECT
public:
    enum ViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    explicit ContentsView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    QItemSelectionModel *selectionModel() const;
    QListView *listView() const { return m_list; }
    QTreeView *detailsView() const { return m_details; }
    QAbstractItemView *currentView() const;

    void setViewStyle(ViewStyle style);
    ViewStyle viewStyle() const { return m_style; }

    // Selected rows in ascending order; the current row (-1 without one).
    QList<int> selectedRows() const;
    int currentRow() const;
    // Makes row current and the only selected one.
    void selectRow(int row);
    void setSortIndicator(int column, bool ascending);
    // Grid lines between the rows and columns of the Details view.
    void setGridLines(bool on);
    bool gridLines() const { return m_gridLines; }
    // Whether entries can be dragged out of the list.
    void setDragAllowed(bool on);

    // Keys the list hands to its commands instead of the window's shortcuts or its own handling.
    void setCommandKeys(const QList<QKeyCombination> &keys) { m_commandKeys = keys; }

Q_SIGNALS:
    // Double-click or Enter on a row.
    void rowActivated(int row);
    // Backspace.
    void backRequested();
    void headerClicked(int column);
    void contextMenuRequested(const QPoint &globalPos);
    void focusGained();
    // Any key pressed in the list, before it is handled.
    void keyAboutToBeHandled();
    // One of the command keys.
    void commandKey(QKeyCombination key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QListView *m_list;
    QTreeView *m_details;
    ViewStyle m_style = LargeIcons;
    bool m_gridLines = false;
    QList<QKeyCombination> m_commandKeys;
};
