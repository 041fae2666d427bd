#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class TMainForm;

// The start-up window: borderless, on top, centred. Creating it runs the main window's full
// initialisation; it disables the main window while shown and closes itself after half a second.
class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    explicit TSplashForm(TMainForm *mainForm);

    QTimer *timer() { return &m_timer; }

Q_SIGNALS:
    void closed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<TMainForm> m_mainForm;
    QTimer m_timer;
};
