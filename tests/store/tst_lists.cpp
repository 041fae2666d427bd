#include "core/QuilloryError.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsList.h"
#include "store/ContentsListWriter.h"
#include "store/ContentsRecord.h"
#include "store/SingleLine.h"

#include <QBuffer>
#include <QtTest>

using namespace Qt::StringLiterals;

// The one writer and the one reader of a disc's lists, and the values written into them.
class TestLists : public QObject
{
    Q_OBJECT

    static QByteArray written(const std::function<void(ContentsListWriter &)> &write)
    {
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        ContentsListWriter w(&buf);
        write(w);
        w.flush();
        return bytes;
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void writerAndReaderAgree()
    {
        const QByteArray files = written([](ContentsListWriter &w) {
            w.writeFileRecord(QStringLiteral("SONG.MP3"), QStringLiteral("\\MUSIC\\ROCK\\"), 5000000000ULL,
                              QStringLiteral("05.12.2026 13:48:38"), {QStringLiteral("Title: A\r\nB")});
            w.writeFileRecord(QStringLiteral("PACK.ZIP"), QStringLiteral("\\"), 7, QStringLiteral("01.01.2000"),
                              {QString::fromLatin1(ContentsRecord::CompressedFolder)});
            w.writeArchiveEntry(QStringLiteral("top.txt"), QStringLiteral("\\PACK.ZIP\\"), 3,
                                QStringLiteral("01.01.2000"), QString());
            w.writeArchiveEntry(QStringLiteral("a.png"), QStringLiteral("\\PACK.ZIP\\"), 4, QString(),
                                QStringLiteral("img\\icons\\"));
            // Names as the file system gives them: bytes that are not UTF-8, a line break.
            w.writeScannedFile("caf\xe9\nx", ContentsListWriter::folderLine("\\", "d\xfcr"), 0, "01.01.2000");
        });
        QCOMPARE(files,
                 QByteArray("SONG.MP3\r\n\\MUSIC\\ROCK\\\r\n5000000000\r\n05.12.2026 13:48:38\r\nTitle: A??B\r\n-\r\n"
                            "PACK.ZIP\r\n\\\r\n7\r\n01.01.2000\r\nCompressed Folder\r\n-\r\n"
                            "top.txt\r\n\\PACK.ZIP\\\r\n3\r\n01.01.2000\r\nArchive path: \\\r\n-\r\n"
                            "a.png\r\n\\PACK.ZIP\\\r\n4\r\n\r\nArchive path: \\img\\icons\\\r\n-\r\n"
                            "caf\xef\xbf\xbd?x\r\n\\d\xef\xbf\xbdr\\\r\n0\r\n01.01.2000\r\n-\r\n"));
        const QByteArray folders = written([](ContentsListWriter &w) {
            w.writeFolderRecord(QStringLiteral("MUSIC"), QStringLiteral("\\"), 5000000000ULL, QStringLiteral("x"));
            w.writeScannedFolder("ROCK", "\\MUSIC\\", 5000000000ULL, "x");
        });
        QCOMPARE(
            folders,
            QByteArray("MUSIC\\\r\n\\\r\n5000000000\r\nx\r\n-\r\nROCK\\\r\n\\MUSIC\\\r\n5000000000\r\nx\r\n-\r\n"));

        const ContentsList f = ContentsList::fromBytes(files);
        const ContentsList d = ContentsList::fromBytes(folders);
        QCOMPARE(f.recordCount(), 5);
        QVERIFY(!f.isArchive(0) && f.isArchive(1) && !f.isArchive(2));
        QVERIFY(f.folderInArchive(0).isNull());
        QCOMPARE(f.folderInArchive(2), QByteArrayView(""));
        QCOMPARE(f.folderInArchive(3), QByteArrayView("img\\icons\\"));
        QCOMPARE(f.lineCount(0), 5);
        QVERIFY(f.lineBytes(-1, 0).isNull() && f.lineBytes(5, 0).isNull() && f.lineBytes(0, -1).isNull());
        QVERIFY(f.heldBytes() >= files.size()); // its text and a few bytes a record
        QCOMPARE(d.folderName(1), QByteArrayView("ROCK"));
        // Folders are found by their parent's path, in any case; an archive is a folder too.
        for (const char *path : {"\\", "\\music\\", "\\MUSIC\\rock\\", "\\pack.zip\\"})
            QVERIFY2(ContentsList::findFolder(d, f, QLatin1String(path)).exists, path);
        for (const char *path : {"\\SONG.MP3\\", "\\ROCK\\", "\\MUSIC\\ROCK", ""})
            QVERIFY2(!ContentsList::findFolder(d, f, QLatin1String(path)).exists, path);
    }

    void writerReportsAFailedWrite()
    {
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        ContentsListWriter w(&readOnly);
        w.writeRecord({QStringLiteral("x")});
        QVERIFY_THROWS_EXCEPTION(QuilloryError, w.flush());
    }

    // Folders whose names differ only in case stay apart; a path in another case still finds
    // the folder of a disc that has it under one spelling only.
    void foldersThatDifferOnlyInCase()
    {
        const QByteArray folders = written([](ContentsListWriter &w) {
            w.writeFolderRecord(u"abc"_s, u"\\Case\\"_s, 1, u"x"_s);
            w.writeFolderRecord(u"sub"_s, u"\\Case\\ABC\\"_s, 0, u"x"_s);
            w.writeFolderRecord(u"ABC"_s, u"\\Case\\"_s, 5, u"x"_s);
            w.writeFolderRecord(u"Empty"_s, u"\\Case\\"_s, 0, u"x"_s);
            w.writeFolderRecord(u"Case"_s, u"\\"_s, 6, u"x"_s);
            w.writeFolderRecord(u"Win"_s, u"\\"_s, 7, u"x"_s);
        });
        const QByteArray files = written([](ContentsListWriter &w) {
            w.writeFileRecord(u"lower.txt"_s, u"\\Case\\abc\\"_s, 1, u"x"_s, {});
            w.writeFileRecord(u"upper1.txt"_s, u"\\Case\\ABC\\"_s, 2, u"x"_s, {});
            w.writeFileRecord(u"upper2.txt"_s, u"\\Case\\ABC\\"_s, 3, u"x"_s, {});
            w.writeFileRecord(u"empty.txt"_s, u"\\Case\\EMPTY\\"_s, 0, u"x"_s, {});
            w.writeFileRecord(u"win.txt"_s, u"\\Win\\"_s, 7, u"x"_s, {});
        });
        const ContentsList d = ContentsList::fromBytes(folders);
        const ContentsList f = ContentsList::fromBytes(files);
        const auto listed = [&](const QString &path) {
            const ContentsList::Folder found = ContentsList::findFolder(d, f, path);
            QStringList names;
            if (!found.exists)
                return QStringList{u"(none)"_s};
            for (int r : found.subfolders)
                names << d.line(r, ContentsRecord::NameLine);
            for (int r : found.files)
                names << f.line(r, ContentsRecord::NameLine);
            return names;
        };
        QCOMPARE(listed(u"\\Case\\abc\\"_s), QStringList{u"lower.txt"_s});
        QCOMPARE(listed(u"\\Case\\ABC\\"_s), (QStringList{u"sub\\"_s, u"upper1.txt"_s, u"upper2.txt"_s}));
        // An empty folder is found by its record, and lists nothing of another spelling's.
        QCOMPARE(listed(u"\\Case\\Empty\\"_s), QStringList());
        // No folder spelled so: without regard to case, as catalogues made on Windows are read.
        QCOMPARE(listed(u"\\win\\"_s), QStringList{u"win.txt"_s});
        QCOMPARE(listed(u"\\CASE\\EMPTY\\"_s), QStringList{u"empty.txt"_s});
        QCOMPARE(listed(u"\\Case\\nowhere\\"_s), QStringList{u"(none)"_s});
    }

    void datesFollowTheLocale()
    {
        const CatalogueLocale de;
        QCOMPARE(de.formatListDate(QDateTime(QDate(2026, 12, 5), QTime(13, 48, 39))) + u'|' +
                     de.formatListDate(QDateTime(QDate(2026, 12, 5), QTime(0, 0))),
                 u"05.12.2026 13:48:39|05.12.2026"_s);
        QCOMPARE(de.parseDateTime(QStringLiteral("05.12.2026")), QDateTime(QDate(2026, 12, 5), QTime(0, 0)));
        QVERIFY(!de.parseDateTime(QStringLiteral("n/a")).isValid());

        // A US locale: two-digit year widened, AM/PM kept, no zone.
        const CatalogueLocale us{QLocale(QLocale::English, QLocale::UnitedStates)};
        const QString text = us.formatDateTime(QDateTime(QDate(2026, 1, 2), QTime(15, 4, 6)));
        QVERIFY2(text.startsWith(QLatin1String("1/2/2026 3:04:06")) && text.endsWith(QLatin1String("PM")),
                 qPrintable(text));
        QCOMPARE(us.parseDateTime(text), QDateTime(QDate(2026, 1, 2), QTime(15, 4, 6)));

        QCOMPARE(ToDosPrecision(QDateTime(QDate(2026, 1, 1), QTime(10, 0, 59, 999))),
                 QDateTime(QDate(2026, 1, 1), QTime(10, 0, 58)));
    }

    void textsWrittenIntoRecords()
    {
        QCOMPARE(MultiToSingle(u"one\r\ntwo"_s), u"one~!two"_s);
        QCOMPARE(QStringList({SingleToMulti(u"one~!two"_s), SingleToMulti(u"a~b!c!~"_s), SingleToMulti(u"~~!"_s)}),
                 QStringList({u"one\r\ntwo"_s, u"a~b!c!~"_s, u"~\r\n"_s}));
        // Durations round half to even.
        QCOMPARE(QStringList({FormatDuration(204.5), FormatDuration(205.5), FormatDuration(360000.0)}),
                 QStringList({u"00:03:24"_s, u"00:03:26"_s, u"100:00:00"_s}));
    }
};

QTEST_GUILESS_MAIN(TestLists)
#include "tst_lists.moc"
