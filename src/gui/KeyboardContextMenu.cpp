#include "KeyboardContextMenu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QWidget>

KeyboardContextMenu::KeyboardContextMenu(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool KeyboardContextMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier)
        return QObject::eventFilter(watched, event);
    // Where the Menu key's menu opens: the focus widget's cursor, a view's current item.
    QWidget *focus = QApplication::focusWidget();
    if (!focus || !focus->isEnabled() || focus != watched)
        return QObject::eventFilter(watched, event);
    const QRect cursor = focus->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const QPoint pos = cursor.isValid() ? cursor.center() : focus->rect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, focus->mapToGlobal(pos), key->modifiers());
    QApplication::sendEvent(focus, &menu);
    return true;
}
