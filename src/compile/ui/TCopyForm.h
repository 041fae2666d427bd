#pragma once

#include <QDialog>

class QFileSystemModel;
class QPushButton;
class QTreeView;

// "Copy to HDD": the folder the selected entries are copied to, picked from a tree of the
// folders that exist (nothing else can be picked). Shown without waiting, it keeps the main
// window disabled while open; OK closes it and asks for the copy.
class TCopyForm : public QDialog
{
    Q_OBJECT
public:
    explicit TCopyForm(QWidget *mainWindow);

    QPushButton *okButton() const { return m_ok; }
    // The folder selected in the tree; empty when the selection is no existing folder.
    QString selectedFolder() const;
    // Selects and shows a folder of the tree.
    void selectFolder(const QString &path);

public Q_SLOTS:
    void ShellTreeChange();
    void OkButtonClick();
    void CancelButtonClick();

Q_SIGNALS:
    void copyRequested(const QString &destination);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showPending();

    QFileSystemModel *m_model;
    QTreeView *m_tree;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QString m_pending; // the folder last selected by selectFolder, kept in view while it loads
    bool m_showing = false;
};
