#include "CatalogueLocale.h"

#include "core/Rounding.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::StringLiterals;

static QString widenYear(QString fmt)
{
    // A lone "yy" becomes "yyyy"; a format that already has four y's is kept.
    if (fmt.contains(QLatin1String("yyyy")))
        return fmt;
    static const QRegularExpression yy(QStringLiteral("(?<!y)yy(?!y)"));
    fmt.replace(yy, QStringLiteral("yyyy"));
    if (!fmt.contains(QLatin1String("yyyy"))) {
        static const QRegularExpression y(QStringLiteral("(?<!y)y(?!y)"));
        fmt.replace(y, QStringLiteral("yyyy"));
    }
    return fmt;
}

static QString stripZone(QString fmt)
{
    // "t" (and "tt", "ttt", "tttt") is the zone; drop it with the blanks around it.
    static const QRegularExpression zone(QStringLiteral("\\s*(?<!')t+(?!')\\s*"));
    fmt.replace(zone, QStringLiteral(" "));
    return fmt.trimmed();
}

CatalogueLocale::CatalogueLocale() : CatalogueLocale(QLocale()) {}

CatalogueLocale::CatalogueLocale(const QLocale &locale)
    : m_locale(locale), m_dateFormat(widenYear(locale.dateFormat(QLocale::ShortFormat))),
      m_timeFormat(stripZone(locale.timeFormat(QLocale::LongFormat)))
{
}

QString CatalogueLocale::formatDate(const QDate &d) const
{
    return m_locale.toString(d, m_dateFormat);
}

QString CatalogueLocale::formatDateTime(const QDateTime &dt) const
{
    return m_locale.toString(dt.date(), m_dateFormat) + u' ' + m_locale.toString(dt.time(), m_timeFormat);
}

QString CatalogueLocale::formatListDate(const QDateTime &dt) const
{
    // A four-digit year is as far as a list's date reads back: a later one (a damaged time stamp,
    // NTFS's far future) is kept as the last moment it can hold.
    if (dt.date().year() > 9999)
        return formatDateTime(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 58)));
    if (dt.time() == QTime(0, 0))
        return formatDate(dt.date());
    return formatDateTime(dt);
}

QDateTime CatalogueLocale::parseDateTime(const QString &text) const
{
    const QDateTime wall = parseWallClock(text);
    if (!wall.isValid())
        return wall;
    const QDateTime local(wall.date(), wall.time());
    // A time in the hour summer time skips here (the disc was catalogued in another zone) is
    // still a time: read on a clock without zones, it becomes the moment as far past midnight.
    return local.isValid() && local.time() == wall.time() ? local : localFromWallClock(wall.date(), wall.time());
}

QDateTime CatalogueLocale::parseWallClock(const QString &text) const
{
    const QString t = text.trimmed();
    const auto asRead = [](const QDateTime &dt) { return QDateTime(dt.date(), dt.time(), Qt::UTC); };
    if (const QDateTime dt = m_locale.toDateTime(t, m_dateFormat + u' ' + m_timeFormat); dt.isValid())
        return asRead(dt);
    // The hour summer time skips here is no local time; read with a zone, it still reads.
    if (const QDateTime wall = m_locale.toDateTime(t + u" UTC"_s, m_dateFormat + u' ' + m_timeFormat + u" t"_s);
        wall.isValid())
        return asRead(wall);
    const QDate d = m_locale.toDate(t, m_dateFormat);
    if (d.isValid())
        return QDateTime(d, QTime(0, 0), Qt::UTC);
    // Older catalogues may carry the locale's own two-digit-year formats.
    const QString shortDate = m_locale.dateFormat(QLocale::ShortFormat);
    QDateTime dt = m_locale.toDateTime(t, shortDate + u' ' + m_timeFormat);
    if (!dt.isValid()) {
        const QDate d2 = m_locale.toDate(t, shortDate);
        if (d2.isValid())
            dt = QDateTime(d2, QTime(0, 0));
    }
    if (dt.isValid() && dt.date().year() < 1950 && !shortDate.contains(QLatin1String("yyyy")))
        dt = dt.addYears(100);
    // A catalogue written under another locale carries that locale's form. The C locale's (a
    // catalogue made by a script, the shipped sample) at least reads anywhere, rather than
    // every date of it failing every date search without a word.
    if (!dt.isValid() && m_locale != QLocale::c()) {
        static const CatalogueLocale c(QLocale::c());
        return c.parseWallClock(t);
    }
    return dt.isValid() ? asRead(dt) : dt;
}

QDateTime CatalogueLocale::localFromWallClock(const QDate &date, const QTime &time)
{
    return date.startOfDay().addMSecs(time.msecsSinceStartOfDay());
}

QDateTime ToDosPrecision(const QDateTime &dt)
{
    const QTime t = dt.time();
    return QDateTime(dt.date(), QTime(t.hour(), t.minute(), t.second() & ~1), dt.timeSpec());
}

QString FormatDuration(double seconds)
{
    if (!(seconds >= 0) || !std::isfinite(seconds))
        seconds = 0;
    const qint64 total = static_cast<qint64>(roundHalfEven(seconds));
    const qint64 h = total / 3600;
    const qint64 m = (total / 60) % 60;
    const qint64 s = total % 60;
    return QStringLiteral("%1:%2:%3")
        .arg(h, 2, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}
