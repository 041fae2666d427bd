#include "TOptionsForm.h"

#include "acquire/ScanOptions.h"
#include "gui/AppDialogs.h"
#include "gui/MainWindowLock.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

QCheckBox *checkBox(const QString &name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

TOptionsForm::TOptionsForm(Preferences &preferences, QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint), m_prefs(preferences)
{
    setObjectName(u"OptionsForm"_s);
    setWindowTitle(u"Preferences"_s);
    auto *outer = new QVBoxLayout(this);
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(u"PageControl"_s);
    outer->addWidget(m_pages);

    // "Disc Scan"
    auto *scan = new QWidget(m_pages);
    scan->setObjectName(u"DiscScanSheet"_s);
    auto *scanLayout = new QVBoxLayout(scan);
    scanLayout->addWidget(note(u"Select which file filters will be used during scan process"_s, scan));
    auto *filters = new QListWidget(scan);
    filters->setObjectName(u"Filters"_s);
    // The library readers' captions list more extensions than the list is wide: they wrap
    // rather than scroll the whole list sideways, and each has its whole text in its tip.
    filters->setWordWrap(true);
    filters->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    filters->setResizeMode(QListView::Adjust);
    for (const char *caption : ScanOptions::FilterCaptions) {
        auto *item = new QListWidgetItem(QString::fromLatin1(caption), filters);
        item->setToolTip(item->text());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    scanLayout->addWidget(filters, 1);
    scanLayout->addWidget(checkBox(u"AutoInsert"_s, u"Open \"Add Disc\" dialog when unknown disc is inserted"_s, scan));
    scanLayout->addWidget(checkBox(u"EjectBox"_s, u"Eject disc on complete scan"_s, scan));
    scanLayout->addWidget(checkBox(u"LabelBox"_s, u"Correct CD label for Title (e.g. MISC_4 = Misc 4)"_s, scan));
    scanLayout->addWidget(checkBox(u"ChecksumsBox"_s, u"Compute checksums of files (reads every byte)"_s, scan));
    m_pages->addTab(scan, u"Disc Scan"_s);

    // "Actions"
    auto *actions = new QWidget(m_pages);
    actions->setObjectName(u"ActionsSheet"_s);
    auto *actionsLayout = new QVBoxLayout(actions);
    actionsLayout->addWidget(note(u"Action to take on double-click:"_s, actions));
    auto *action = new QComboBox(actions);
    action->setObjectName(u"ActionCombo"_s);
    action->addItems({u"Execute File"_s, u"Copy to Hard-Drive"_s, u"Open in Explorer"_s, u"View Properties"_s});
    actionsLayout->addWidget(action);
    actionsLayout->addWidget(note(u"Note: some of these actions require disc to be in Drive"_s, actions));
    actionsLayout->addWidget(checkBox(u"WindowBox"_s, u"Save main window size and position"_s, actions));
    actionsLayout->addWidget(checkBox(u"ExpandBox"_s, u"Restore expanded groups on startup"_s, actions));
    actionsLayout->addWidget(checkBox(u"GridBox"_s, u"Show grids when browsing in Report mode"_s, actions));
    actionsLayout->addWidget(
        checkBox(u"DiscEditBox"_s, u"Double click on disc in TreeView opens  \"Edit Disc\" dialog"_s, actions));
    actionsLayout->addWidget(note(u"Maximum number of search results:"_s, actions));
    auto *limitRow = new QHBoxLayout;
    auto *unlimited = checkBox(u"UnlimitedBox"_s, u"Unlimited"_s, actions);
    auto *maxSearch = new QSpinBox(actions);
    maxSearch->setObjectName(u"MaxSearch"_s);
    limitRow->addWidget(unlimited);
    limitRow->addWidget(maxSearch, 1);
    actionsLayout->addLayout(limitRow);
    actionsLayout->addStretch();
    m_pages->addTab(actions, u"Actions"_s);

    // "Exclusions"
    auto *exclusions = new QWidget(m_pages);
    exclusions->setObjectName(u"ExclusionsSheet"_s);
    auto *excLayout = new QVBoxLayout(exclusions);
    excLayout->addWidget(
        note(u"Files that match one of the masks in exclusion list will not be added to the database. (e.g. *.dll)"_s,
             exclusions));
    auto *listRow = new QHBoxLayout;
    m_exclusions = new QListWidget(exclusions);
    m_exclusions->setObjectName(u"ExcList"_s);
    listRow->addWidget(m_exclusions, 1);
    auto *listButtons = new QVBoxLayout;
    auto *add = new QPushButton(u"Add"_s, exclusions);
    add->setObjectName(u"AddButton"_s);
    auto *remove = new QPushButton(u"Remove"_s, exclusions);
    remove->setObjectName(u"RemoveButton"_s);
    listButtons->addWidget(add);
    listButtons->addWidget(remove);
    listButtons->addStretch();
    listRow->addLayout(listButtons);
    excLayout->addLayout(listRow, 1);
    m_addExclusion = add;
    m_removeExclusion = remove;
    m_exclusionsReadOnly =
        note(u"This window shows the catalogue read-only: its exclusion list cannot be changed here."_s, exclusions);
    m_exclusionsReadOnly->setObjectName(u"ExcReadOnlyNote"_s);
    m_exclusionsReadOnly->hide();
    excLayout->addWidget(m_exclusionsReadOnly);
    excLayout->addWidget(checkBox(u"EmptyBox"_s, u"Ignore empty directories"_s, exclusions));
    excLayout->addWidget(checkBox(u"EmptyFilesBox"_s, u"Ignore empty files"_s, exclusions));
    excLayout->addWidget(checkBox(u"HiddenBox"_s, u"Ignore hidden/system files"_s, exclusions));
    m_pages->addTab(exclusions, u"Exclusions"_s);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(u"OK"_s, this);
    ok->setObjectName(u"OkButton"_s);
    ok->setDefault(true);
    auto *cancel = new QPushButton(u"Cancel"_s, this);
    cancel->setObjectName(u"CancelButton"_s);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    outer->addLayout(buttons);
    resize(440, 420);

    // Every control writes its preference the moment it changes.
    for (const Preferences::Item &item : Preferences::items()) {
        if (item.control.isEmpty())
            continue;
        const Preferences::Id id = item.id;
        QWidget *control = findChild<QWidget *>(item.control);
        const auto write = [this, id](const QVariant &v) {
            if (!m_loading)
                m_prefs.set(id, v);
        };
        if (auto *box = qobject_cast<QCheckBox *>(control))
            connect(box, &QCheckBox::toggled, this, write);
        else if (auto *combo = qobject_cast<QComboBox *>(control))
            connect(combo, &QComboBox::currentIndexChanged, this, write);
        else if (auto *spin = qobject_cast<QSpinBox *>(control))
            connect(spin, &QSpinBox::valueChanged, this, write);
        else if (auto *list = qobject_cast<QListWidget *>(control))
            connect(list, &QListWidget::itemChanged, this, [list, id, write](QListWidgetItem *changed) {
                if (list->row(changed) == id - Preferences::Filter0)
                    write(changed->checkState() == Qt::Checked);
            });
    }
    // The number counts only while the search is limited.
    connect(unlimited, &QCheckBox::toggled, maxSearch, [maxSearch](bool on) { maxSearch->setEnabled(!on); });
    connect(add, &QPushButton::clicked, this, &TOptionsForm::AddButtonClick);
    connect(remove, &QPushButton::clicked, this, &TOptionsForm::RemoveButtonClick);
    connect(ok, &QPushButton::clicked, this, &TOptionsForm::okClicked);
    connect(cancel, &QPushButton::clicked, this, &TOptionsForm::cancelClicked);
    // Whatever changes the preferences (loading them, another window) shows here.
    connect(&m_prefs, &Preferences::changed, this, &TOptionsForm::LoadControls);

    new MainWindowLock(this, mainWindow);
    LoadControls();
}

void TOptionsForm::LoadControls()
{
    m_loading = true;
    for (const Preferences::Item &item : Preferences::items()) {
        if (item.control.isEmpty())
            continue;
        QWidget *control = findChild<QWidget *>(item.control);
        const int v = m_prefs.get(item.id).toInt();
        if (auto *box = qobject_cast<QCheckBox *>(control))
            box->setChecked(v == 1);
        else if (auto *combo = qobject_cast<QComboBox *>(control))
            combo->setCurrentIndex(v >= 0 && v < combo->count() ? v : -1); // a stored one outside them: none
        else if (auto *spin = qobject_cast<QSpinBox *>(control)) {
            // The user sets a number within the preference's range, as on the command line; a
            // stored number outside it, applied as it stands, is shown so too, and can only be
            // stepped towards the range, since a change narrows it again.
            spin->setRange(std::min(item.min, v), std::max(item.max, v));
            spin->setValue(v);
        } else if (auto *list = qobject_cast<QListWidget *>(control))
            list->item(item.id - Preferences::Filter0)->setCheckState(v == 1 ? Qt::Checked : Qt::Unchecked);
    }
    if (m_exclusions->count() != m_prefs.exclusions().size() || [this] {
            for (int i = 0; i < m_exclusions->count(); ++i)
                if (m_exclusions->item(i)->text() != m_prefs.exclusions().at(i))
                    return true;
            return false;
        }()) {
        m_exclusions->clear();
        m_exclusions->addItems(m_prefs.exclusions());
    }
    m_loading = false;
}

void TOptionsForm::FormShow()
{
    m_pages->setCurrentIndex(0);
    if (QWidget *main = parentWidget())
        move(main->geometry().center() - rect().center());
    show();
    activateWindow();
}

void TOptionsForm::setExclusionsEditable(bool editable)
{
    m_addExclusion->setEnabled(editable);
    m_removeExclusion->setEnabled(editable);
    m_exclusionsReadOnly->setVisible(!editable);
}

void TOptionsForm::reject()
{
    Q_EMIT cancelClicked();
}

void TOptionsForm::AddButtonClick()
{
    QString mask;
    if (!AppDialogs::inputBox(this, u"New Exclusion..."_s, u"File Mask:"_s, mask))
        return;
    // Refused where it is typed: kept, it would end every later scan with its error.
    if (const QString why = Preferences::exclusionProblem(mask); !mask.isEmpty() && !why.isEmpty()) {
        AppDialogs::showError(this, why);
        return;
    }
    QStringList masks = m_prefs.exclusions();
    masks.append(mask);
    m_prefs.setExclusions(masks);
}

void TOptionsForm::RemoveButtonClick()
{
    const int row = m_exclusions->currentRow();
    if (row < 0 || !m_exclusions->currentItem()->isSelected())
        return;
    const QString mask = m_exclusions->item(row)->text();
    if (AppDialogs::message(this, AppDialogs::Confirmation, u"Remove exclusion "_s + mask + u"?"_s,
                            AppDialogs::YesNo) != QMessageBox::Yes)
        return;
    QStringList masks = m_prefs.exclusions();
    masks.removeAt(row);
    m_prefs.setExclusions(masks);
}
