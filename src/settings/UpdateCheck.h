#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// Asking the maker's server whether a newer release exists. The server holds a version file,
// "ver=" followed by the newest release number, and the Linux package beside it.
namespace UpdateCheck
{

// What the version file says, measured against the running program's release.
struct Answer {
    enum Kind {
        NoAnswer, // nothing arrived, or nothing that names a release
        UpToDate, // the same release or an older one
        Newer,
    };
    Kind kind = NoAnswer;
    QString version; // the server's release number, trimmed
};

// A release number as its numbers ("1.5.115" → 1, 5, 115); nullopt for anything else.
std::optional<QList<int>> parseRelease(const QString &text);
// Negative, zero or positive as a is older than, the same as or newer than b; missing
// trailing numbers count as 0, so "1.5" equals "1.5.0".
int compareReleases(const QList<int> &a, const QList<int> &b);

// Reads a version file's bytes. Release numbers are compared as numbers and white space
// around them (a trailing line end) is ignored, so an older release or the same one written
// differently is never offered as new.
Answer judge(const QByteArray &versionFile, const QString &ownVersion);

// The server's address as the settings file holds it ("UpdateServer"); empty when unset.
QString serverSetting(const QString &settingsFile);
QUrl versionFileUrl(const QString &server);
QUrl packageUrl(const QString &server);
QUrl siteUrl(const QString &server);

// Fetches a small file over HTTP(S), letting the event loop run meanwhile, user input included
// (the caller keeps its window from starting anything else). Gives up after timeoutMs without
// an answer, on any error, on more than a few kilobytes and when the stop that waiting is handed
// once the request is out gets called; returns what arrived, or an empty array.
QByteArray download(const QUrl &url, int timeoutMs,
                    const std::function<void(const std::function<void()> &stop)> &waiting = {});

// True only when the system says this machine has no network at all; unknown counts as online.
bool knownOffline();

constexpr int DefaultTimeoutMs = 15000;

} // namespace UpdateCheck
