#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Dates and numbers as the catalogue writes and reads them: the user's short date with a
// four-digit year, a blank, and the long time without any time-zone part. Built from
// QLocale() at the moment of use, so QLocale::setDefault() fixes it for tests.
class CatalogueLocale
{
public:
    CatalogueLocale();
    explicit CatalogueLocale(const QLocale &locale);

    const QLocale &locale() const { return m_locale; }
    QString dateFormat() const { return m_dateFormat; }
    QString timeFormat() const { return m_timeFormat; }

    // Date, blank, time. Used for a disc's Date field.
    QString formatDateTime(const QDateTime &dt) const;
    // As formatDateTime, but a time of exactly midnight is left out (the list records).
    QString formatListDate(const QDateTime &dt) const;
    QString formatDate(const QDate &d) const;
    // Accepts both forms above, and a two-digit year; invalid QDateTime when it does not parse.
    QDateTime parseDateTime(const QString &text) const;
    // The date and time as written, as a reading of a clock without zones (in UTC), so that
    // readings order as written even across the hour summer time skips or repeats here.
    QDateTime parseWallClock(const QString &text) const;
    // A reading's place on that clock, in milliseconds: what date bounds compare.
    static qint64 wallClockMs(const QDateTime &dt)
    {
        return QDateTime(dt.date(), dt.time(), Qt::UTC).toMSecsSinceEpoch();
    }
    // The local moment a wall-clock reading stands for, valid even in the hour summer time
    // skips (where it lies an hour on).
    static QDateTime localFromWallClock(const QDate &date, const QTime &time);

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
};

// Reduces a time to MS-DOS precision (two-second steps, no milliseconds).
QDateTime ToDosPrecision(const QDateTime &dt);

// hh:mm:ss from seconds, rounded to the nearest second with halves going to the even neighbour.
QString FormatDuration(double seconds);
