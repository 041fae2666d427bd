#pragma once

#include <QIcon>
#include <QWidget>

class ContentsIcons;
class Navigator;
class QLabel;
class QLineEdit;
class QToolButton;
struct TCD;
class TreeNode;

// The collapsible strip under the group tree that describes the selected thing. It follows
// the tree's selection; the contents list describes its own selection through describe().
// Moving to another folder leaves it as it is.
class ObjectInfoPanel : public QWidget
{
    Q_OBJECT
public:
    // The toggle's looks: collapsed or expanded, each plain or under the mouse.
    enum class Look { Up, UpOver, Down, DownOver };

    ObjectInfoPanel(Navigator &navigator, ContentsIcons *icons, QWidget *parent = nullptr);

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool on);

    // Icon, name and the five lines (type, size, date, two extra).
    void describe(const QIcon &icon, const QString &name, const QString &type, const QString &size, const QString &date,
                  const QString &extra, const QString &extra1);
    // A disc's description.
    void FillCDInfo(const TCD &cd);
    // A disc, or a group or the root with its totals.
    void describeNode(const TreeNode *node);

    QString nameText() const;
    QString lineText(int i) const; // 0 type .. 4 second extra
    Look toggleLook() const { return m_look; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void toggleRequested();

private:
    void setLook(bool over);

    ContentsIcons *m_icons;
    QToolButton *m_toggle;
    QLabel *m_icon;
    QLineEdit *m_name;
    QLabel *m_lines[5];
    QWidget *m_body;
    bool m_expanded = false;
    Look m_look = Look::Up;
};
