#include "UpdateCheck.h"

#include "core/Version.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSettings>
#include <QTimer>

namespace UpdateCheck
{

namespace
{

// A version file is a dozen bytes; anything much larger is not one.
constexpr qint64 MaxVersionFileBytes = 4096;

QUrl onServer(const QString &server, const QString &path)
{
    QString base = server.trimmed();
    if (!base.contains(QLatin1String("://")))
        base.prepend(QLatin1String("https://"));
    while (base.endsWith(u'/'))
        base.chop(1);
    return QUrl(base + path);
}

} // namespace

std::optional<QList<int>> parseRelease(const QString &text)
{
    const QStringList parts = text.split(u'.');
    QList<int> numbers;
    for (const QString &p : parts) {
        // Digits only: no signs, blanks or suffixes inside the number.
        if (p.isEmpty() || p.size() > 9)
            return std::nullopt;
        for (const QChar c : p)
            if (c < u'0' || c > u'9')
                return std::nullopt;
        numbers.append(p.toInt());
    }
    return numbers;
}

int compareReleases(const QList<int> &a, const QList<int> &b)
{
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const int x = a.value(i, 0);
        const int y = b.value(i, 0);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

Answer judge(const QByteArray &versionFile, const QString &ownVersion)
{
    const QString text = QString::fromUtf8(versionFile);
    const qsizetype at = text.indexOf(QLatin1String("ver="));
    if (at < 0)
        return {};
    const QString version = text.mid(at + 4).trimmed();
    const std::optional<QList<int>> theirs = parseRelease(version);
    const std::optional<QList<int>> ours = parseRelease(ownVersion);
    if (!theirs || !ours)
        return {};
    return {compareReleases(*theirs, *ours) > 0 ? Answer::Newer : Answer::UpToDate, version};
}

QString serverSetting(const QString &settingsFile)
{
    const QSettings settings(settingsFile, QSettings::IniFormat);
    return settings.value(QStringLiteral("UpdateServer")).toString().trimmed();
}

QUrl versionFileUrl(const QString &server)
{
    return onServer(server, QStringLiteral("/software/Quillory_ver.txt"));
}

QUrl packageUrl(const QString &server)
{
    return onServer(server, QStringLiteral("/software/quillory_amd64.deb"));
}

QUrl siteUrl(const QString &server)
{
    return onServer(server, QStringLiteral("/"));
}

bool knownOffline()
{
    static const bool loaded = QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    return loaded && QNetworkInformation::instance()->reachability() == QNetworkInformation::Reachability::Disconnected;
}

QByteArray download(const QUrl &url, int timeoutMs, const std::function<void(const std::function<void()> &)> &waiting)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quillory!/") + QuilloryVersion());
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = manager.get(request);

    QEventLoop loop;
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, &tooLarge](qint64 received, qint64) {
        if (received > MaxVersionFileBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    // The transfer timeout covers a server that accepts and then stays silent; this one also
    // covers a connection that never completes.
    QTimer::singleShot(timeoutMs, reply, &QNetworkReply::abort);
    if (waiting)
        waiting([guard = QPointer<QNetworkReply>(reply)] {
            if (guard)
                guard->abort();
        });
    if (!reply->isFinished())
        loop.exec();

    QByteArray bytes;
    if (reply->error() == QNetworkReply::NoError && !tooLarge)
        bytes = reply->readAll();
    delete reply;
    return bytes;
}

} // namespace UpdateCheck
