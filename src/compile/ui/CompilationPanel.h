#pragma once

#include <QWidget>

class CompilationList;
class CompilationModel;
class CompilationView;
class QLabel;
class QToolButton;

// The compilation on the right of the main window, 200 pixels wide and hidden at start: the
// bold caption, the total size (red once it no longer fits on a CD), the close button, the
// three buttons and the list. The commands behind the buttons belong to CompileCommands.
class CompilationPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PanelWidth = 200;

    explicit CompilationPanel(CompilationList &list, QWidget *parent = nullptr);

    CompilationView *view() const { return m_view; }
    CompilationModel *model() const { return m_model; }
    QLabel *sizeLabel() const { return m_sizeLabel; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void closeClicked();
    void clearClicked();
    void deleteClicked();
    void burnClicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refreshSize();

    CompilationList &m_list;
    QLabel *m_sizeLabel;
    CompilationView *m_view;
    CompilationModel *m_model;
};
