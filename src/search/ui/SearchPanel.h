#pragma once

#include <QDateTime>
#include <QWidget>
#include <memory>

class ActionRegistry;
class Navigator;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class SearchEngine;
struct SearchCriteria;
class TreeNode;
class Workspace;

// The search band under the tool bar, hidden at start, and the commands that show it
// ("Toggle Search", "Search Here"). It runs a search of the tree's selected node on the
// window's thread: the engine reports back every few milliseconds of work, when the count
// label moves on and the window handles its events, so "Stop" is heard promptly.
class SearchPanel : public QWidget
{
    Q_OBJECT
public:
    // The time of day the date pickers carry along with the date the user picks.
    static QTime pickerTime() { return QTime(16, 57, 14); }

    SearchPanel(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *parent = nullptr);
    ~SearchPanel() override;

    QStringList history() const;
    bool isSearching() const { return m_searching; }
    // The bounds as they were computed at the last change of their fields.
    qint64 MinSize() const { return m_minSize; }
    qint64 MaxSize() const { return m_maxSize; }

    void DoSearchButtonClick();
    void StopButtonClick();
    void Search1Click(bool checked);
    void SearchHere2Click();

private:
    void setCaption(TreeNode *node);
    void StartSizeChange();
    void EndSizeBoxChange();
    SearchCriteria criteria() const;
    QWidget *treeView() const;
    void showBand(bool show);

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QLabel *m_label;
    QComboBox *m_edit;
    QComboBox *m_type;
    QCheckBox *m_olderBox;
    QDateEdit *m_startDate;
    QCheckBox *m_youngerBox;
    QDateEdit *m_endDate;
    QCheckBox *m_largerBox;
    QLineEdit *m_startSize;
    QComboBox *m_startUnit;
    QCheckBox *m_smallerBox;
    QLineEdit *m_endSize;
    QComboBox *m_endUnit;
    QPushButton *m_searchButton;
    QPushButton *m_stopButton;

    bool m_searching = false;
    bool m_stopSearch = false;
    SearchEngine *m_engine = nullptr;
    qint64 m_minSize = 0;
    qint64 m_maxSize = 0;
};
