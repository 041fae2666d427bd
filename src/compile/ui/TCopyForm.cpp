#include "TCopyForm.h"

#include "gui/MainWindowLock.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

TCopyForm::TCopyForm(QWidget *mainWindow) : QDialog(mainWindow)
{
    setObjectName(u"CopyForm"_s);
    setWindowTitle(u"Copy to HDD"_s);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    new MainWindowLock(this, mainWindow);

    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(u"Select destination directory :"_s, this);
    label->setObjectName(u"DestinationLabel"_s);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    layout->addWidget(label);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(u"/"_s);
    m_model->setReadOnly(true);
    m_tree = new QTreeView(this);
    m_tree->setObjectName(u"ShellTree"_s);
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_tree->hideColumn(c);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setMinimumSize(300, 320);
    layout->addWidget(m_tree, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(u"OK"_s, this);
    m_ok->setObjectName(u"OkButton"_s);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(u"Cancel"_s, this);
    m_cancel->setObjectName(u"CancelButton"_s);
    for (QPushButton *b : {m_ok, m_cancel}) {
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    // A fixed border: the hint alone is only honoured on Windows.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &TCopyForm::ShellTreeChange);
    connect(m_model, &QFileSystemModel::directoryLoaded, this, &TCopyForm::showPending);
    // Once the user moves around the tree, it stays where they put it.
    const auto userMoved = [this] {
        if (!m_showing)
            m_pending.clear();
    };
    connect(m_tree, &QTreeView::expanded, this, userMoved);
    connect(m_tree, &QTreeView::collapsed, this, userMoved);
    connect(m_tree->verticalScrollBar(), &QScrollBar::actionTriggered, this, userMoved);
    connect(m_ok, &QPushButton::clicked, this, &TCopyForm::OkButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &TCopyForm::CancelButtonClick);
    ShellTreeChange();
}

QString TCopyForm::selectedFolder() const
{
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid())
        return QString();
    const QString path = m_model->filePath(current);
    return QFileInfo(path).isDir() ? path : QString();
}

void TCopyForm::selectFolder(const QString &path)
{
    const QModelIndex index = m_model->index(QFileInfo(path).absoluteFilePath());
    if (!index.isValid())
        return;
    m_tree->setCurrentIndex(index);
    ShellTreeChange();
    m_pending = m_model->filePath(index);
    showPending();
    // The folders are read in the background and the tree is laid out later: the folder is
    // brought into view again once the event loop has run.
    QTimer::singleShot(0, this, &TCopyForm::showPending);
}

void TCopyForm::showPending()
{
    const QModelIndex current = m_tree->currentIndex();
    if (m_pending.isEmpty() || !current.isValid() || m_model->filePath(current) != m_pending)
        return;
    m_showing = true;
    for (QModelIndex p = current.parent(); p.isValid(); p = p.parent())
        m_tree->expand(p);
    m_tree->scrollTo(current, QAbstractItemView::PositionAtCenter);
    m_showing = false;
}

void TCopyForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The user's home stands where the desktop stands on other systems: the first place offered.
    if (selectedFolder().isEmpty())
        selectFolder(QDir::homePath());
    else
        QTimer::singleShot(0, this, &TCopyForm::showPending);
    if (auto *main = parentWidget())
        move(main->geometry().center() - rect().center());
    // The keys go to the folder tree at once, as in the program's other dialogs.
    raise();
    activateWindow();
    m_tree->setFocus();
}

void TCopyForm::ShellTreeChange()
{
    m_ok->setEnabled(!selectedFolder().isEmpty());
}

void TCopyForm::OkButtonClick()
{
    const QString destination = selectedFolder();
    if (destination.isEmpty())
        return;
    hide();
    Q_EMIT copyRequested(destination);
}

void TCopyForm::CancelButtonClick()
{
    hide();
}
