#include "TAboutForm.h"

#include "core/Version.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace
{
constexpr int LineHeight = 20;
constexpr int TickMs = 40;
} // namespace

TAboutForm::TAboutForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"AboutForm"_s);
    setWindowTitle(u"About"_s);
    setFixedSize(380, 300);

    m_credits = {u"Quillory! "_s + QuilloryVersion(),
                 u"A catalogue of removable discs"_s,
                 QString(),
                 u"Tarnwick"_s,
                 QString(),
                 u"Written in C++ with Qt "_s + QString::fromLatin1(qVersion()),
                 u"Cabinets: libgcab and libmspack"_s,
                 u"Volumes: libblkid and UDisks2"_s,
                 u"Icons and skins drawn for Quillory!"_s,
                 QString(),
                 u"Thank you for cataloguing with us."_s};

    auto *layout = new QVBoxLayout(this);
    m_picture = new QWidget(this);
    m_picture->setObjectName(u"CreditsPicture"_s);
    m_picture->installEventFilter(this);
    layout->addWidget(m_picture, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(u"OKButton"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(TickMs);
    connect(m_timer, &QTimer::timeout, this, &TAboutForm::step);
}

void TAboutForm::step()
{
    // Lines enter at the bottom edge and leave at the top; then the roll starts over.
    const int travel = m_picture->height() + LineHeight * static_cast<int>(m_credits.size());
    m_offset = (m_offset + 1) % std::max(1, travel);
    m_picture->update();
}

void TAboutForm::showEvent(QShowEvent *event)
{
    m_offset = 0;
    m_timer->start();
    QDialog::showEvent(event);
}

void TAboutForm::hideEvent(QHideEvent *event)
{
    m_timer->stop();
    QDialog::hideEvent(event);
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_picture && event->type() == QEvent::Paint) {
        paintCredits(m_picture);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::paintCredits(QWidget *on)
{
    QPainter p(on);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r = on->rect();
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0.0, QColor(0x1d, 0x35, 0x5a));
    sky.setColorAt(1.0, QColor(0x4a, 0x62, 0x88));
    p.fillRect(r, sky);
    // The program's disc, large and faint, behind the text.
    const int side = std::min(r.width(), r.height()) - 20;
    p.setOpacity(0.35);
    QIcon(u":/icons/quillory.svg"_s).paint(&p, QRect(r.center().x() - side / 2, r.center().y() - side / 2, side, side));
    p.setOpacity(1.0);

    QFont f = font();
    f.setPointSize(10);
    p.setFont(f);
    int y = r.height() - m_offset;
    for (int i = 0; i < m_credits.size(); ++i, y += LineHeight) {
        QFont lineFont = f;
        lineFont.setBold(i == 0);
        lineFont.setPointSize(i == 0 ? 13 : 10);
        p.setFont(lineFont);
        p.setPen(i == 0 ? QColor(0xe8, 0xb5, 0x3a) : QColor(0xf4, 0xf7, 0xfb));
        p.drawText(QRect(0, y, r.width(), LineHeight), Qt::AlignCenter, m_credits.at(i));
    }
    p.setPen(QColor(0x6b, 0x85, 0xad));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}
