#pragma once

#include "acquire/DiscVerifier.h"

#include <QDateTime>
#include <QWidget>

class QLabel;
class QPushButton;
class QStatusBar;
class QTreeView;
class VerifyModel;

// The differences Verify Disc found, listed as search hits are: name, what differs, where, the
// detail; the summary in the status bar. Its buttons hand the work back to whoever verified the
// disc (VerifyCommands): "Switch to Location", "Save Report...", "Update from this scan".
class TVerifyForm : public QWidget
{
    Q_OBJECT
public:
    explicit TVerifyForm(QWidget *mainWindow);
    ~TVerifyForm() override;

    // The report of the disc with that title and serial, read from the medium at root.
    void showReport(const QString &title, const QString &serial, const QString &root, VerifyReport report);
    const VerifyReport &report() const { return m_report; }
    // What Save Report writes: the heading's first line (which disc, read from where, whether it
    // matched) and when it was verified, then the report as the command line prints it.
    QString savedText() const;
    const QString &serial() const { return m_serial; }
    const QString &title() const { return m_title; }
    const QString &root() const { return m_root; }
    // The difference of the selected row; null when none is selected.
    const VerifyDifference *currentDifference() const;
    void setUpdateAllowed(bool allowed);

Q_SIGNALS:
    void switchRequested(const VerifyDifference &difference);
    void saveRequested();
    void updateRequested();

private:
    void updateButtons();

    VerifyReport m_report;
    QString m_title;
    QString m_serial;
    QString m_root;
    QDateTime m_verified;
    bool m_updateAllowed = true;
    bool m_placed = false;
    QLabel *m_header;
    QTreeView *m_list;
    VerifyModel *m_model;
    QStatusBar *m_status;
    QPushButton *m_switch;
    QPushButton *m_save;
    QPushButton *m_update;
};
