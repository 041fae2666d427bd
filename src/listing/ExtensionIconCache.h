#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

// Image indices of the contents list. Files take 7 + the position of their extension in
// this cache, which grows for the whole run and is shared with the search; views turn a
// position into an icon when it first appears (iconAdded).
class ExtensionIconCache : public QObject
{
    Q_OBJECT
public:
    enum Image : int {
        ImageFolder = 0,
        ImageHtml = 1,
        ImageDisc = 2,
        ImageGroup = 3,
        ImageMultiple = 5,
        ImageArchive = 6,
        FirstExtension = 7
    };

    explicit ExtensionIconCache(QObject *parent = nullptr);

    // The upper-case extension of a file name, with its dot ("" when the name has no dot).
    static QString extensionOf(const QString &name);
    static QByteArray extensionOf(QByteArrayView utf8Name);

    // The image index of a file name; a new extension takes the next position.
    int imageFor(const QString &name);
    int imageForExtension(const QString &upperExtension);
    // Fast path for names read straight from a contents list.
    int imageForUtf8(QByteArrayView utf8Name);

    int count() const { return static_cast<int>(m_extensions.size()); }
    QString extension(int position) const { return m_extensions.at(position); }
    const QStringList &extensions() const { return m_extensions; }

Q_SIGNALS:
    void iconAdded(int position, const QString &extension);

private:
    QStringList m_extensions;
    QHash<QString, int> m_position;
    QHash<QByteArray, int> m_utf8Image;
};
