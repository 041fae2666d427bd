#include "SearchPanel.h"

#include "browser/Navigator.h"
#include "session/Workspace.h"
#include "store/TreeNode.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

using namespace Qt::Literals::StringLiterals;

SearchPanel::SearchPanel(Workspace &workspace, Navigator &navigator, QWidget *parent) : QWidget(parent)
{
    setObjectName(u"SearchPanel"_s);
    auto *layout = new QHBoxLayout(this);
    m_label = new QLabel(u"Search mask:"_s, this);
    m_label->setObjectName(u"SearchLabel"_s);
    m_edit = new QComboBox(this);
    m_edit->setObjectName(u"SearchEdit"_s);
    m_edit->setEditable(true);
    m_edit->setInsertPolicy(QComboBox::NoInsert);
    layout->addWidget(m_label);
    layout->addWidget(m_edit, 1);
    hide();

    connect(&navigator, &Navigator::nodeSelected, this, &SearchPanel::setCaption);
    connect(&workspace, &Workspace::opened, this, [this, &workspace] {
        m_edit->clear();
        m_edit->addItems(workspace.searchHistory());
    });
    connect(&workspace, &Workspace::aboutToClose, this, [this, &workspace] { workspace.setSearchHistory(history()); });
}

QStringList SearchPanel::history() const
{
    QStringList out;
    for (int i = 0; i < m_edit->count(); ++i)
        out.append(m_edit->itemText(i));
    return out;
}

void SearchPanel::setCaption(TreeNode *node)
{
    m_label->setText((node->isDisc() ? u"Search mask (look in disc "_s : u"Search mask (look in group "_s) + u'"' +
                     node->text() + u"\"):"_s);
}
