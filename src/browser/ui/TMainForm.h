#pragma once

#include <QMainWindow>
#include <memory>

class Catalogue;
class GroupTreeModel;
class QTreeView;

// The main window. For now: the group tree of the catalogue, read-only.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(const QString &dataFolder, QWidget *parent = nullptr);
    ~TMainForm() override;

    // Locks and loads the catalogue; messages and errors go to message boxes.
    bool initialise();
    Catalogue *catalogue() const { return m_catalogue.get(); }

private:
    std::unique_ptr<Catalogue> m_catalogue;
    GroupTreeModel *m_treeModel = nullptr;
    QTreeView *m_tree = nullptr;
};
