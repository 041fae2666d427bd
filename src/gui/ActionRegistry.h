#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QWidget;

// Every documented command of the main window as one action, keyed by its control name
// ("AddGroup1", "Delete1", "ExportAllData1"...), made from one table with its caption, icon,
// shortcut and tool tip. Menus and the tool bar place actions by name; a controller claims the
// actions it runs. What nobody claimed is a command still to come: shown, but disabled.
class ActionRegistry : public QObject
{
    Q_OBJECT
public:
    // The actions live on the window, so their shortcuts work wherever the focus is in it.
    explicit ActionRegistry(QWidget *window);

    // The action of that name; null for a name the table does not hold.
    QAction *action(const QString &name) const;
    QList<QAction *> actions(const QStringList &names) const;
    // A caption made while the program runs ("Create Report for disc "…""): an "&" in it is shown
    // as it is, and the command keeps its access key where its letter first stands.
    void setCaption(const QString &name, const QString &text);
    // A menu item's text shown as it is: an "&" in a name or a path is no access key.
    static QString asIs(QString text) { return text.replace(u'&', QStringLiteral("&&")); }
    // The action a controller runs from now on.
    QAction *claim(const QString &name);
    // Once every controller is built: the commands nobody runs yet are disabled.
    void disableUnclaimed();
    QStringList names() const { return m_order; }

    // Menus shared between controllers (the tree's menu also serves group and disc entries of
    // the list), by their control names.
    void addMenu(QMenu *menu);
    QMenu *menu(const QString &name) const { return m_menus.value(name); }

private:
    QHash<QString, QAction *> m_actions;
    QStringList m_order;
    QSet<QString> m_claimed;
    QHash<QString, QChar> m_accessKeys;
    QHash<QString, QMenu *> m_menus;
};
