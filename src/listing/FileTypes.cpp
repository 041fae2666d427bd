#include "FileTypes.h"

#include "ExtensionIconCache.h"
#include "acquire/MediaFamilies.h"
#include "core/AsciiCase.h"
#include "store/ContentsRecord.h"

#include <QHash>
#include <QMimeDatabase>

namespace FileTypes
{

QString kindText(ContentsEntry::Kind kind)
{
    switch (kind) {
    case ContentsEntry::Folder:
        return QStringLiteral("Folder");
    case ContentsEntry::Archive:
        return QString::fromLatin1(ContentsRecord::CompressedFolder);
    default:
        return QString();
    }
}

static QMimeDatabase &database()
{
    static QMimeDatabase db;
    return db;
}

// The kind of MIME type a name of each media family has.
static const char *mimeKindOf(const QString &name)
{
    using MediaFamilies::Family;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return nullptr;
    const QByteArray upper = FoldedAZ(QStringView(name).sliced(dot + 1).toUtf8());
    for (const auto &[family, kind] :
         {std::pair{Family::Music, "audio/"}, {Family::Picture, "image/"}, {Family::Video, "video/"}})
        if (MediaFamilies::inFamily(family, upper))
            return kind;
    return nullptr;
}

static QMimeType mimeFor(const QString &name)
{
    const QMimeType mime = database().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    // An extension two types claim (".ts": a Qt translation and an MPEG transport stream) is
    // taken as the catalogue's media table takes it, so that its type agrees with the search's
    // video category and the video reader.
    const char *kind = mimeKindOf(name);
    if (!kind || mime.name().startsWith(QLatin1String(kind)))
        return mime;
    for (const QMimeType &other : database().mimeTypesForFileName(name))
        if (other.name().startsWith(QLatin1String(kind)))
            return other;
    return mime;
}

namespace
{

// What a name must look like to match one glob pattern that looks beyond the extension: its
// literal start, its end as a set of allowed characters per position (read from the back),
// and a literal run it must contain. Each test may let through names the pattern does not
// match, never the other way round: such names only lose the shortcut.
struct Hint {
    QByteArray prefix;
    std::vector<QByteArray> suffix;
    QByteArray inner;

    static bool isWild(char c) { return c == '*' || c == '?' || c == '[' || c == ']'; }

    explicit Hint(const QByteArray &glob)
    {
        qsizetype i = 0;
        while (i < glob.size() && !isWild(glob.at(i)) && uchar(glob.at(i)) < 0x80)
            prefix += UpcaseAZ(glob.at(i++));
        for (qsizetype j = glob.size() - 1; j >= 0;) {
            const char c = glob.at(j);
            if (c == ']') {
                // A bracketed set: its characters, ranges spelled out.
                const qsizetype open = glob.lastIndexOf('[', j);
                if (open < 0)
                    break;
                QByteArray set;
                const QByteArray body = glob.mid(open + 1, j - open - 1);
                if (body.startsWith('!') || body.startsWith('^'))
                    break;
                for (qsizetype k = 0; k < body.size(); ++k) {
                    if (k + 2 < body.size() && body.at(k + 1) == '-') {
                        for (int ch = uchar(body.at(k)); ch <= uchar(body.at(k + 2)); ++ch)
                            set += UpcaseAZ(char(ch));
                        k += 2;
                    } else {
                        set += UpcaseAZ(body.at(k));
                    }
                }
                suffix.push_back(set);
                j = open - 1;
            } else if (isWild(c) || uchar(c) >= 0x80) {
                break;
            } else {
                suffix.push_back(QByteArray(1, UpcaseAZ(c)));
                --j;
            }
        }
        QByteArray run;
        for (qsizetype k = 0; k < glob.size(); ++k) {
            const char c = glob.at(k);
            if (isWild(c) || uchar(c) >= 0x80) {
                if (run.size() > inner.size())
                    inner = run;
                run.clear();
                if (c == '[') // a set stands for one character, whatever it lists
                    k = std::max(k, glob.indexOf(']', k));
            } else {
                run += UpcaseAZ(c);
            }
        }
        if (run.size() > inner.size())
            inner = run;
    }

    bool mayMatch(QByteArrayView name) const
    {
        if (name.size() < prefix.size() || name.size() < qsizetype(suffix.size()))
            return false;
        for (size_t i = 0; i < suffix.size(); ++i)
            if (!suffix[i].contains(UpcaseAZ(name.at(name.size() - 1 - qsizetype(i)))))
                return false;
        for (qsizetype i = 0; i < prefix.size(); ++i)
            if (UpcaseAZ(name.at(i)) != prefix.at(i))
                return false;
        if (inner.isEmpty())
            return true;
        for (qsizetype at = 0; at + inner.size() <= name.size(); ++at) {
            qsizetype k = 0;
            while (k < inner.size() && UpcaseAZ(name.at(at + k)) == inner.at(k))
                ++k;
            if (k == inner.size())
                return true;
        }
        return false;
    }
};

// The database's patterns that look at more than a simple "*.ext", filed by the last
// character they allow, so a name is held against a handful of them at most.
class BeyondExtension
{
public:
    BeyondExtension()
    {
        for (const QMimeType &mime : database().allMimeTypes()) {
            for (const QString &pattern : mime.globPatterns()) {
                const QByteArray glob = pattern.toUtf8();
                if (isSimple(glob))
                    continue;
                const int id = int(m_hints.size());
                m_hints.emplace_back(glob);
                const Hint &hint = m_hints.back();
                if (hint.suffix.empty()) {
                    m_anyEnd.push_back(id);
                    continue;
                }
                for (const char c : hint.suffix.front()) {
                    m_byEnd[uchar(c)].push_back(id);
                    if (c >= 'A' && c <= 'Z')
                        m_byEnd[uchar(c - 'A' + 'a')].push_back(id);
                }
            }
        }
    }

    bool mayMatch(QByteArrayView name) const
    {
        if (name.isEmpty())
            return false;
        for (int id : m_byEnd[uchar(name.back())])
            if (m_hints[size_t(id)].mayMatch(name))
                return true;
        for (int id : m_anyEnd)
            if (m_hints[size_t(id)].mayMatch(name))
                return true;
        return false;
    }

private:
    // "*." and an extension without dots or wildcards: only the extension decides.
    static bool isSimple(const QByteArray &glob)
    {
        if (!glob.startsWith("*.") || glob.size() < 3)
            return false;
        for (qsizetype i = 2; i < glob.size(); ++i)
            if (glob.at(i) == '.' || Hint::isWild(glob.at(i)))
                return false;
        return true;
    }

    std::vector<Hint> m_hints;
    std::vector<int> m_byEnd[256];
    std::vector<int> m_anyEnd;
};

const BeyondExtension &beyondExtension()
{
    static const BeyondExtension patterns;
    return patterns;
}

} // namespace

bool extensionDecides(QByteArrayView utf8Name)
{
    // A path is matched by its last part only; such a name keeps its own key.
    return !utf8Name.contains('/') && !beyondExtension().mayMatch(utf8Name);
}

QByteArray typeKey(QByteArrayView utf8Name)
{
    if (!extensionDecides(utf8Name))
        return '/' + utf8Name.toByteArray();
    const qsizetype dot = utf8Name.lastIndexOf('.');
    return dot < 0 ? QByteArray() : utf8Name.sliced(dot).toByteArray();
}

QString typeKey(const QString &name)
{
    return QString::fromUtf8(typeKey(QByteArrayView(name.toUtf8())));
}

QString GetFileType(const QString &name)
{
    // The MIME database is slow enough to matter for a folder of a hundred thousand files.
    static QHash<QString, QString> cache;
    const QString key = typeKey(name);
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return it.value();
    const QString type = typeNameOf(name);
    cache.insert(key, type);
    return type;
}

QString typeNameOf(const QString &name)
{
    const QMimeType mime = mimeFor(name);
    QString type = mime.isDefault() ? QString() : mime.comment();
    if (type.isEmpty()) {
        const QString ext = ExtensionIconCache::extensionOf(name);
        type = ext.size() > 1 ? ext.mid(1) + QLatin1String(" File") : QStringLiteral("File");
    } else {
        type[0] = type.at(0).toUpper();
    }
    return type;
}

QString iconName(const QString &name)
{
    const QMimeType mime = mimeFor(name);
    return mime.isDefault() ? QString() : mime.iconName();
}

QString genericIconName(const QString &name)
{
    const QMimeType mime = mimeFor(name);
    return mime.isDefault() ? QStringLiteral("unknown") : mime.genericIconName();
}

bool IsMusicFile(const QString &extension)
{
    QString ext = FoldedAZ(extension);
    // Only the first "." goes, wherever it stands; the rest must match a name exactly.
    const qsizetype dot = ext.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        ext.remove(dot, 1);
    return MediaFamilies::inFamily(MediaFamilies::Family::Music, ext.toUtf8());
}

} // namespace FileTypes
