#pragma once

#include <QDialog>
#include <QStringList>

class QTimer;

// The about box: the program's picture with its credit lines rolling up over it, and OK.
class TAboutForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutForm(QWidget *parent = nullptr);

    // One tick of the roll (the timer's).
    void step();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintCredits(QWidget *on);

    QWidget *m_picture;
    QTimer *m_timer;
    QStringList m_credits;
    int m_offset = 0;
};
