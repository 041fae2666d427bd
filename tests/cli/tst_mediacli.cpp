// add-disc on a folder of real media files (tests/data/media) and of files that are not what their names say:
// each file's record gets exactly its reader's extra lines, and the hostile files cost the scan nothing.
#include "CliRun.h"
#include "MediaTestUtil.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestMediaCli : public QObject
{
    Q_OBJECT

    // The extra lines of every file record of a disc added from a folder, by the file's catalogue path.
    static QMap<QString, QStringList> scan(const QString &data, const QString &disc, const QString &serial)
    {
        const CliRun added = runCli({"--data", data, "add-disc", disc, "--title", serial, "--label", "MEDIA",
                                     "--serial", serial, "--fs", "ext4"});
        if (added.code != 0) {
            qWarning() << added.err;
            return {};
        }
        // The folder list, a line holding a single TAB, the file list.
        const QByteArray lists = runCli({"--data", data, "cat-lists", serial}).out;
        const QByteArray files = lists.mid(lists.indexOf('\n', lists.indexOf('\t')) + 1);
        QMap<QString, QStringList> result;
        QStringList record;
        for (const QString &line : QString::fromUtf8(files).split(u"\r\n"_s)) {
            if (line != u"-"_s) {
                record << line;
                continue;
            }
            result.insert(record.value(1) + record.value(0), record.mid(4));
            record.clear();
        }
        return result;
    }

    static bool isPicture(const MediaFixture &f)
    {
        return f.kind != MediaReaderKind::Mp3 && f.kind != MediaReaderKind::Wav && f.kind != MediaReaderKind::Ogg;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fixturesAndHostileFiles()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString data = tmp.filePath("data");
        const QString disc = tmp.filePath("disc");
        QVERIFY(QDir().mkpath(data) && QDir().mkpath(disc + "/PICS"));
        QMap<QString, QStringList> expected;
        for (const MediaFixture &f : mediaFixtures()) {
            const QString rel = (isPicture(f) ? "\\PICS\\" : "\\") + f.name;
            QVERIFY(QFile::copy(fixture(f.name), disc + QString(rel).replace(u'\\', u'/')));
            expected.insert(rel, f.lines);
        }
        // Noise under every picture and sound name, and a page that is not text.
        QRandomGenerator random(17);
        for (const char *name : {"noise.mp3", "noise.wav", "noise.ogg", "PICS/noise.jpg", "PICS/noise.jpeg",
                                 "PICS/noise.gif", "PICS/noise.png", "PICS/noise.bmp", "PICS/noise.htm", "README"}) {
            QByteArray bytes(5000, '\0');
            for (char &c : bytes)
                c = char(random.bounded(256));
            QFile f(disc + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(name == QByteArrayView("README") ? QByteArray("plain text\n") : bytes);
            expected.insert(u'\\' + QString::fromLatin1(name).replace(u'/', u'\\'), {});
        }

        for (int i = 0; i < 10; ++i)
            QCOMPARE(runCli({"--data", data, "config", "set", u"Filter %1"_s.arg(i), "1"}).code, 0);
        const QMap<QString, QStringList> got = scan(data, disc, "1234ABCD");
        QCOMPARE(got.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(got.value(it.key()) == it.value(), qPrintable(it.key() + ": " + got.value(it.key()).join('|')));

        // With the MP3 and picture filters off the same files get no extra lines.
        for (int i : {1, 2, 3, 4, 6})
            QCOMPARE(runCli({"--data", data, "config", "set", u"Filter %1"_s.arg(i), "0"}).code, 0);
        const QMap<QString, QStringList> filtered = scan(data, disc, "5678EF01");
        QCOMPARE(filtered.value("\\cbr128-id3v1.mp3"), QStringList{});
        QCOMPARE(filtered.value("\\PICS\\rose.png"), QStringList{});
        QCOMPARE(filtered.value("\\tagged.ogg"), expected.value("\\tagged.ogg"));
    }
};

QTEST_GUILESS_MAIN(TestMediaCli)
#include "tst_mediacli.moc"
