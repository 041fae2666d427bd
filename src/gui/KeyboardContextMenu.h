#pragma once

#include <QObject>

// Shift+F10 opens the context menu of the widget with the focus, as the Menu key does: at the
// current item of a list or tree, for the keyboards that have no Menu key. Qt itself turns
// only the Menu key into a context menu.
class KeyboardContextMenu : public QObject
{
    Q_OBJECT
public:
    // Watches every key pressed in the application while it lives.
    explicit KeyboardContextMenu(QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
