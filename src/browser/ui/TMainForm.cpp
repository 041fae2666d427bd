#include "TMainForm.h"

#include "GroupTreeModel.h"
#include "store/Catalogue.h"
#include "store/QuilloryError.h"

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>

TMainForm::TMainForm(const QString &dataFolder, QWidget *parent)
    : QMainWindow(parent), m_catalogue(std::make_unique<Catalogue>(dataFolder))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quillory! 1.5"));
    setMinimumSize(640, 480);
    resize(640, 480);

    m_treeModel = new GroupTreeModel(&m_catalogue->tree(), this);
    QStyle *st = style();
    m_treeModel->setKindIcon(KindRoot, st->standardIcon(QStyle::SP_DriveNetIcon));
    m_treeModel->setKindIcon(KindGroup, st->standardIcon(QStyle::SP_DirIcon));
    m_treeModel->setKindIcon(KindDisc, st->standardIcon(QStyle::SP_DriveCDIcon));
    m_treeModel->setKindIcon(KindLent, st->standardIcon(QStyle::SP_DriveFDIcon));

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("Tree"));
    m_tree->setModel(m_treeModel);
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setCentralWidget(m_tree);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
}

TMainForm::~TMainForm() = default;

bool TMainForm::initialise()
{
    try {
        m_catalogue->lock();
    } catch (const QuilloryError &e) {
        QMessageBox::critical(this, QStringLiteral("Error"), e.message());
        return false;
    }
    try {
        m_catalogue->load([this](const QString &msg) {
            QMessageBox::information(this, QStringLiteral("Information"), msg);
        });
    } catch (const QuilloryError &e) {
        QMessageBox::critical(this, QStringLiteral("Error"), e.message());
    }
    if (m_catalogue->tree().root())
        m_tree->expand(m_treeModel->indexOf(m_catalogue->tree().root()));
    m_tree->setCurrentIndex(m_treeModel->indexOf(m_catalogue->tree().root()));
    return true;
}
