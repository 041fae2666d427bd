#include "browser/FormatSize.h"
#include "store/CatalogueLocale.h"
#include "store/ContentsList.h"
#include "store/SingleLine.h"
#include "core/TextCodec.h"

#include <QBuffer>
#include <QtTest>

// Contents lists, the values written into them, and the text encodings of catalogue files.
class TestLists : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void writerProducesRecords()
    {
        QBuffer buf;
        buf.open(QIODevice::WriteOnly);
        ContentsListWriter w(&buf);
        w.writeFileRecord(QStringLiteral("SONG.MP3"), QStringLiteral("\\MUSIC\\ROCK\\"), 5000000000ULL,
                          QStringLiteral("05.12.2026 13:48:38"),
                          {QStringLiteral("Title: A"), QStringLiteral("Duration: 00:03:25")});
        w.writeFileRecord(QStringLiteral("bad\r\nname"), QStringLiteral("\\"), 0, QStringLiteral("01.01.2000"));
        w.writeFolderRecord(QStringLiteral("ROCK\\"), QStringLiteral("\\MUSIC\\"), 5000000000ULL,
                            QStringLiteral("01.01.2000"));
        QCOMPARE(buf.data(), QByteArray("SONG.MP3\r\n\\MUSIC\\ROCK\\\r\n5000000000\r\n05.12.2026 13:48:38\r\n"
                                        "Title: A\r\nDuration: 00:03:25\r\n-\r\n"
                                        "bad??name\r\n\\\r\n0\r\n01.01.2000\r\n-\r\n"
                                        "ROCK\\\r\n\\MUSIC\\\r\n5000000000\r\n01.01.2000\r\n-\r\n"));
    }

    void readerIndexesByFolder()
    {
        // LF-only input, extra lines of any text (a "-" inside a line is not an end), a final record
        // without its "-", and folder paths in differing case.
        const QByteArray bytes("a.txt\n\\Docs\\\n1\n01.01.2000\n-\n"
                               "b.mp3\n\\Docs\\\n2\n01.01.2000 10:00:00\nTitle: - x -\nArtist: -\n-\n"
                               "c.txt\n\\\n3\n01.01.2000\n-\n"
                               "d.txt\n\\DOCS\\\n4\n02.01.2000");
        const ContentsList l = ContentsList::fromBytes(bytes);
        QCOMPARE(l.recordCount(), 4);
        QCOMPARE(l.lineCount(1), 6);
        QCOMPARE(l.line(1, 5), QStringLiteral("Artist: -"));
        QCOMPARE(l.recordsIn(QStringLiteral("\\docs\\")), (std::vector<int>{0, 1, 3}));
        QCOMPARE(l.recordsIn(QStringLiteral("\\")), (std::vector<int>{2}));
        QVERIFY(l.recordsIn(QStringLiteral("\\none\\")).empty());
        QCOMPARE(l.line(3, 3), QStringLiteral("02.01.2000"));
    }

    void fixedLinesMayHoldADash()
    {
        // A file named "-" is still a record of its own, and so is an archive entry named "-".
        const ContentsList l = ContentsList::fromBytes("-\r\n\\\r\n1\r\n01.01.2000\r\n-\r\n"
                                                       "next\r\n\\\r\n2\r\n01.01.2000\r\n-\r\n");
        QCOMPARE(l.recordCount(), 2);
        QCOMPARE(l.lines(0), (QStringList{"-", "\\", "1", "01.01.2000"}));
        QCOMPARE(l.line(1, 0), QStringLiteral("next"));
    }

    void emptyListHasNoRecords() { QCOMPARE(ContentsList::fromBytes(QByteArray()).recordCount(), 0); }

    void windows1252ListIsConverted()
    {
        const ContentsList l = ContentsList::fromBytes("Caf\xe9.mp3\r\n\\M\xfcsik\\\r\n1\r\n01.01.2000\r\n-\r\n");
        QCOMPARE(l.line(0, 0), QStringLiteral("Café.mp3"));
        QCOMPARE(l.recordsIn(QStringLiteral("\\MÜSIK\\")).size(), size_t(1));
    }

    void encodings()
    {
        QVERIFY(TextCodec::isValidUtf8("plain"));
        QVERIFY(TextCodec::isValidUtf8("M\xc3\xbcsik"));
        QVERIFY(!TextCodec::isValidUtf8("M\xfcsik"));
        QVERIFY(!TextCodec::isValidUtf8("\xc0\xaf"));            // overlong
        QVERIFY(!TextCodec::isValidUtf8("\xed\xa0\x80"));        // surrogate
        QVERIFY(!TextCodec::isValidUtf8("ends badly \xe2\x82")); // cut short
        QCOMPARE(TextCodec::decode("\x93quoted\x94 \x80"), QStringLiteral("\u201Cquoted\u201D \u20AC"));
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\nb\nc")), (QStringList{"a", "b", "c"}));
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
        QCOMPARE(TextCodec::joinLines({QStringLiteral("ä"), QString()}), QByteArray("\xc3\xa4\r\n\r\n"));
    }

    void singleLineEncoding()
    {
        QCOMPARE(MultiToSingle(QStringLiteral("one\r\ntwo")), QStringLiteral("one~!two"));
        QCOMPARE(SingleToMulti(QStringLiteral("one~!two")), QStringLiteral("one\r\ntwo"));
        QCOMPARE(SingleToMulti(QStringLiteral("a~b!c!~")), QStringLiteral("a~b!c!~"));
        QCOMPARE(SingleToMulti(QStringLiteral("~~!")), QStringLiteral("~\r\n"));
    }

    void datesFollowTheLocale()
    {
        const CatalogueLocale de;
        QCOMPARE(de.formatDateTime(QDateTime(QDate(2026, 12, 5), QTime(13, 48, 39))),
                 QStringLiteral("05.12.2026 13:48:39"));
        QCOMPARE(de.formatListDate(QDateTime(QDate(2026, 12, 5), QTime(0, 0))), QStringLiteral("05.12.2026"));
        QCOMPARE(de.formatListDate(QDateTime(QDate(2026, 12, 5), QTime(0, 0, 2))),
                 QStringLiteral("05.12.2026 00:00:02"));
        QCOMPARE(de.parseDateTime(QStringLiteral("05.12.2026 13:48:39")),
                 QDateTime(QDate(2026, 12, 5), QTime(13, 48, 39)));
        QCOMPARE(de.parseDateTime(QStringLiteral("05.12.2026")), QDateTime(QDate(2026, 12, 5), QTime(0, 0)));
        QVERIFY(!de.parseDateTime(QStringLiteral("n/a")).isValid());

        // A US locale: two-digit year widened, AM/PM kept, no zone.
        const CatalogueLocale us{QLocale(QLocale::English, QLocale::UnitedStates)};
        const QString text = us.formatDateTime(QDateTime(QDate(2026, 1, 2), QTime(15, 4, 6)));
        QVERIFY2(text.startsWith(QLatin1String("1/2/2026 3:04:06")), qPrintable(text));
        QVERIFY2(text.endsWith(QLatin1String("PM")), qPrintable(text));
        QCOMPARE(us.parseDateTime(text), QDateTime(QDate(2026, 1, 2), QTime(15, 4, 6)));

        QCOMPARE(ToDosPrecision(QDateTime(QDate(2026, 1, 1), QTime(10, 0, 59, 999))),
                 QDateTime(QDate(2026, 1, 1), QTime(10, 0, 58)));
    }

    void durations_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00:00:00";
        QTest::newRow("half down to even") << 204.5 << "00:03:24";
        QTest::newRow("half up to even") << 205.5 << "00:03:26";
        QTest::newRow("above half") << 204.51 << "00:03:25";
        QTest::newRow("hours") << 4329.0 << "01:12:09";
        QTest::newRow("hundred hours") << 360000.0 << "100:00:00";
    }
    void durations()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatDuration(seconds), text);
    }

    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        // With the German locale: "." groups thousands, "," is the decimal separator.
        QTest::newRow("0") << qint64(0) << "0,00 Bytes";
        QTest::newRow("1000") << qint64(1000) << "1.000,00 Bytes";
        QTest::newRow("1023") << qint64(1023) << "1.023,00 Bytes";
        QTest::newRow("1024") << qint64(1024) << "1,00 KB";
        QTest::newRow("1536") << qint64(1536) << "1,50 KB";
        QTest::newRow("1048575") << qint64(1048575) << "1.024,00 KB";
        QTest::newRow("1048576") << qint64(1048576) << "1,00 MB";
        QTest::newRow("DVD") << qint64(4700000000LL) << "4,38 GB";
        QTest::newRow("2 TB") << qint64(2) * 1024 * 1024 * 1024 * 1024 << "2,00 TB";
        QTest::newRow("8 EB") << std::numeric_limits<qint64>::max() << "8,00 EB";
    }
    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(FormatSize(bytes), text);
    }

    void formatSizeEnglish()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(FormatSize(1000), QStringLiteral("1,000.00 Bytes"));
        QCOMPARE(FormatSize(1536), QStringLiteral("1.50 KB"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
};

QTEST_GUILESS_MAIN(TestLists)
#include "tst_lists.moc"
