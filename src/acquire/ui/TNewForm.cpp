#include "TNewForm.h"

#include "ScanGauge.h"
#include "acquire/DiscDrive.h"
#include "acquire/EDiskEject.h"
#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "gui/AppDialogs.h"
#include "gui/TBusyForm.h"
#include "gui/ThemeIcons.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/GroupTree.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace
{

// What the drive reports can be selected and copied, but Tab passes it by on its way from the
// drive to the fields the user fills in.
QLineEdit *readOnlyEdit(const QString &name, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    return e;
}

} // namespace

TNewForm::TNewForm(Workspace &workspace, Navigator &navigator, DiscDrive &drive, QWidget *mainWindow)
    : QDialog(mainWindow), m_workspace(workspace), m_navigator(navigator), m_drive(drive), m_mainWindow(mainWindow)
{
    m_mainLock = new MainWindowLock(this, mainWindow);
    setObjectName(u"NewForm"_s);
    setWindowTitle(u"Add Disc to Database"_s);

    m_drivesBox = new QComboBox(this);
    m_drivesBox->setObjectName(u"DrivesBox"_s);
    m_drivesBox->setIconSize(QSize(16, 16));
    m_labelEdit = readOnlyEdit(u"LabelEdit"_s, this);
    m_serialEdit = readOnlyEdit(u"SerialEdit"_s, this);
    m_spaceEdit = readOnlyEdit(u"SpaceEdit"_s, this);
    m_fsEdit = readOnlyEdit(u"FSEdit"_s, this);
    m_fields = DiscDetailsFields(this);
    m_ejectBox = new QCheckBox(u"Eject disc on complete scan"_s, this);
    m_ejectBox->setObjectName(u"EjectBox"_s);

    const auto button = [this](const QString &name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    m_addButton = button(u"AddButton"_s, u"Add"_s);
    m_addButton->setDefault(true);
    m_cancelButton = button(u"CancelButton"_s, u"Cancel"_s);
    m_ejectButton = button(u"EjectButton"_s, u"Eject"_s);
    m_ejectButton->setIcon(ThemeIcons::icon({u"media-eject"_s}));
    m_exploreButton = button(u"ExploreButton"_s, u"Explore"_s);
    m_refreshButton = button(u"RefreshButton"_s, u"Refresh"_s);
    m_refreshButton->setIcon(ThemeIcons::icon({u"view-refresh"_s}));

    auto *fields = new QGridLayout;
    int row = 0;
    const auto add = [&](const QString &caption, QWidget *field, QWidget *beside = nullptr) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(field);
        fields->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
        if (beside) {
            auto *pair = new QHBoxLayout;
            pair->addWidget(field, 1);
            pair->addWidget(beside);
            fields->addLayout(pair, row, 1);
        } else {
            fields->addWidget(field, row, 1);
        }
        ++row;
    };
    add(u"Drive:"_s, m_drivesBox, m_refreshButton);
    add(u"Disc Label:"_s, m_labelEdit);
    add(u"Serial Number:"_s, m_serialEdit);
    add(u"Occupied Space:"_s, m_spaceEdit);
    add(u"File System:"_s, m_fsEdit);
    add(u"Disc Title:"_s, m_fields.title);
    add(u"Disc Genre:"_s, m_fields.genre);
    add(u"Disc Number:"_s, m_fields.number);
    add(u"Disc Description:"_s, m_fields.description);
    fields->addWidget(m_ejectBox, row, 1);
    fields->setColumnStretch(1, 1);
    fields->setRowStretch(row - 1, 1);

    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {m_addButton, m_cancelButton, m_ejectButton, m_exploreButton})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
    resize(480, 420);

    setTabOrder(m_drivesBox, m_refreshButton);
    setTabOrder(m_refreshButton, m_fields.title);

    connect(m_addButton, &QPushButton::clicked, this, &TNewForm::AddButtonClick);
    connect(m_cancelButton, &QPushButton::clicked, this, &TNewForm::CancelButtonClick);
    connect(m_ejectButton, &QPushButton::clicked, this, &TNewForm::EjectButtonClick);
    connect(m_exploreButton, &QPushButton::clicked, this, &TNewForm::ExploreButtonClick);
    connect(m_refreshButton, &QPushButton::clicked, this, [this] { DriveChange(Refresh::User); });
    connect(m_drivesBox, &QComboBox::activated, this, &TNewForm::DrivesBoxChange);
    connect(&m_drive, &DiscDrive::drivesChanged, this, &TNewForm::fillDrives);

    auto *altF1 = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F1), this);
    altF1->setContext(Qt::WidgetWithChildrenShortcut);
    connect(altF1, &QShortcut::activated, this, &TNewForm::dropDownDrives);

    fillDrives();
}

void TNewForm::fillDrives()
{
    if (!m_image.image.isEmpty())
        return;
    const QSignalBlocker block(m_drivesBox);
    m_drivesBox->clear();
    for (const DriveEntry &e : m_drive.drives().entries())
        m_drivesBox->addItem(ThemeIcons::driveIcon(e.kind), e.text);
    m_drivesBox->setCurrentIndex(m_drive.currentIndex());
}

void TNewForm::DrivesBoxChange(int index)
{
    m_drive.select(index);
    DriveChange(Refresh::User);
}

void TNewForm::dropDownDrives()
{
    // Only from the fields, the drive list and the drive buttons; Add, Cancel and the check box
    // keep the key to themselves.
    QWidget *focus = focusWidget();
    const QList<QWidget *> from = {
        m_drivesBox,    m_labelEdit,     m_serialEdit,         m_spaceEdit,   m_fsEdit,        m_fields.title,
        m_fields.genre, m_fields.number, m_fields.description, m_ejectButton, m_exploreButton, m_refreshButton};
    for (QWidget *w : from) {
        if (focus == w || (focus && w->isAncestorOf(focus))) {
            m_drivesBox->setFocus();
            m_drivesBox->showPopup();
            return;
        }
    }
}

void TNewForm::FormShow()
{
    showFor(DiscVolume());
}

void TNewForm::FormShowImage(const DiscVolume &image)
{
    showFor(image);
}

void TNewForm::showFor(const DiscVolume &image)
{
    showImage(image);
    m_fields.title->clear();
    m_fields.genre->clear();
    m_fields.description->clear();
    m_fields.number->setValue(DiscAdder(m_workspace.catalogue()).nextNumber());
    m_showsEntry = false;
    show();
    raise();
    activateWindow();
    m_fields.title->setFocus();
    DriveChange(Refresh::User);
    if (!image.image.isEmpty())
        proposeDetails(image.serial, image.label);
    m_ejectBox->setChecked(m_workspace.preferences().eject());
}

void TNewForm::showImage(const DiscVolume &image)
{
    m_image = image;
    const bool drive = image.image.isEmpty();
    for (QWidget *w : {static_cast<QWidget *>(m_drivesBox), static_cast<QWidget *>(m_refreshButton),
                       static_cast<QWidget *>(m_ejectButton), static_cast<QWidget *>(m_exploreButton),
                       static_cast<QWidget *>(m_ejectBox)})
        w->setEnabled(drive);
    if (drive)
        return;
    m_drivesBox->clear();
    m_drivesBox->addItem(ThemeIcons::driveIcon(DriveKind::CDROM), QDir::toNativeSeparators(image.image));
    m_drivesBox->setToolTip(QString());
    m_labelEdit->setText(image.label);
    m_serialEdit->setText(image.serial);
    m_spaceEdit->setText(FormatSize(static_cast<qint64>(image.totalSize)));
    m_fsEdit->setText(image.fileSystem);
}

void TNewForm::DriveChange(Refresh who)
{
    if (!m_image.image.isEmpty())
        return; // the image stays what it is while the drives come and go
    // Asked by the user (opening the window, Refresh) after the selected drive went: the first
    // drive, as at the start.
    if (who == Refresh::User && m_drive.currentIndex() < 0)
        m_drive.select(0);
    const QString shownSerial = m_serialEdit->text();
    const bool in = m_drive.readVolume(who == Refresh::User);
    fillDrives();
    m_drivesBox->setToolTip(m_drive.mountError());
    if (in) {
        const TDiskInfo &v = m_drive.volume();
        m_labelEdit->setText(v.VolumeName());
        m_serialEdit->setText(v.SerialNumber());
        m_spaceEdit->setText(FormatSize(static_cast<qint64>(v.TotalDiskSpace())));
        m_fsEdit->setText(v.FileSystemType());
        if (who == Refresh::User || (who == Refresh::Notice && v.SerialNumber() != shownSerial))
            proposeDetails(v.SerialNumber(), v.VolumeName());
    } else {
        for (QLineEdit *e : {m_labelEdit, m_serialEdit, m_spaceEdit, m_fsEdit})
            e->clear();
        if (who == Refresh::User || (who == Refresh::Notice && !shownSerial.isEmpty()))
            m_fields.title->clear();
    }
}

void TNewForm::proposeDetails(const QString &serial, const QString &label)
{
    const TreeNode *known =
        serial.isEmpty() || !m_workspace.tree().root() ? nullptr : FindCD(m_workspace.tree().root(), serial);
    if (known && known->cd()) {
        m_fields.setDetails(DiscAdder::detailsOf(*known->cd()));
        m_showsEntry = true;
        return;
    }
    // What another disc's entry put in the fields is not this disc's.
    if (m_showsEntry) {
        m_fields.setDetails(DiscDetails{{}, {}, {}, DiscAdder(m_workspace.catalogue()).nextNumber(), {}});
        m_showsEntry = false;
    }
    m_fields.title->setText(DiscDrive::proposedTitle(label, m_workspace.preferences().correctLabel()));
}

void TNewForm::mediaChanged()
{
    // An image the window was last shown for is done with once it is hidden: the drives are
    // read again, or an arriving disc would be judged by the image's serial.
    if (!isVisible() && !m_scanning && !m_image.image.isEmpty())
        showImage(DiscVolume());
    DriveChange(Refresh::Notice);
}

void TNewForm::AddButtonClick()
{
    if (m_scanning || m_workspace.isReadOnly())
        return;
    Preferences &prefs = m_workspace.preferences();
    prefs.setEject(m_ejectBox->isChecked());
    const DiscDetails d = m_fields.details();
    if (const QString problem = DiscAdder::CheckTitle(d.title); !problem.isNull()) {
        AppDialogs::message(this, AppDialogs::Error, problem);
        m_fields.title->setFocus();
        return;
    }
    if (const QString problem = DiscAdder::CheckDetails(d); !problem.isNull()) {
        AppDialogs::message(this, AppDialogs::Error, problem);
        return;
    }
    const bool image = !m_image.image.isEmpty();
    if (!image)
        DriveChange(Refresh::MainWindow);

    const DiscVolume disc = image ? m_image : m_drive.discVolume();
    TreeNode *old = disc.serial.isEmpty() ? nullptr : FindCD(m_workspace.tree().root(), disc.serial);
    if (old && AppDialogs::message(this, AppDialogs::Confirmation, DiscAdder::alreadyInDatabaseQuestion(),
                                   AppDialogs::YesNo) != QMessageBox::Yes) {
        close();
        return;
    }
    if (!image && !m_drive.discIn()) {
        AppDialogs::message(this, AppDialogs::Information, DiscAdder::discNotPresentMessage(m_drive.driveText()));
        return;
    }
    // A lent disc scanned anew is still lent: the record of who has it would be lost.
    DiscDetails details = d;
    if (old)
        details.lentTo = DiscAdder::keptDetails(*old).lentTo;
    if (!runScan(disc, details, old))
        return;
    if (prefs.eject() && !image) {
        try {
            m_drive.eject(disc.root);
        } catch (const EDiskEject &e) {
            AppDialogs::showError(m_mainWindow, e.shownText());
        }
    }
}

bool TNewForm::runScan(const DiscVolume &disc, const DiscDetails &details, TreeNode *replace)
{
    // From here on the add is under way: no second one, and closing the window asks.
    m_scanning = true;
    m_stopRequested = false;
    m_unreadable.clear();
    // The main window stays disabled: the busy window takes it over from the dialog.
    m_mainLock->setHeld(true);
    hide();
    m_mainLock->setHeld(false);
    if (!m_busy) {
        m_busy = new TBusyForm(m_mainWindow);
        // Stop gives the disc up: nothing of it reaches the catalogue.
        m_busy->setStopButton([this] { requestStop(); });
    }
    // A scan that reads every byte measures its gauge in the bytes it reads, and says how far it is.
    DiscAdder adder(m_workspace.catalogue(), ScanOptions::from(m_workspace.preferences()));
    const bool everyByte = adder.readsEveryByte(replace);
    DiscVolume volume = disc;
    if (everyByte && disc.image.isEmpty())
        volume.totalSize = DiscAdder::bytesToRead(disc.root, disc.totalSize);
    ScanGauge gauge(m_busy, u"Disc is being processed. Please wait..."_s, volume.totalSize, everyByte);

    adder.setProcessEvents([this, &disc] {
        // The busy window's Stop is the one control the user can reach meanwhile.
        QApplication::processEvents();
        if (m_stopRequested)
            throw QuilloryError(u"The scan was stopped."_s);
        if (disc.image.isEmpty())
            m_drive.checkPresent(disc);
    });
    adder.setGauge(gauge.callback());
    if (disc.image.isEmpty())
        adder.setScanCheck([this, &disc] { m_drive.checkSameDisc(disc); });

    TreeNode *parent = adder.parentFor(m_navigator.currentNode());
    TreeNode *added = nullptr;
    QString failure, unfinished;
    try {
        if (disc.image.isEmpty())
            m_drive.checkReadable(disc);
        added = adder.add(volume, details, parent, replace);
        m_unreadable = adder.unreadable();
        unfinished = adder.unfinished();
    } catch (const QuilloryError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    m_scanning = false;
    const bool stopped = m_stopRequested;
    m_stopRequested = false;
    if (m_busy)
        m_busy->finish();
    if (!added) {
        if (!stopped)
            AppDialogs::message(m_mainWindow, AppDialogs::Error, DiscDrive::addFailedMessage(failure));
        Q_EMIT scanFinished();
        return false;
    }
    if (!unfinished.isEmpty())
        AppDialogs::message(m_mainWindow, AppDialogs::Warning, unfinished);
    // Selecting the group lists it again, so the new disc shows even when the selection stays.
    m_navigator.TreeChange(added->parent());
    Q_EMIT scanFinished();
    return true;
}

void TNewForm::CancelButtonClick()
{
    m_workspace.preferences().setEject(m_ejectBox->isChecked());
    close();
}

void TNewForm::reject()
{
    // Escape and the window's close button cancel as the button does.
    if (isVisible())
        m_workspace.preferences().setEject(m_ejectBox->isChecked());
    QDialog::reject();
}

bool TNewForm::driveChosen()
{
    if (!m_drive.driveText().isEmpty())
        return true;
    AppDialogs::message(this, AppDialogs::Information, DiscAdder::noDriveChosenMessage());
    return false;
}

void TNewForm::EjectButtonClick()
{
    if (!driveChosen())
        return;
    try {
        m_drive.eject(m_drive.driveText());
    } catch (const EDiskEject &e) {
        AppDialogs::showError(this, e.shownText());
    }
}

void TNewForm::ExploreButtonClick()
{
    if (!driveChosen())
        return;
    const QString drive = m_drive.driveText();
    if (!m_drive.hasDisc()) {
        AppDialogs::message(this, AppDialogs::Error, u"Disc not present in drive "_s + drive);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(drive)))
        AppDialogs::showError(this, u"Error executing file!"_s);
}
