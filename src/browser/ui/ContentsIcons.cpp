#include "ContentsIcons.h"

#include "listing/ExtensionIconCache.h"
#include "listing/FileTypes.h"
#include "gui/ThemeIcons.h"
#include "store/TreeNode.h"

#include <QPainter>

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
        const QIcon arrow = ThemeIcons::icon({QStringLiteral("go-next"), QStringLiteral("arrow-right")});
        const int a = size * 5 / 8;
        arrow.paint(&p, QRect(size - a, size - a, a, a));
        out.addPixmap(pm);
    }
    return out;
}

ContentsIcons::ContentsIcons(ExtensionIconCache *cache, QObject *parent) : QObject(parent), m_cache(cache)
{
    m_fixed[ExtensionIconCache::ImageFolder] = ThemeIcons::icon({QStringLiteral("folder")});
    m_fixed[ExtensionIconCache::ImageHtml] = ThemeIcons::icon({QStringLiteral("text-html")});
    m_fixed[ExtensionIconCache::ImageDisc] =
        ThemeIcons::icon({QStringLiteral("media-optical"), QStringLiteral("drive-optical")});
    m_fixed[ExtensionIconCache::ImageGroup] =
        ThemeIcons::icon({QStringLiteral("folder-blue"), QStringLiteral("folder")});
    m_fixed[4] = m_fixed[ExtensionIconCache::ImageFolder];
    m_fixed[ExtensionIconCache::ImageMultiple] =
        ThemeIcons::icon({QStringLiteral("edit-select-all"), QStringLiteral("document-multiple")});
    m_fixed[ExtensionIconCache::ImageArchive] =
        ThemeIcons::icon({QStringLiteral("application-zip"), QStringLiteral("package-x-generic")});
    m_rootIcon = ThemeIcons::icon({QStringLiteral("folder-favorites"), QStringLiteral("bookmarks")});
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
        ThemeIcons::icon({FileTypes::iconName(name), FileTypes::genericIconName(name), QStringLiteral("unknown")}));
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
