#include "ContentsPanel.h"
#include "gui/PlainTip.h"

#include "ContentsModel.h"
#include "ContentsView.h"
#include "listing/Navigator.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QResizeEvent>
#include <QVBoxLayout>

ContentsPanel::ContentsPanel(Navigator &navigator, ContentsIcons *icons, QWidget *parent) : Panel(parent)
{
    setObjectName(QStringLiteral("MiddlePanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("HeaderPanel"));
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::AlternateBase);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(8, 4, 8, 4);
    headerLayout->setSpacing(8);
    m_nameLabel = new QLabel(header);
    m_nameLabel->setObjectName(QStringLiteral("NameLabel"));
    // A title or a folder may hold "<" and ">": it is text, never markup.
    m_nameLabel->setTextFormat(Qt::PlainText);
    QFont bold = m_nameLabel->font();
    bold.setBold(true);
    m_nameLabel->setFont(bold);
    m_pathLabel = new QLabel(header);
    m_pathLabel->setObjectName(QStringLiteral("PathLabel"));
    m_pathLabel->setTextFormat(Qt::PlainText);
    m_pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long title or path is cut where the pane ends: its whole width would be the pane's
    // least, and the splitter would take it from the tree (and keep it at the next start).
    for (QLabel *l : {m_nameLabel, m_pathLabel})
        l->setMinimumWidth(1);
    headerLayout->addWidget(m_nameLabel);
    headerLayout->addWidget(m_pathLabel, 1);
    layout->addWidget(header);

    m_view = new ContentsView(this);
    m_model = new ContentsModel(&navigator.listing(), icons, this);
    m_view->setModel(m_model);
    showOrder(navigator.location());
    layout->addWidget(m_view, 1);

    connect(&navigator, &Navigator::locationChanged, this, [this, &navigator] { setLocation(navigator); });
    connect(&navigator, &Navigator::listingAboutToReset, this, [this] {
        setWaiting(true);
        m_model->beginListing();
    });
    connect(&navigator, &Navigator::listingReset, this, [this, &navigator] {
        m_model->endListing();
        setWaiting(false);
        // Entries go to the compilation only from a disc or a search result.
        m_model->setDragEnabled(!navigator.location().isGroupListed());
    });
    connect(&navigator, &Navigator::listingAboutToSort, this, [this] {
        setWaiting(true);
        rememberSelection();
        m_model->beginListing();
    });
    connect(&navigator, &Navigator::listingSorted, this, [this](const std::vector<int> &order) {
        m_model->endListing();
        restoreSelection(order);
        setWaiting(false);
    });
}

ContentsPanel::~ContentsPanel()
{
    setWaiting(false);
}

void ContentsPanel::setWaiting(bool waiting)
{
    // Once each way, even when a failure left out the signal that ends the work.
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void ContentsPanel::setLocation(const Navigator &navigator)
{
    const LocationState &loc = navigator.location();
    m_nameLabel->setText(loc.discLabel);
    m_nameLabel->setVisible(!loc.discLabel.isEmpty());
    m_pathLabel->setText(loc.pathLabel);
    // A deep folder or a long title is cut at the panel's edge: hovering shows it whole.
    m_nameLabel->setToolTip(PlainTip(loc.discLabel));
    m_pathLabel->setToolTip(PlainTip(loc.pathLabel));
    showOrder(loc);
}

void ContentsPanel::showOrder(const LocationState &loc)
{
    // An answer in its own order is sorted by no column, and shows its groups instead.
    m_view->setSortIndicator(loc.answerOrder ? -1 : static_cast<int>(loc.sortKey), loc.ascending);
    m_model->setGroupsShaded(loc.answerOrder);
}

void ContentsPanel::rememberSelection()
{
    // By entry, not by row: the rows move.
    m_marks.assign(static_cast<size_t>(m_model->rowCount()), 0);
    for (int r : m_view->selectedRows())
        m_marks[static_cast<size_t>(r)] = 1;
    if (const int current = m_view->currentRow(); current >= 0)
        m_marks[static_cast<size_t>(current)] |= 2;
}

void ContentsPanel::restoreSelection(const std::vector<int> &order)
{
    QItemSelection sel;
    int newCurrent = -1;
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
        const size_t old = static_cast<size_t>(order[static_cast<size_t>(i)]);
        const int m = old < m_marks.size() ? m_marks[old] : 0;
        if (m & 1)
            sel.select(m_model->index(i, 0), m_model->index(i, m_model->columnCount() - 1));
        if (m & 2)
            newCurrent = i;
    }
    if (newCurrent >= 0)
        m_view->selectionModel()->setCurrentIndex(m_model->index(newCurrent, 0), QItemSelectionModel::NoUpdate);
    m_view->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    m_marks.clear();
}

void ContentsPanel::resizeEvent(QResizeEvent *event)
{
    Panel::resizeEvent(event);
    // A long title leaves room for the folder's path beside it, which would otherwise go first.
    m_nameLabel->setMaximumWidth(std::max(40, width() * 3 / 5));
}
