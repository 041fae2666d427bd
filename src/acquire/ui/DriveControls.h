#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class ActionRegistry;
class DiscDrive;
class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QWidget;

// The main window's parts that follow the drives: one status-bar panel per drive ("… present",
// "… empty"), an "Eject Drive …" item in the File menu for every drive that is not fixed, and,
// with more than one drive, a "For Drive …" item per drive under "Create M3U Playlist". All are
// made again whenever the drives change, since a drive's text is its mount point.
class DriveControls : public QObject
{
    Q_OBJECT
public:
    DriveControls(DiscDrive &drive, ActionRegistry &actions, QMainWindow *window);

    QList<QLabel *> panels() const { return m_panels; }
    QList<QAction *> ejectItems() const { return m_ejectItems; }

private:
    void rebuild();
    void setPanelTexts(const QStringList &texts);
    void ejectDrive(const QString &drive);

    DiscDrive &m_drive;
    ActionRegistry &m_actions;
    QMainWindow *m_window;
    QWidget *m_row = nullptr; // the panels' row in the status bar
    QList<QLabel *> m_panels;
    QList<QAction *> m_ejectItems;
    QMenu *m_playlistMenu = nullptr;
};
