#include "ObjectInfoPanel.h"
#include "gui/PlainTip.h"

#include "ContentsIcons.h"
#include "listing/Navigator.h"
#include "store/GroupTree.h"

#include "core/FormatSize.h"
#include "listing/ContentsListing.h"
#include "store/TCD.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{

// The toggle's picture: a triangle pointing the way the panel would move, on a highlight while
// the mouse is over it.
QIcon toggleIcon(bool expanded, bool over, const QPalette &palette)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (over) {
        p.setPen(palette.color(QPalette::Highlight));
        p.setBrush(palette.color(QPalette::Highlight).lighter(160));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(palette.color(over ? QPalette::Highlight : QPalette::ButtonText));
    const QPolygonF down{QPointF(4, 6), QPointF(12, 6), QPointF(8, 11)};
    const QPolygonF up{QPointF(4, 10), QPointF(12, 10), QPointF(8, 5)};
    p.drawPolygon(expanded ? down : up);
    return QIcon(pixmap);
}

} // namespace

ObjectInfoPanel::ObjectInfoPanel(Navigator &navigator, ContentsIcons *icons, QWidget *parent)
    : QWidget(parent), m_icons(icons)
{
    setObjectName(QStringLiteral("InfoPanel"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(2);

    auto *strip = new QWidget(this);
    strip->setFixedHeight(22);
    auto *stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(4, 0, 0, 0);
    auto *title = new QLabel(QStringLiteral("Object Info"), strip);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    m_toggle = new QToolButton(strip);
    m_toggle->setObjectName(QStringLiteral("ToggleInfo"));
    m_toggle->setAutoRaise(true);
    // F10 toggles the panel from the keyboard; as a Tab stop between the tree and the list the
    // button only swallowed the next key.
    m_toggle->setFocusPolicy(Qt::NoFocus);
    m_toggle->setAccessibleName(QStringLiteral("Toggle Object Info"));
    m_toggle->installEventFilter(this);
    stripLayout->addWidget(title);
    stripLayout->addStretch();
    stripLayout->addWidget(m_toggle);
    outer->addWidget(strip);
    connect(m_toggle, &QToolButton::clicked, this, &ObjectInfoPanel::toggleRequested);

    m_body = new QWidget(this);
    auto *grid = new QGridLayout(m_body);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(1);
    m_icon = new QLabel(m_body);
    m_icon->setObjectName(QStringLiteral("InfoIcon"));
    m_icon->setFixedSize(32, 32);
    m_name = new QLineEdit(m_body);
    m_name->setObjectName(QStringLiteral("NameEdit"));
    m_name->setReadOnly(true);
    m_name->setFrame(false);
    m_name->setFocusPolicy(Qt::ClickFocus); // Tab goes from the tree straight to the list
    m_name->setStyleSheet(QStringLiteral("background: transparent; font-weight: bold;"));
    grid->addWidget(m_icon, 0, 0, 2, 1);
    grid->addWidget(m_name, 0, 1);
    static const char *const names[] = {"TypeLabel", "SizeLabel", "DateLabel", "ExtraLabel", "ExtraLabel1"};
    for (int i = 0; i < 5; ++i) {
        m_lines[i] = new QLabel(m_body);
        m_lines[i]->setObjectName(QString::fromLatin1(names[i]));
        m_lines[i]->setTextFormat(Qt::PlainText); // a disc's genre, a path: text, never markup
        m_lines[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A long line (a checksum, a description) is cut at the panel's edge, its whole text in
        // the tip: it must not widen the panel, and the tree with it, whenever it is shown.
        m_lines[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        grid->addWidget(m_lines[i], i + 1, i == 0 ? 1 : 0, 1, i == 0 ? 1 : 2);
    }
    outer->addWidget(m_body);
    setExpanded(false);
    connect(&navigator, &Navigator::nodeSelected, this, &ObjectInfoPanel::describeNode);
}

void ObjectInfoPanel::setExpanded(bool on)
{
    m_expanded = on;
    m_body->setVisible(on);
    setFixedHeight(on ? 138 : 26);
    m_toggle->setToolTip(on ? QStringLiteral("Hide Object Info") : QStringLiteral("Show Object Info"));
    setLook(false);
}

void ObjectInfoPanel::setLook(bool over)
{
    m_look = m_expanded ? (over ? Look::DownOver : Look::Down) : (over ? Look::UpOver : Look::Up);
    m_toggle->setIcon(toggleIcon(m_expanded, over, palette()));
}

bool ObjectInfoPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving the toggle for the rest of the panel, the list or the tree takes the highlight off.
    if (watched == m_toggle && (event->type() == QEvent::Enter || event->type() == QEvent::Leave))
        setLook(event->type() == QEvent::Enter);
    return QWidget::eventFilter(watched, event);
}

void ObjectInfoPanel::describe(const QIcon &icon, const QString &name, const QString &type, const QString &size,
                               const QString &date, const QString &extra, const QString &extra1)
{
    m_icon->setPixmap(icon.pixmap(32, 32));
    m_name->setText(name);
    m_name->setCursorPosition(0);
    const QString texts[] = {type, size, date, extra, extra1};
    for (int i = 0; i < 5; ++i) {
        m_lines[i]->setText(texts[i]);
        m_lines[i]->setToolTip(PlainTip(texts[i]));
    }
}

void ObjectInfoPanel::FillCDInfo(const TCD &cd)
{
    // The list's kind of disc, but a hard disk's volume is only a removable medium here.
    QString type = ContentsListing::discKind(cd.FileSystem);
    if (type == QLatin1String("Hard Disk"))
        type = QStringLiteral("Removable Media");
    describe(m_icons->nodeIcon(KindDisc), cd.Title, type, QStringLiteral("Size: ") + FormatSize(cd.Size),
             QStringLiteral("Serial: ") + cd.Serial, QStringLiteral("Disc number: %1").arg(cd.Number),
             cd.Genre.isEmpty() ? QStringLiteral("Entry date: ") + cd.Date : QStringLiteral("Genre: ") + cd.Genre);
}

void ObjectInfoPanel::describeNode(const TreeNode *node)
{
    if (node->isDisc() && node->cd()) {
        FillCDInfo(*node->cd());
        return;
    }
    const GroupTotals t = DoGroup(node);
    describe(m_icons->nodeIcon(node->kind()), node->text(),
             node->kind() == KindRoot ? QStringLiteral("Collection") : QStringLiteral("Group"),
             QStringLiteral("Size: ") + FormatSize(t.size), QStringLiteral("Contains: "),
             QStringLiteral("Discs: %1").arg(t.discs), QStringLiteral("Sub-Groups: %1").arg(t.groups));
}

QString ObjectInfoPanel::nameText() const
{
    return m_name->text();
}

QString ObjectInfoPanel::lineText(int i) const
{
    return i >= 0 && i < 5 ? m_lines[i]->text() : QString();
}
