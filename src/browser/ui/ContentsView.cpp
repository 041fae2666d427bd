#include "ContentsView.h"

#include "core/FormatSize.h"
#include "gui/ItemSelection.h"
#include "store/CatalogueLocale.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace
{

// Draws the Details view's grid: a line under each row and at the right of each cell.
// A selected row's icon is drawn as it is, not tinted with the selection colour: a blue icon
// (the HTML page's) tinted blue on a blue row would vanish.
class PlainIconDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // In the small-icon and list styles each entry has a cell of the grid, and its caption may use
    // all of it: the sizes are taken from the first entry, and ".." would narrow every caption.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto *list = qobject_cast<const QListView *>(option.widget);
        if (list && list->viewMode() == QListView::ListMode && list->gridSize().isValid())
            return list->gridSize();
        return QStyledItemDelegate::sizeHint(option, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!(option->state & QStyle::State_Selected) || option->icon.isNull())
            return;
        const QPixmap plain = option->icon.pixmap(option->decorationSize, QIcon::Normal);
        QIcon icon(plain);
        icon.addPixmap(plain, QIcon::Selected);
        option->icon = icon;
    }
};

class GridDelegate : public PlainIconDelegate
{
public:
    GridDelegate(const bool &on, QObject *parent) : PlainIconDelegate(parent), m_on(on) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        PlainIconDelegate::paint(painter, option, index);
        if (!m_on)
            return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }

private:
    const bool &m_on;
};

} // namespace

ContentsView::ContentsView(QWidget *parent) : QStackedWidget(parent)
{
    setObjectName(QStringLiteral("Explorer"));
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("ExplorerIcons"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The icons show one column of rows that have several: a click selects the whole row, as the
    // details view's does, or the row would not count as selected.
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setUniformItemSizes(true);
    m_list->setMovement(QListView::Static);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setLayoutMode(QListView::Batched);
    m_list->setBatchSize(2000);
    m_list->setWordWrap(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setDragEnabled(true);
    m_list->setItemDelegate(new PlainIconDelegate(m_list));

    m_details = new QTreeView(this);
    m_details->setObjectName(QStringLiteral("ExplorerDetails"));
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setAlternatingRowColors(true);
    m_details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_details->setSortingEnabled(false);
    m_details->setAllColumnsShowFocus(true);
    m_details->setDragEnabled(true);
    m_details->header()->setSortIndicatorShown(true);
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setStretchLastSection(false);
    m_details->setItemDelegate(new GridDelegate(m_gridLines, m_details));
    connect(m_details->header(), &QHeaderView::sectionClicked, this, &ContentsView::headerClicked);

    for (QAbstractItemView *v :
         {static_cast<QAbstractItemView *>(m_list), static_cast<QAbstractItemView *>(m_details)}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->installEventFilter(this);
        v->viewport()->installEventFilter(this);
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &i) {
            if (i.isValid())
                Q_EMIT rowActivated(i.row());
        });
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint &pos) { Q_EMIT contextMenuRequested(v->viewport()->mapToGlobal(pos)); });
    }
    addWidget(m_list);
    addWidget(m_details);
    setViewStyle(LargeIcons);
}

void ContentsView::setModel(QAbstractItemModel *model)
{
    m_list->setModel(model);
    QItemSelectionModel *old = m_details->selectionModel();
    m_details->setModel(model);
    // One selection for both views, so switching the style keeps it.
    m_details->setSelectionModel(m_list->selectionModel());
    if (old && old != m_list->selectionModel())
        old->deleteLater();
    m_details->header()->resizeSection(0, 200);
    m_details->header()->resizeSection(1, 130);
    m_details->header()->resizeSection(2, 160);
    // Wide enough for the widest size text ("1,023.00 Bytes") in the list's font.
    const int sizeText = m_details->fontMetrics().horizontalAdvance(FormatSize(1023));
    const int margins = 2 * (m_details->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_details) + 1);
    m_details->header()->resizeSection(3, std::max(90, sizeText + margins + 8));
    // And for a late time of a late day in the locale's format ("31 Dec 2023 23:59:58" is cut at 140).
    const int dateText = m_details->fontMetrics().horizontalAdvance(
        CatalogueLocale().formatDateTime(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58))));
    m_details->header()->resizeSection(4, std::max(140, dateText + margins + 8));
}

QItemSelectionModel *ContentsView::selectionModel() const
{
    return m_list->selectionModel();
}

QAbstractItemView *ContentsView::currentView() const
{
    return m_style == Details ? static_cast<QAbstractItemView *>(m_details) : m_list;
}

void ContentsView::setViewStyle(ViewStyle style)
{
    const bool hadFocus = currentView()->hasFocus();
    m_style = style;
    switch (style) {
    case LargeIcons:
        m_list->setViewMode(QListView::IconMode);
        m_list->setFlow(QListView::LeftToRight);
        m_list->setWrapping(true);
        m_list->setIconSize(QSize(32, 32));
        m_list->setGridSize(QSize(100, 70));
        m_list->setSpacing(0);
        // Captions wrap under their icons; a uniform size would take the first caption's.
        m_list->setUniformItemSizes(false);
        m_list->setWordWrap(true);
        m_list->setTextElideMode(Qt::ElideRight);
        break;
    case SmallIcons:
        m_list->setViewMode(QListView::ListMode);
        m_list->setFlow(QListView::LeftToRight);
        m_list->setWrapping(true);
        m_list->setIconSize(QSize(16, 16));
        m_list->setGridSize(QSize(170, 22));
        m_list->setUniformItemSizes(true);
        m_list->setWordWrap(false);
        break;
    case List:
        m_list->setViewMode(QListView::ListMode);
        m_list->setFlow(QListView::TopToBottom);
        m_list->setWrapping(true);
        m_list->setIconSize(QSize(16, 16));
        m_list->setGridSize(QSize(200, 22));
        m_list->setUniformItemSizes(true);
        m_list->setWordWrap(false);
        break;
    case Details:
        break;
    }
    m_list->setMovement(QListView::Static);
    setCurrentWidget(style == Details ? static_cast<QWidget *>(m_details) : m_list);
    if (hadFocus)
        currentView()->setFocus();
}

QList<int> ContentsView::selectedRows() const
{
    return ItemSelection::rows(selectionModel());
}

int ContentsView::currentRow() const
{
    const QModelIndex i = selectionModel() ? selectionModel()->currentIndex() : QModelIndex();
    return i.isValid() ? i.row() : -1;
}

void ContentsView::selectRow(int row)
{
    QAbstractItemModel *m = m_list->model();
    if (!m || !selectionModel() || row < 0 || row >= m->rowCount())
        return;
    const QModelIndex i = m->index(row, 0);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    currentView()->scrollTo(i);
}

void ContentsView::setSortIndicator(int column, bool ascending)
{
    m_details->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ContentsView::setGridLines(bool on)
{
    m_gridLines = on;
    m_details->viewport()->update();
}

void ContentsView::setDragAllowed(bool on)
{
    m_list->setDragEnabled(on);
    m_details->setDragEnabled(on);
}

bool ContentsView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // The list's own keys come before the window's shortcuts of the same keys.
        if (m_commandKeys.contains(static_cast<QKeyEvent *>(event)->keyCombination())) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        Q_EMIT keyAboutToBeHandled();
        if (m_commandKeys.contains(key->keyCombination())) {
            Q_EMIT commandKey(key->keyCombination());
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            const int row = currentRow();
            if (row >= 0)
                Q_EMIT rowActivated(row);
            return true;
        }
        if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) {
            Q_EMIT backRequested();
            return true;
        }
    } else if (event->type() == QEvent::FocusIn) {
        Q_EMIT focusGained();
    } else if (event->type() == QEvent::MouseButtonPress) {
        // The views leave the selection alone on a right-click on empty space, which would give
        // the menu of entries the user did not point at; it clears as a left click there does,
        // and the menu is the list's own (View, Arrange Icons).
        const auto *press = static_cast<QMouseEvent *>(event);
        QAbstractItemView *v = currentView();
        if (watched == v->viewport() && press->button() == Qt::RightButton &&
            !(press->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) &&
            !v->indexAt(press->position().toPoint()).isValid())
            v->clearSelection();
    }
    return QStackedWidget::eventFilter(watched, event);
}
