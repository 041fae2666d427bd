#include "TSplashForm.h"
#include "core/Version.h"

#include "browser/ui/TMainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

TSplashForm::TSplashForm(TMainForm *mainForm)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_mainForm(mainForm)
{
    setObjectName(QStringLiteral("SplashForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(300, 220);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(150, 110));

    m_timer.setSingleShot(true);
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &QWidget::close);

    // The full initialisation, then the splash is painted at once and the timer starts. The
    // other windows are made when first needed.
    mainForm->FormCreate(nullptr);
    show();
    repaint();
    m_timer.start();
}

void TSplashForm::showEvent(QShowEvent *event)
{
    if (m_mainForm)
        m_mainForm->setEnabled(false);
    QWidget::showEvent(event);
}

void TSplashForm::closeEvent(QCloseEvent *event)
{
    m_timer.stop();
    if (m_mainForm)
        m_mainForm->setEnabled(true);
    Q_EMIT closed();
    QWidget::closeEvent(event);
}

void TSplashForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(0x2b, 0x4c, 0x7e));
    bg.setColorAt(1, QColor(0x12, 0x22, 0x3a));
    p.fillRect(rect(), bg);

    // A disc with its shine and hole.
    const QPointF c(80, 110);
    QRadialGradient disc(c, 58);
    disc.setColorAt(0.0, QColor(0xf4, 0xf7, 0xfb));
    disc.setColorAt(0.55, QColor(0xb9, 0xc9, 0xe0));
    disc.setColorAt(0.8, QColor(0xd8, 0xc8, 0xf0));
    disc.setColorAt(1.0, QColor(0x9a, 0xb0, 0xd0));
    p.setPen(QPen(QColor(0x60, 0x78, 0xa0), 1.5));
    p.setBrush(disc);
    p.drawEllipse(c, 56, 56);
    p.setBrush(QColor(0x1d, 0x35, 0x5a));
    p.drawEllipse(c, 10, 10);
    p.setPen(QPen(QColor(255, 255, 255, 120), 6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 40, c.y() - 40, 80, 80), 30 * 16, 60 * 16);

    p.setPen(Qt::white);
    QFont title = font();
    title.setPointSize(20);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(150, 70, 145, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quillory!"));
    QFont sub = font();
    sub.setPointSize(9);
    p.setFont(sub);
    p.setPen(QColor(0xc8, 0xd6, 0xea));
    p.drawText(QRect(150, 108, 145, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Version ") + QuilloryVersion());
    p.drawText(QRect(150, 128, 145, 36), Qt::AlignLeft | Qt::TextWordWrap, QStringLiteral("A catalogue of your discs"));
    p.setPen(QColor(0x6b, 0x85, 0xad));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
