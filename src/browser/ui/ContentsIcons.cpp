#include "ContentsIcons.h"

#include "browser/ExtensionIconCache.h"
#include "browser/FileTypes.h"
#include "store/TreeNode.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QStyle>

void ContentsIcons::setUpIconTheme()
{
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString &p : {QStringLiteral("/usr/share/icons"), QStringLiteral("/usr/local/share/icons"),
                             QDir::homePath() + QStringLiteral("/.local/share/icons")})
        if (!paths.contains(p) && QDir(p).exists())
            paths.append(p);
    QIcon::setThemeSearchPaths(paths);
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor") ||
        !QDir(QStringLiteral("/usr/share/icons/") + current).exists())
        QIcon::setThemeName(QStringLiteral("breeze"));
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QIcon ContentsIcons::themeIcon(const QStringList &names)
{
    for (const QString &n : names)
        if (!n.isEmpty() && QIcon::hasThemeIcon(n))
            return QIcon::fromTheme(n);
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

// The lent-disc icon: the disc with an arrow leaving it.
static QIcon lentIcon(const QIcon &disc)
{
    QIcon out;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(0.55);
        disc.paint(&p, QRect(0, 0, size, size));
        p.setOpacity(1.0);
        const QIcon arrow = ContentsIcons::themeIcon({QStringLiteral("go-next"), QStringLiteral("arrow-right")});
        const int a = size * 5 / 8;
        arrow.paint(&p, QRect(size - a, size - a, a, a));
        out.addPixmap(pm);
    }
    return out;
}

ContentsIcons::ContentsIcons(ExtensionIconCache *cache, QObject *parent) : QObject(parent), m_cache(cache)
{
    m_fixed[ExtensionIconCache::ImageFolder] = themeIcon({QStringLiteral("folder")});
    m_fixed[ExtensionIconCache::ImageHtml] = themeIcon({QStringLiteral("text-html")});
    m_fixed[ExtensionIconCache::ImageDisc] =
        themeIcon({QStringLiteral("media-optical"), QStringLiteral("drive-optical")});
    m_fixed[ExtensionIconCache::ImageGroup] = themeIcon({QStringLiteral("folder-blue"), QStringLiteral("folder")});
    m_fixed[4] = m_fixed[ExtensionIconCache::ImageFolder];
    m_fixed[ExtensionIconCache::ImageMultiple] =
        themeIcon({QStringLiteral("edit-select-all"), QStringLiteral("document-multiple")});
    m_fixed[ExtensionIconCache::ImageArchive] =
        themeIcon({QStringLiteral("application-zip"), QStringLiteral("package-x-generic")});
    m_rootIcon = themeIcon({QStringLiteral("folder-favorites"), QStringLiteral("bookmarks")});
    m_lentIcon = lentIcon(m_fixed[ExtensionIconCache::ImageDisc]);
    for (const QString &ext : cache->extensions())
        addExtensionIcon(ext);
    connect(cache, &ExtensionIconCache::iconAdded, this,
            [this](int, const QString &extension) { addExtensionIcon(extension); });
}

void ContentsIcons::addExtensionIcon(const QString &extension)
{
    // Always one icon per cache position, so positions and icons never drift apart.
    const QString name = QStringLiteral("x") + extension.toLower();
    m_extensionIcons.push_back(
        themeIcon({FileTypes::iconName(name), FileTypes::genericIconName(name), QStringLiteral("unknown")}));
}

QIcon ContentsIcons::icon(int image)
{
    if (image >= 0 && image < ExtensionIconCache::FirstExtension)
        return m_fixed[image];
    const int pos = image - ExtensionIconCache::FirstExtension;
    while (static_cast<int>(m_extensionIcons.size()) < m_cache->count())
        addExtensionIcon(m_cache->extension(static_cast<int>(m_extensionIcons.size())));
    if (pos >= 0 && pos < static_cast<int>(m_extensionIcons.size()))
        return m_extensionIcons[static_cast<size_t>(pos)];
    return QIcon();
}

QIcon ContentsIcons::nodeIcon(int kind) const
{
    switch (kind) {
    case KindRoot:
        return m_rootIcon;
    case KindGroup:
        return m_fixed[ExtensionIconCache::ImageGroup];
    case KindLent:
        return m_lentIcon;
    default:
        return m_fixed[ExtensionIconCache::ImageDisc];
    }
}
