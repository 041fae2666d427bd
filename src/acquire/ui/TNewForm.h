#pragma once

#include "DiscDetailsFields.h"

#include "gui/MainWindowLock.h"

#include "acquire/DiscAdder.h"

#include <QDialog>
#include <QPointer>

class DiscDrive;
class Navigator;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TBusyForm;
class Workspace;

// "Add Disc to Database": reads the volume in the chosen drive, takes the title and the other
// details, and adds the disc: scan, contents file, record, with the busy window meanwhile.
// While it shows, the main window is disabled; it is hidden, not destroyed, between uses.
class TNewForm : public QDialog
{
    Q_OBJECT
public:
    // Who asks for a drive change: the user (a pick, "Refresh", the dialog opening), the
    // media notices, or the Add command itself before its scan.
    enum class Refresh { User, Notice, MainWindow };

    TNewForm(Workspace &workspace, Navigator &navigator, DiscDrive &drive, QWidget *mainWindow);

    // Shows the dialog afresh: empty fields, the next disc number, the selected drive read.
    void FormShow();
    // The same for a disc image (ImageScanner::volumeOf) in place of a drive: its fields come
    // from the image, and the drive's controls rest until the dialog is shown for a drive.
    void FormShowImage(const DiscVolume &image);
    // Re-reads the selected drive into the volume fields. The user's own request also proposes
    // the title from the label (and may mount the medium); a notice does so only when another
    // disc is now in the drive; the Add command never touches the title.
    void DriveChange(Refresh who);
    // The media notices moved the drives: the list is drawn again and the fields re-read.
    void mediaChanged();

    bool isScanning() const { return m_scanning; }
    // A running scan stops at its next folder; nothing is stored.
    void requestStop() { m_stopRequested = true; }
    TBusyForm *busyForm() const { return m_busy; }
    // What the scan of the disc last added could not read (nothing after a failed add).
    const ScanProblems &unreadable() const { return m_unreadable; }

public Q_SLOTS:
    void AddButtonClick();
    void CancelButtonClick();
    void EjectButtonClick();
    void ExploreButtonClick();
    void reject() override;

Q_SIGNALS:
    // A scan has ended, with the disc added or not.
    void scanFinished();

protected:
private:
    // False, the user told, when no drive is chosen (the one shown went away).
    bool driveChosen();
    void fillDrives();
    void DrivesBoxChange(int index);
    void dropDownDrives();
    void showFor(const DiscVolume &image);
    // The fields of the image, or the drive's controls back when there is none.
    void showImage(const DiscVolume &image);
    // The details a volume's disc gets: its catalogue entry's when the catalogue has it (which an
    // update keeps, unless changed here), else a title made from its label.
    void proposeDetails(const QString &serial, const QString &label);
    bool runScan(const DiscVolume &disc, const DiscDetails &details, TreeNode *replace);

    Workspace &m_workspace;
    Navigator &m_navigator;
    DiscDrive &m_drive;
    QPointer<QWidget> m_mainWindow;
    QPointer<TBusyForm> m_busy;
    ScanProblems m_unreadable;

    QComboBox *m_drivesBox;
    QLineEdit *m_labelEdit;
    QLineEdit *m_serialEdit;
    QLineEdit *m_spaceEdit;
    QLineEdit *m_fsEdit;
    DiscDetailsFields m_fields;
    QCheckBox *m_ejectBox;
    QPushButton *m_addButton;
    QPushButton *m_cancelButton;
    QPushButton *m_ejectButton;
    QPushButton *m_exploreButton;
    QPushButton *m_refreshButton;

    DiscVolume m_image; // the image shown in place of a drive, if any
    bool m_scanning = false;
    // The fields show a catalogued disc's details (not the user's typing for a new one).
    bool m_showsEntry = false;
    bool m_stopRequested = false;
    // Set while the dialog hands the disabled main window over to the busy window.
    MainWindowLock *m_mainLock = nullptr;
};
