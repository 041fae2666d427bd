#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TCDBurner;

// What writes the staged compilation: the recorder (or a disc image file), the volume label,
// then xorriso's progress and the outcome. The burn runs on the burner's worker thread; the
// window stays free, and Cancel stops the burn.
class TBurnForm : public QDialog
{
    Q_OBJECT
public:
    TBurnForm(TCDBurner &burner, QWidget *mainWindow);

    QComboBox *recorderBox() const { return m_recorders; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *burnButton() const { return m_burn; }

    // Shows the dialog for what is staged now.
    void start();

public Q_SLOTS:
    void BurnButtonClick();
    void CancelButtonClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void burnDone(int result);
    void setBurning(bool burning);

    TCDBurner &m_burner;
    QComboBox *m_recorders;
    QLineEdit *m_label;
    QLabel *m_size;
    QProgressBar *m_progress;
    QLabel *m_status;
    QPushButton *m_burn;
    QPushButton *m_cancel;
    QString m_target;
};
