#pragma once

#include "DiscDetailsFields.h"

#include <QDialog>
#include <QPointer>

class Navigator;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TreeNode;
class Workspace;

// "Edit Disc Entry": the details the user gave a disc (title, genre, number, description),
// beside what the scan read (label, serial, size, file system, date) and whether it is lent.
// While it shows, the main window is disabled.
class TCDForm : public QDialog
{
    Q_OBJECT
public:
    TCDForm(Workspace &workspace, Navigator &navigator, QWidget *mainWindow);

    // Fills the fields from the disc's record and shows the dialog.
    void FormShow(TreeNode *disc);
    TreeNode *disc() const { return m_disc; }

public Q_SLOTS:
    void ChangeButtonClick();

protected:
private:
    Workspace &m_workspace;
    Navigator &m_navigator;
    QPointer<QWidget> m_mainWindow;
    TreeNode *m_disc = nullptr;

    DiscDetailsFields m_fields;
    QLineEdit *m_labelEdit;
    QLineEdit *m_serialEdit;
    QLineEdit *m_spaceEdit;
    QLineEdit *m_fsEdit;
    QLineEdit *m_dateEdit;
    QLabel *m_borrowLabel;
    QPushButton *m_changeButton;
    QPushButton *m_cancelButton;
};
