#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// The small window shown during a scan or an export: a caption and a gauge. While it is up
// the main window is disabled; hiding it enables the main window again.
class TBusyForm : public QWidget
{
    Q_OBJECT
public:
    explicit TBusyForm(QWidget *mainWindow);

    // Shows the window centred on the main window with the gauge at 0 of maximum.
    void start(const QString &caption, int maximum);
    // A new caption while the work goes on (it may take two lines).
    void setCaption(const QString &caption);
    void setPosition(int value);
    void step();
    void finish();
    int position() const;
    int maximum() const;
    // A "Stop" button under the gauge that calls onStop (the work asks for events often enough
    // to hear it); an empty function takes the button away.
    void setStopButton(std::function<void()> onStop);

private:
    void processEvents();

    QPointer<QWidget> m_mainWindow;
    QLabel *m_label;
    QProgressBar *m_bar;
    QPushButton *m_stop = nullptr;
    std::function<void()> m_onStop;
    QElapsedTimer m_sinceEvents;
};
