#include "TPropertiesForm.h"
#include "gui/PlainTip.h"

#include "listing/ContentsEntry.h"
#include "gui/MainWindowLock.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace
{

// The window with all five extra lines; each missing one takes LineHeight off both.
constexpr int FullHeight = 274;
constexpr int FullFrameHeight = 150;
constexpr int LineHeight = 16;
constexpr int Width = 330;

} // namespace

TPropertiesForm::TPropertiesForm(QWidget *mainWindow) : QDialog(mainWindow)
{
    setObjectName(QStringLiteral("PropertiesForm"));
    setWindowTitle(QStringLiteral("Object Properties"));
    // Laid out by hand: the height rule fixes the geometry to the pixel.
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("InfoIcon"));
    m_icon->setGeometry(12, 12, 32, 32);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("NameEdit"));
    m_name->setReadOnly(true);
    m_name->setGeometry(56, 12, Width - 68, 22);
    m_type = new QLabel(this);
    m_type->setObjectName(QStringLiteral("TypeLabel"));
    m_type->setGeometry(56, 38, Width - 68, 16);

    m_frame = new QGroupBox(QStringLiteral(" Object Details "), this);
    m_frame->setObjectName(QStringLiteral("DetailsFrame"));
    const auto line = [this](const char *name, int index) {
        auto *l = new QLabel(m_frame);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText); // a folder or a tag may hold "<": text, never markup
        l->setGeometry(10, 22 + index * LineHeight, Width - 44, LineHeight);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    m_path = line("PathLabel", 0);
    m_size = line("SizeLabel", 1);
    m_date = line("DateLabel", 2);
    for (int i = 0; i < ExtraLines; ++i)
        m_extra[i] = line(QStringLiteral("ExtraLabel%1").arg(i + 1).toLatin1().constData(), 3 + i);
    m_checksum = line("ChecksumLabel", 3 + ExtraLines);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    new MainWindowLock(this, mainWindow);
}

void TPropertiesForm::ViewProperties(const QIcon &icon, const ContentsEntry &entry)
{
    m_icon->clear();
    m_icon->setPixmap(icon.pixmap(32, 32));
    m_name->setText(entry.caption);
    m_type->setText(entry.column(0));
    // A group or a disc lies in the group that lists it; anything else in a folder of its disc.
    const bool onDisc = entry.kind != ContentsEntry::Group && entry.kind != ContentsEntry::Disc;
    m_path->setText(QStringLiteral("Path: ") + (onDisc ? entry.place.folder() : entry.column(1)));
    m_size->setText(QStringLiteral("Size: ") + entry.column(2));
    m_date->setText(QStringLiteral("Date: ") + entry.column(3));

    // Only the further columns that are "key: value" lines (a duration, a width) are details.
    QStringList extras;
    for (qsizetype i = 4; i < entry.columns.size(); ++i)
        if (entry.columns.at(i).contains(u':'))
            extras.append(entry.columns.at(i));
    const int n = static_cast<int>(std::min<qsizetype>(extras.size(), ExtraLines));
    for (int i = 0; i < ExtraLines; ++i)
        m_extra[i]->setText(i < n ? extras.at(i) : QString());
    // The checksum follows the details, on a line of its own: it takes none of theirs.
    const bool hasChecksum = !entry.checksum.isEmpty();
    m_checksum->setText(hasChecksum ? entry.checksumLine() : QString());
    m_checksum->setVisible(hasChecksum);

    // A checksum cut short is no use to compare: the window widens to show it whole. A long tag
    // is still read cut, as the window always showed it.
    int width = Width;
    if (!entry.checksum.isEmpty())
        width = std::max(width, m_extra[0]->fontMetrics().horizontalAdvance(entry.checksumLine()) + 48);
    m_name->resize(width - 68, m_name->height());
    m_type->resize(width - 68, m_type->height());
    for (QLabel *l : {m_path, m_size, m_date})
        l->resize(width - 44, LineHeight);
    for (QLabel *l : m_extra)
        l->resize(width - 44, LineHeight);
    m_checksum->setGeometry(10, 22 + (3 + n) * LineHeight, width - 44, LineHeight);
    // A line cut at the window's edge (a deep folder, a long tag) is read whole by hovering it.
    for (QLabel *l : findChildren<QLabel *>())
        l->setToolTip(l->fontMetrics().horizontalAdvance(l->text()) > l->width() ? PlainTip(l->text()) : QString());

    const int missing = ExtraLines - n - (hasChecksum ? 1 : 0);
    const int frameHeight = FullFrameHeight - LineHeight * missing;
    m_frame->setGeometry(8, 64, width - 16, frameHeight);
    m_ok->setGeometry((width - 80) / 2, 64 + frameHeight + 12, 80, 26);
    setFixedSize(width, FullHeight - LineHeight * missing);

    if (QWidget *main = parentWidget())
        move(main->geometry().center() - rect().center());
    show();
    // Opened from a menu by the keyboard, it takes the keys at once: Escape or Enter closes it.
    raise();
    activateWindow();
    m_name->setFocus();
    m_name->setCursorPosition(0);
}

QString TPropertiesForm::nameText() const
{
    return m_name->text();
}

QString TPropertiesForm::lineText(const QString &objectName) const
{
    const auto *l = findChild<QLabel *>(objectName);
    return l ? l->text() : QString();
}

int TPropertiesForm::frameHeight() const
{
    return m_frame->height();
}
