#include "TOptionsForm.h"

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
#include <limits>

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
    m_filters = new QListWidget(scan);
    m_filters->setObjectName(u"Filters"_s);
    for (const QString &caption : Preferences::filterCaptions()) {
        auto *item = new QListWidgetItem(caption, m_filters);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    scanLayout->addWidget(m_filters, 1);
    m_autoInsert = checkBox(u"AutoInsert"_s, u"Open \"Add Disc\" dialog when unknown disc is inserted"_s, scan);
    m_eject = checkBox(u"EjectBox"_s, u"Eject disc on complete scan"_s, scan);
    m_label = checkBox(u"LabelBox"_s, u"Correct CD label for Title (e.g. MISC_4 = Misc 4)"_s, scan);
    scanLayout->addWidget(m_autoInsert);
    scanLayout->addWidget(m_eject);
    scanLayout->addWidget(m_label);
    m_pages->addTab(scan, u"Disc Scan"_s);

    // "Actions"
    auto *actions = new QWidget(m_pages);
    actions->setObjectName(u"ActionsSheet"_s);
    auto *actionsLayout = new QVBoxLayout(actions);
    actionsLayout->addWidget(note(u"Action to take on double-click:"_s, actions));
    m_action = new QComboBox(actions);
    m_action->setObjectName(u"ActionCombo"_s);
    m_action->addItems({u"Execute File"_s, u"Copy to Hard-Drive"_s, u"Open in Explorer"_s, u"View Properties"_s});
    actionsLayout->addWidget(m_action);
    actionsLayout->addWidget(note(u"Note: some of these actions require disc to be in Drive"_s, actions));
    m_window = checkBox(u"WindowBox"_s, u"Save main window size and position"_s, actions);
    m_expand = checkBox(u"ExpandBox"_s, u"Restore expanded groups on startup"_s, actions);
    m_grid = checkBox(u"GridBox"_s, u"Show grids when browsing in Report mode"_s, actions);
    m_discEdit = checkBox(u"DiscEditBox"_s, u"Double click on disc in TreeView opens  \"Edit Disc\" dialog"_s, actions);
    for (QCheckBox *box : {m_window, m_expand, m_grid, m_discEdit})
        actionsLayout->addWidget(box);
    actionsLayout->addWidget(note(u"Maximum number of search results:"_s, actions));
    auto *limitRow = new QHBoxLayout;
    m_unlimited = checkBox(u"UnlimitedBox"_s, u"Unlimited"_s, actions);
    m_maxSearch = new QSpinBox(actions);
    m_maxSearch->setObjectName(u"MaxSearch"_s);
    m_maxSearch->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    limitRow->addWidget(m_unlimited);
    limitRow->addWidget(m_maxSearch, 1);
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
    m_empty = checkBox(u"EmptyBox"_s, u"Ignore empty directories"_s, exclusions);
    m_emptyFiles = checkBox(u"EmptyFilesBox"_s, u"Ignore empty files"_s, exclusions);
    m_hidden = checkBox(u"HiddenBox"_s, u"Ignore hidden/system files"_s, exclusions);
    for (QCheckBox *box : {m_empty, m_emptyFiles, m_hidden})
        excLayout->addWidget(box);
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
    Preferences &p = m_prefs;
    connect(m_filters, &QListWidget::itemChanged, this, [this, &p](QListWidgetItem *item) {
        if (!m_loading)
            p.setFilter(m_filters->row(item), item->checkState() == Qt::Checked);
    });
    const auto bind = [this](QCheckBox *box, void (Preferences::*set)(bool)) {
        connect(box, &QCheckBox::toggled, this, [this, set](bool on) {
            if (!m_loading)
                (m_prefs.*set)(on);
        });
    };
    bind(m_autoInsert, &Preferences::setAutoInsert);
    bind(m_eject, &Preferences::setEject);
    bind(m_label, &Preferences::setCorrectLabel);
    bind(m_window, &Preferences::setSavePos);
    bind(m_expand, &Preferences::setAutoExpand);
    bind(m_grid, &Preferences::setGrids);
    bind(m_discEdit, &Preferences::setDiscEditDblClick);
    bind(m_unlimited, &Preferences::setUnlimited);
    bind(m_empty, &Preferences::setEmptyDirs);
    bind(m_emptyFiles, &Preferences::setEmptyFiles);
    bind(m_hidden, &Preferences::setHiddenFiles);
    connect(m_action, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_loading)
            m_prefs.setAction(index);
    });
    connect(m_maxSearch, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_loading)
            m_prefs.setMaxResults(value);
    });
    // The number counts only while the search is limited.
    connect(m_unlimited, &QCheckBox::toggled, m_maxSearch, [this](bool on) { m_maxSearch->setEnabled(!on); });
    connect(add, &QPushButton::clicked, this, &TOptionsForm::AddButtonClick);
    connect(remove, &QPushButton::clicked, this, &TOptionsForm::RemoveButtonClick);
    connect(ok, &QPushButton::clicked, this, &TOptionsForm::okClicked);
    connect(cancel, &QPushButton::clicked, this, &TOptionsForm::cancelClicked);
    // Whatever changes the preferences (loading them, another window) shows here.
    connect(&p, &Preferences::changed, this, &TOptionsForm::LoadControls);

    new MainWindowLock(this, mainWindow);
    LoadControls();
}

void TOptionsForm::LoadControls()
{
    m_loading = true;
    for (int i = 0; i < Preferences::FilterCount; ++i)
        m_filters->item(i)->setCheckState(m_prefs.filter(i) ? Qt::Checked : Qt::Unchecked);
    m_autoInsert->setChecked(m_prefs.autoInsert());
    m_eject->setChecked(m_prefs.eject());
    m_label->setChecked(m_prefs.correctLabel());
    // A stored action outside the four chooses none.
    m_action->setCurrentIndex(m_prefs.action() >= 0 && m_prefs.action() < m_action->count() ? m_prefs.action() : -1);
    m_window->setChecked(m_prefs.savePos());
    m_expand->setChecked(m_prefs.autoExpand());
    m_grid->setChecked(m_prefs.grids());
    m_discEdit->setChecked(m_prefs.discEditDblClick());
    m_unlimited->setChecked(m_prefs.unlimited());
    m_maxSearch->setValue(m_prefs.maxResults());
    m_maxSearch->setEnabled(!m_prefs.unlimited());
    if (m_exclusions->count() != m_prefs.exclusions().size() || [this] {
            for (int i = 0; i < m_exclusions->count(); ++i)
                if (m_exclusions->item(i)->text() != m_prefs.exclusions().at(i))
                    return true;
            return false;
        }()) {
        m_exclusions->clear();
        m_exclusions->addItems(m_prefs.exclusions());
    }
    m_empty->setChecked(m_prefs.emptyDirs());
    m_emptyFiles->setChecked(m_prefs.emptyFiles());
    m_hidden->setChecked(m_prefs.hiddenFiles());
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

void TOptionsForm::reject()
{
    Q_EMIT cancelClicked();
}

void TOptionsForm::AddButtonClick()
{
    QString mask;
    if (!AppDialogs::inputBox(this, u"New Exclusion..."_s, u"File Mask:"_s, mask))
        return;
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
