#pragma once

#include <QIcon>
#include <QObject>
#include <vector>

class ExtensionIconCache;

// The icons behind the contents list's image indices: the fixed ones (folder, page, disc,
// group, several items, archive) and one per extension of the cache, from the icon theme.
class ContentsIcons : public QObject
{
    Q_OBJECT
public:
    explicit ContentsIcons(ExtensionIconCache *cache, QObject *parent = nullptr);

    QIcon icon(int image);
    QIcon nodeIcon(int kind) const;
    // How many extension icons exist; kept equal to the cache's size.

private:
    void addExtensionIcon(const QString &extension);

    ExtensionIconCache *m_cache;
    QIcon m_fixed[7];
    QIcon m_rootIcon;
    QIcon m_lentIcon;
    std::vector<QIcon> m_extensionIcons;
};
