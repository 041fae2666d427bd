#include "CompilationView.h"

#include "gui/ItemSelection.h"

#include <QDragMoveEvent>
#include <QKeyEvent>
#include <algorithm>

CompilationView::CompilationView(QWidget *parent) : QListView(parent)
{
    setObjectName(QStringLiteral("CompilationList"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

QList<int> CompilationView::selectedRows() const
{
    return ItemSelection::rows(selectionModel());
}

void CompilationView::dragEnterEvent(QDragEnterEvent *event)
{
    if (accepts(event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CompilationView::dragMoveEvent(QDragMoveEvent *event)
{
    if (accepts(event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CompilationView::dragLeaveEvent(QDragLeaveEvent *event)
{
    event->accept();
}

void CompilationView::dropEvent(QDropEvent *event)
{
    if (!accepts(event->source())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT dropped();
}

void CompilationView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        Q_EMIT deletePressed();
        return;
    }
    QListView::keyPressEvent(event);
}
