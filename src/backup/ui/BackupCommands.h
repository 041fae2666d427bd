#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class ActionRegistry;
class Navigator;
class TBusyForm;
class Workspace;

// "Export Database" and "Import Database": the whole catalogue to and from one cabinet,
// with the busy window during an export.
class BackupCommands : public QObject
{
    Q_OBJECT
public:
    BackupCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *window);

    // Null until the first export.
    TBusyForm *busyForm() const;

public Q_SLOTS:
    void ExportAllData1Click();
    void ImportDatabase1Click();

private:
    void updateCommandStates();
    // The export reads the tree back; the selection is found again by serial.
    void reselect(const QString &serial);

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QWidget *m_window;
    QPointer<TBusyForm> m_busy;
    QString m_lastImport = QStringLiteral("Quillory.cab");
};
