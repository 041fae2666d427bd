#pragma once

// Shared by the backup tests: real files on disk and the real cabinet tools.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

namespace CabTestUtil
{

inline QString fixture(const QString &name)
{
    return QStringLiteral(QUILLORY_TEST_DATA "/cab/") + name;
}

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
};

inline ToolResult runTool(const QString &program, const QStringList &args, const QString &workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAll();
    return r;
}

// Member names as "cabextract -l" shows them, in cabinet order.
inline QStringList cabextractNames(const QString &cab)
{
    const ToolResult r = runTool(QStringLiteral("cabextract"), {QStringLiteral("-l"), cab});
    QStringList names;
    for (const QByteArray &line : r.out.split('\n')) {
        const QList<QByteArray> cols = line.split('|');
        if (cols.size() == 3 && !cols[2].trimmed().startsWith("Name"))
            names.append(QString::fromUtf8(cols[2].trimmed()));
    }
    return names;
}

// "cabextract -t": every member decompresses and checks out.
inline bool cabextractAccepts(const QString &cab)
{
    const ToolResult r = runTool(QStringLiteral("cabextract"), {QStringLiteral("-t"), cab});
    return r.exitCode == 0 && r.out.contains("All done, no errors.");
}

inline void writeFile(const QString &path, const QByteArray &bytes, const QDateTime &mtime = QDateTime())
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();
    if (mtime.isValid()) {
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
    }
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Every file of a folder with its bytes, to show that nothing changed.
inline QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> m;
    for (const QFileInfo &fi : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        m.insert(fi.fileName(), readFile(fi.absoluteFilePath()));
    return m;
}

// A time zone with daylight saving, so that local and UTC times differ.
inline void useBerlinTime()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

} // namespace CabTestUtil
