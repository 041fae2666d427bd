#pragma once

#include "SearchCriteria.h"
#include "core/TMask.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <memory>

// The four tests an entry must pass, for one search: the category by the name's extension
// (Filter), the name mask (MatchName), the date bounds (DateFilter) and the size bounds
// (SizeFilter). Names are tested as UTF-8 bytes, and may come already folded (a-z in upper
// case), as the name index keeps them: every test gives the same answer for both.
class SearchTests
{
public:
    explicit SearchTests(const SearchCriteria &criteria);

    const SearchCriteria &criteria() const { return m_c; }

    // The category test of a file name.
    bool Filter(QByteArrayView name) const;
    // Empty mask and "*.*": every name. Then the mask as a plain substring, a-z folded; then
    // the whole name against the mask as a wildcard pattern, compiled on first need: an
    // invalid pattern throws QuilloryError from the first name the substring test refused.
    bool MatchName(QByteArrayView name) const;
    // Dates as milliseconds since the epoch.
    bool DateFilter(qint64 msecs) const;
    bool SizeFilter(qint64 size) const;

    // Whether MatchName is only the substring test (the mask holds no wildcard character), so
    // a name is a hit exactly when it contains the mask, a-z folded.
    bool substringOnly() const { return m_substringOnly; }
    // Bytes (a-z folded) that every name MatchName accepts contains: the mask for a plain
    // substring, the longest literal run of a valid pattern; empty when nothing is known (an
    // empty mask, a pattern without literals, or an invalid one, which must still fail where
    // MatchName would first compile it).
    const QByteArray &requiredBytes() const { return m_required; }

    // The extension by which a name's category is decided: after the last ".", unless a "\"
    // or ":" follows that "."; a-z in upper case; empty without one.
    static QByteArray extensionOf(QByteArrayView name);
    static bool inCategory(int category, QByteArrayView upperExtension);
    // The captions of the categories, in list order.
    static QStringList categoryCaptions();

private:
    SearchCriteria m_c;
    QByteArray m_folded;
    QByteArray m_required;
    bool m_all = false;
    bool m_substringOnly = false;
    qint64 m_older = 0;
    qint64 m_newer = 0;
    mutable std::unique_ptr<TMask> m_pattern;
};
