#include "gui/TBusyForm.h"
#include "MainWindowLock.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TBusyForm::TBusyForm(QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_mainWindow(mainWindow)
{
    new MainWindowLock(this, mainWindow);
    setObjectName(QStringLiteral("BusyForm"));
    setFixedSize(320, 90);
    auto *frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    auto *layout = new QVBoxLayout(frame);
    m_label = new QLabel(frame);
    m_label->setObjectName(QStringLiteral("BusyLabel"));
    m_label->setAlignment(Qt::AlignCenter);
    QFont f = m_label->font();
    f.setBold(true);
    m_label->setFont(f);
    m_bar = new QProgressBar(frame);
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_bar->setTextVisible(false);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
}

void TBusyForm::start(const QString &caption, int maximum)
{
    m_label->setText(caption);
    m_bar->setRange(0, std::max(1, maximum));
    m_bar->setValue(0);
    if (m_mainWindow) {
        const QRect r = m_mainWindow->frameGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    m_label->repaint();
    processEvents();
}

void TBusyForm::setCaption(const QString &caption)
{
    m_label->setText(caption);
}

void TBusyForm::setPosition(int value)
{
    m_bar->setValue(value);
    // Steps may come thousands a second (the discs a duplicates search compares): the window is
    // painted and Stop heard every 20 ms, which no one can tell from every step, where painting
    // each one took most of the work's time.
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < 20)
        return;
    m_sinceEvents.start();
    processEvents();
}

void TBusyForm::processEvents()
{
    // With a Stop button the click must come through now, a gauge started again midway (the
    // duplicates' second pass) included: under X11, input held back here reached the button only
    // when the work was done. The main window is disabled meanwhile anyway.
    QApplication::processEvents(m_onStop ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

void TBusyForm::step()
{
    setPosition(m_bar->value() + 1);
}

void TBusyForm::finish()
{
    m_bar->setValue(m_bar->maximum());
    hide();
}

int TBusyForm::position() const
{
    return m_bar->value();
}

int TBusyForm::maximum() const
{
    return m_bar->maximum();
}

void TBusyForm::setStopButton(std::function<void()> onStop)
{
    m_onStop = std::move(onStop);
    if (!m_stop) {
        m_stop = new QPushButton(QStringLiteral("Stop"), this);
        m_stop->setObjectName(QStringLiteral("StopButton"));
        m_bar->parentWidget()->layout()->addWidget(m_stop);
        m_bar->parentWidget()->layout()->setAlignment(m_stop, Qt::AlignHCenter);
        connect(m_stop, &QPushButton::clicked, this, [this] {
            if (m_onStop)
                m_onStop();
        });
    }
    m_stop->setVisible(bool(m_onStop));
    setFixedSize(320, m_onStop ? 90 + m_stop->sizeHint().height() + 6 : 90);
}
