#include "SearchTests.h"

#include "store/CatalogueLocale.h"

#include "acquire/MediaFamilies.h"
#include "core/AsciiCase.h"
#include "core/QuilloryError.h"

#include <array>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace
{

struct CategoryDef {
    const char *caption;
    std::initializer_list<const char *> extensions;
};

// Music, pictures and video are decided by the media table the scanner's readers and the
// playlist command go by.
const std::array<CategoryDef, SearchCriteria::CategoryCount> &categories()
{
    static const std::array<CategoryDef, SearchCriteria::CategoryCount> table{{
        {"All Files and Folders", {}},
        {"All Files", {}},
        {"Folders Only", {}},
        {"Executables", {"EXE", "BAT", "COM", "DLL"}},
        {"Image Files", {}},
        {"Music Files", {}},
        {"Video Files", {}},
        {"Documents", {"TXT", "DOC", "TEX", "HTM", "HTML", "MTH", "PDF"}},
        {"Archives", {"ZIP", "RAR", "ACE", "ARJ", "CAB", "LHA"}},
    }};
    return table;
}

// The longest run of a pattern's characters that must stand as they are in a matching name:
// "*", "?" and bracketed sets each end a run.
QByteArray longestLiteral(const QByteArray &mask)
{
    QByteArray run, best;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const char ch = mask.at(i);
        if (ch == '*' || ch == '?' || ch == '[') {
            if (run.size() > best.size())
                best = run;
            run.clear();
            if (ch == '[') {
                const qsizetype close = mask.indexOf(']', i + 1);
                if (close < 0)
                    break;
                i = close;
            }
            continue;
        }
        run += ch;
    }
    return run.size() > best.size() ? run : best;
}

} // namespace

SearchTests::SearchTests(const SearchCriteria &criteria) : m_c(criteria)
{
    m_all = m_c.mask.isEmpty() || m_c.mask == "*.*"_L1;
    m_folded = FoldedAZ(m_c.mask.toUtf8());
    // Without "*", "?" or "[", a whole-name match is the name itself, which the substring
    // test has already accepted.
    m_substringOnly = !m_all && !m_c.mask.contains(u'*') && !m_c.mask.contains(u'?') && !m_c.mask.contains(u'[');
    if (m_substringOnly) {
        m_required = m_folded;
    } else if (!m_all) {
        try {
            m_pattern = std::make_unique<TMask>(m_c.mask);
            m_required = longestLiteral(m_folded);
        } catch (const QuilloryError &) {
            // Left for MatchName to raise at the first name that needs the pattern.
        }
    }
    // Bounds and records compare as read on the clock, as the user reads them.
    m_older = CatalogueLocale::wallClockMs(m_c.olderThan);
    m_newer = CatalogueLocale::wallClockMs(m_c.newerThan);
}

QByteArray SearchTests::extensionOf(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return QByteArray();
    const QByteArrayView rest = name.sliced(dot + 1);
    if (rest.contains('\\') || rest.contains(':'))
        return QByteArray();
    return FoldedAZ(rest);
}

bool SearchTests::inCategory(int category, QByteArrayView ext)
{
    switch (category) {
    case SearchCriteria::AllFilesAndFolders:
    case SearchCriteria::AllFiles:
        return true;
    case SearchCriteria::FoldersOnly:
        return false;
    case SearchCriteria::MusicFiles:
        return MediaFamilies::inFamily(MediaFamilies::Family::Music, ext);
    case SearchCriteria::ImageFiles:
        return MediaFamilies::inFamily(MediaFamilies::Family::Picture, ext);
    case SearchCriteria::VideoFiles:
        return MediaFamilies::inFamily(MediaFamilies::Family::Video, ext);
    default:
        break;
    }
    if (category < 0 || category >= SearchCriteria::CategoryCount || ext.isEmpty())
        return false;
    for (const char *e : categories()[static_cast<size_t>(category)].extensions)
        if (ext == QByteArrayView(e))
            return true;
    return false;
}

QStringList SearchTests::categoryCaptions()
{
    QStringList out;
    for (const CategoryDef &c : categories())
        out.append(QString::fromLatin1(c.caption));
    return out;
}

bool SearchTests::Filter(QByteArrayView name) const
{
    if (m_c.category == SearchCriteria::AllFilesAndFolders || m_c.category == SearchCriteria::AllFiles)
        return true;
    return inCategory(m_c.category, extensionOf(name));
}

bool SearchTests::MatchName(QByteArrayView name) const
{
    if (m_all)
        return true;
    // Folded into a buffer of our own: names are short, masks shorter.
    char local[256];
    QByteArray heap;
    char *folded = local;
    if (name.size() > qsizetype(sizeof local)) {
        heap.resize(name.size());
        folded = heap.data();
    }
    std::memcpy(folded, name.data(), size_t(name.size()));
    FoldAZ(folded, name.size());
    if (QByteArrayView(folded, name.size()).contains(m_folded))
        return true;
    if (m_substringOnly)
        return false;
    if (!m_pattern)
        m_pattern = std::make_unique<TMask>(m_c.mask);
    return m_pattern->Matches(QString::fromUtf8(name));
}

bool SearchTests::DateFilter(qint64 msecs) const
{
    if (m_c.olderOn && msecs > m_older)
        return false;
    if (m_c.newerOn && msecs < m_newer)
        return false;
    return true;
}

bool SearchTests::SizeFilter(qint64 size) const
{
    if (m_c.largerOn && size < m_c.minSize)
        return false;
    if (m_c.smallerOn && size > m_c.maxSize)
        return false;
    return true;
}
