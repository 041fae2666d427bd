#include "ExtensionIconCache.h"

ExtensionIconCache::ExtensionIconCache(QObject *parent) : QObject(parent) {}

QString ExtensionIconCache::extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot).toUpper();
}

QByteArray ExtensionIconCache::extensionOf(QByteArrayView utf8Name)
{
    const qsizetype dot = utf8Name.lastIndexOf('.');
    if (dot < 0)
        return QByteArray();
    return QString::fromUtf8(utf8Name.sliced(dot)).toUpper().toUtf8();
}

int ExtensionIconCache::imageForExtension(const QString &ext)
{
    if (ext == QLatin1String(".HTM") || ext == QLatin1String(".HTML"))
        return ImageHtml;
    auto it = m_position.constFind(ext);
    if (it != m_position.constEnd())
        return FirstExtension + it.value();
    const int pos = static_cast<int>(m_extensions.size());
    m_extensions.append(ext);
    m_position.insert(ext, pos);
    Q_EMIT iconAdded(pos, ext);
    return FirstExtension + pos;
}

int ExtensionIconCache::imageFor(const QString &name)
{
    return imageForExtension(extensionOf(name));
}

int ExtensionIconCache::imageForUtf8(QByteArrayView utf8Name)
{
    const qsizetype dot = utf8Name.lastIndexOf('.');
    const QByteArrayView ext = dot < 0 ? QByteArrayView() : utf8Name.sliced(dot);
    // Keyed by the bytes as written, so the common case needs no conversion at all.
    auto it = m_utf8Image.constFind(ext.toByteArray());
    if (it != m_utf8Image.constEnd())
        return it.value();
    const int image = imageForExtension(QString::fromUtf8(ext).toUpper());
    m_utf8Image.insert(ext.toByteArray(), image);
    return image;
}
