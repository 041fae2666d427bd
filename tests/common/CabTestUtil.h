#pragma once

// Shared by the tests of files on disk: reading and writing them, and the real cabinet tools.

#include "RunProgram.h"
#include "core/QuilloryError.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <QTest>

namespace CabTestUtil
{

inline QString fixture(const QString &name)
{
    return QStringLiteral(QUILLORY_TEST_DATA "/cab/") + name;
}

// Member names as "cabextract -l" shows them, in cabinet order.
inline QStringList cabextractNames(const QString &cab)
{
    const ProgramRun r = runProgram(QStringLiteral("cabextract"), {QStringLiteral("-l"), cab});
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
    const ProgramRun r = runProgram(QStringLiteral("cabextract"), {QStringLiteral("-t"), cab});
    return r.code == 0 && r.out.contains("All done, no errors.");
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

// The message of the QuilloryError the call throws; "<not refused>" when it throws none.
template <typename F> QString refusal(F f)
{
    try {
        f();
    } catch (const QuilloryError &e) {
        return e.message();
    }
    return QStringLiteral("<not refused>");
}

// Every entry below a folder, by its path inside it: a file's bytes, a link's target, a folder's mark; to show
// that nothing changed, however deep.
inline QMap<QString, QByteArray> snapshot(const QString &folder)
{
    const QString root = QDir(folder).absolutePath() + u'/';
    QMap<QString, QByteArray> m;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi = it.nextFileInfo();
        m.insert(fi.absoluteFilePath().mid(root.size()), fi.isSymLink() ? "-> " + QFile::encodeName(fi.symLinkTarget())
                                                         : fi.isDir()   ? QByteArray("<folder>")
                                                                        : readFile(fi.absoluteFilePath()));
    }
    return m;
}

// A single cabinet (no reserve, no previous cabinet) made into a part of a set: its header
// names `next` as the next cabinet, and every offset behind the header moves up to make room.
// CFHEADER: cbCabinet at 8, coffFiles at 16, cFolders at 26, flags at 30; the CFFOLDER
// entries (8 bytes, coffCabStart first) follow the 36 bytes of the header.
inline QByteArray withNextCabinet(QByteArray cab, const QByteArray &next)
{
    auto u16 = [&](int at) { return quint16(uchar(cab[at]) | uchar(cab[at + 1]) << 8); };
    auto u32 = [&](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            cab[at + i] = char(v >> (8 * i));
    };
    constexpr quint16 kPrevCabinet = 0x1, kNextCabinet = 0x2, kReserve = 0x4;
    if (cab.size() < 36 || !cab.startsWith("MSCF") || (u16(30) & (kPrevCabinet | kNextCabinet | kReserve)))
        return QByteArray();
    const QByteArray names = next + '\0' + '\0'; // the next cabinet, and an empty disk name
    const quint32 shift = quint32(names.size());
    put32(8, u32(8) + shift);
    put32(16, u32(16) + shift);
    for (int f = 0; f < u16(26); ++f)
        put32(36 + 8 * f, u32(36 + 8 * f) + shift);
    const quint16 flags = u16(30) | kNextCabinet;
    cab[30] = char(flags & 0xff);
    cab[31] = char(flags >> 8);
    cab.insert(36, names);
    return cab;
}

} // namespace CabTestUtil
