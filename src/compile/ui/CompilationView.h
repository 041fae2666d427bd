#pragma once

#include <QListView>
#include <functional>

// The compilation's list: several rows may be selected, none edited; it takes drops that its
// owner accepts (asked afresh on every move of the drag) and hands Delete to its owner.
class CompilationView : public QListView
{
    Q_OBJECT
public:
    explicit CompilationView(QWidget *parent = nullptr);

    // Given the drag's source widget: whether a drop is welcome now.
    void setDropRule(std::function<bool(QObject *source)> rule) { m_rule = std::move(rule); }
    // Whether a drag from source would be taken now.
    bool accepts(QObject *source) const { return m_rule && m_rule(source); }
    // Selected rows in ascending order.
    QList<int> selectedRows() const;

Q_SIGNALS:
    void dropped();
    void deletePressed();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::function<bool(QObject *)> m_rule;
};
