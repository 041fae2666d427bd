#include "TCDForm.h"

#include "gui/MainWindowLock.h"

#include "acquire/DiscAdder.h"
#include "core/FormatSize.h"
#include "gui/AppDialogs.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "store/GroupTree.h"
#include "store/TCD.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

using namespace Qt::Literals::StringLiterals;

TCDForm::TCDForm(Workspace &workspace, Navigator &navigator, QWidget *mainWindow)
    : QDialog(mainWindow), m_workspace(workspace), m_navigator(navigator), m_mainWindow(mainWindow)
{
    new MainWindowLock(this, mainWindow);
    setObjectName(u"CDForm"_s);
    setWindowTitle(u"Edit Disc Entry"_s);

    const auto edit = [this](const QString &name, bool readOnly) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        // Tab goes through the fields the user may change.
        if (readOnly)
            e->setFocusPolicy(Qt::ClickFocus);
        return e;
    };
    m_fields = DiscDetailsFields(this);
    m_labelEdit = edit(u"LabelEdit"_s, true);
    m_serialEdit = edit(u"SerialEdit"_s, true);
    m_spaceEdit = edit(u"SpaceEdit"_s, true);
    m_fsEdit = edit(u"FSEdit"_s, true);
    m_dateEdit = edit(u"DateEdit"_s, true);
    m_borrowLabel = new QLabel(this);
    m_borrowLabel->setObjectName(u"BorrowLabel"_s);
    QFont bold = m_borrowLabel->font();
    bold.setBold(true);
    m_borrowLabel->setFont(bold);

    m_changeButton = new QPushButton(u"Change"_s, this);
    m_changeButton->setObjectName(u"ChangeButton"_s);
    m_changeButton->setDefault(true);
    m_cancelButton = new QPushButton(u"Cancel"_s, this);
    m_cancelButton->setObjectName(u"CancelButton"_s);
    m_cancelButton->setAutoDefault(false);

    auto *fields = new QGridLayout;
    int row = 0;
    const auto add = [&](const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(field);
        fields->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
        fields->addWidget(field, row, 1);
        ++row;
    };
    add(u"Disc Title:"_s, m_fields.title);
    add(u"Disc Genre:"_s, m_fields.genre);
    add(u"Disc Number:"_s, m_fields.number);
    add(u"Disc Description:"_s, m_fields.description);
    add(u"Disc Label:"_s, m_labelEdit);
    add(u"Serial Number:"_s, m_serialEdit);
    add(u"Occupied Space:"_s, m_spaceEdit);
    add(u"File System:"_s, m_fsEdit);
    add(u"Entry Date:"_s, m_dateEdit);
    fields->addWidget(m_borrowLabel, row, 0, 1, 2);
    fields->setColumnStretch(1, 1);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_changeButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
    resize(460, 400);

    connect(m_changeButton, &QPushButton::clicked, this, &TCDForm::ChangeButtonClick);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // The disc leaves the tree (the catalogue read again): there is nothing left to change.
    GroupTree &tree = workspace.tree();
    const auto forget = [this] {
        m_disc = nullptr;
        reject();
    };
    connect(&tree, &GroupTree::aboutToReset, this, forget);
    connect(&tree, &GroupTree::aboutToRemove, this, [this, forget](TreeNode *parent, int first, int last) {
        for (int r = first; m_disc && r <= last; ++r) {
            const TreeNode *gone = parent->child(r);
            if (m_disc == gone || m_disc->isInside(gone))
                forget();
        }
    });
}

void TCDForm::FormShow(TreeNode *disc)
{
    if (!disc || !disc->isDisc() || !disc->cd())
        return;
    m_disc = disc;
    const TCD &cd = *disc->cd();
    m_labelEdit->setText(cd.VolumeLabel);
    m_serialEdit->setText(cd.Serial);
    m_spaceEdit->setText(FormatSize(cd.Size));
    m_fsEdit->setText(cd.FileSystem);
    m_dateEdit->setText(cd.Date);
    m_fields.setDetails(DiscAdder::detailsOf(cd));
    m_borrowLabel->setText(cd.BorrowedTo.isEmpty() ? u"Disc is present."_s
                                                   : u"Disc is borrowed to "_s + cd.BorrowedTo + u'!');
    m_changeButton->setEnabled(!m_workspace.isReadOnly());
    show();
    raise();
    activateWindow();
    m_fields.title->setFocus();
}

void TCDForm::ChangeButtonClick()
{
    if (!m_disc || m_workspace.isReadOnly())
        return;
    const DiscDetails d = m_fields.details();
    if (const QString problem = DiscAdder::changeDisc(m_workspace.tree(), m_disc, d); !problem.isNull()) {
        AppDialogs::message(this, AppDialogs::Error, problem);
        if (!DiscAdder::CheckTitle(d.title).isNull())
            m_fields.title->setFocus();
        return;
    }
    TreeNode *disc = m_disc;
    accept();
    m_navigator.TreeChange(disc);
}
