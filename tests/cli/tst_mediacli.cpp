// add-disc on a folder of real media files (tests/data/media) and of files that are not what
// their names say: each file's record gets exactly its reader's extra lines, and the hostile
// files cost the scan nothing.
#include "cli/CliApp.h"

#include <QBuffer>
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

    struct Run {
        int code;
        QByteArray out;
        QByteArray err;
    };

    static Run run(const QStringList &args)
    {
        QByteArray outBytes, errBytes, inBytes;
        QBuffer out(&outBytes), err(&errBytes), in(&inBytes);
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        CliApp app;
        const int code = app.run(args, CliIo{&out, &err, &in});
        return {code, outBytes, errBytes};
    }

    // The extra lines of every file record, by the file's catalogue path.
    static QMap<QString, QStringList> extras(const QByteArray &fileList)
    {
        QMap<QString, QStringList> result;
        QStringList record;
        for (const QString &line : QString::fromUtf8(fileList).split(u"\r\n"_s)) {
            if (line != u"-"_s) {
                record << line;
                continue;
            }
            result.insert(record.value(1) + record.value(0), record.mid(4));
            record.clear();
        }
        return result;
    }

    QMap<QString, QStringList> scan(const QString &data, const QString &disc, const QString &serial)
    {
        const Run added = run({"--data", data, "add-disc", disc, "--title", serial, "--label", "MEDIA", "--serial",
                               serial, "--fs", "ext4"});
        if (added.code != 0)
            qWarning() << added.err;
        if (added.code != 0)
            return {};
        const Run lists = run({"--data", data, "cat-lists", serial});
        // The folder list, a line holding a single TAB, the file list.
        const qsizetype tab = lists.out.indexOf('\t');
        return extras(lists.out.mid(lists.out.indexOf('\n', tab) + 1));
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
        const QDir media(QStringLiteral(QUILLORY_TEST_DATA "/media"));
        for (const QString &name : media.entryList(QDir::Files)) {
            if (name.endsWith(".sh"))
                continue;
            const bool picture =
                !name.endsWith(".mp3") && !name.endsWith(".wav") && !name.endsWith(".ogg") && !name.endsWith(".ape");
            QVERIFY(QFile::copy(media.filePath(name), disc + (picture ? "/PICS/" : "/") + name));
        }
        // Noise under every picture and sound name, and a page that is not text.
        QRandomGenerator random(17);
        for (const char *name : {"noise.mp3", "noise.wav", "noise.ogg", "PICS/noise.jpg", "PICS/noise.jpeg",
                                 "PICS/noise.gif", "PICS/noise.png", "PICS/noise.bmp", "PICS/noise.htm"}) {
            QByteArray bytes(5000, '\0');
            for (char &c : bytes)
                c = char(random.bounded(256));
            QFile f(disc + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        QFile readme(disc + "/README");
        QVERIFY(readme.open(QIODevice::WriteOnly));
        readme.write("plain text\n");
        readme.close();

        for (int i = 0; i < 10; ++i)
            QCOMPARE(run({"--data", data, "config", "set", u"Filter %1"_s.arg(i), "1"}).code, 0);
        const QMap<QString, QStringList> got = scan(data, disc, "1234ABCD");

        const QMap<QString, QStringList> expected{
            {"\\cbr128-id3v1.mp3",
             {"Title: Blank Padded", "Artist: Lame Artist", "Album: Lame Album", "Duration: 00:00:01",
              "Bit rate: CBR 128kbps"}},
            {"\\vbr-xing-id3v23.mp3",
             {"Title: Xing Title", "Artist: Xing Artist", "Album: Xing Album", "Duration: 00:00:01",
              "Bit rate: VBR 114kbps"}},
            {"\\cbr64-id3v24-id3v1.mp3", {"Duration: 00:00:01", "Bit rate: CBR 64kbps"}},
            {"\\cbr160-notag.mp3", {"Duration: 00:00:01", "Bit rate: CBR 160kbps"}},
            {"\\mpeg2-mono-vbr.mp3", {"Duration: 00:00:01", "Bit rate: VBR 34kbps"}},
            {"\\mpeg25-cbr16.mp3", {"Duration: 00:00:01", "Bit rate: CBR 16kbps"}},
            {"\\random.mp3", {}},
            {"\\noise.mp3", {}},
            {"\\stereo16.wav", {"Duration: 00:00:00", "Sample rate: 44100 hz", "Bit rate: 16 bit"}},
            {"\\mono16.wav", {"Duration: 00:00:00", "Sample rate: 44100 hz", "Bit rate: 16 bit"}},
            {"\\mono8.wav", {"Duration: 00:00:02", "Sample rate: 8000 hz", "Bit rate: 8 bit"}},
            {"\\stereo8.wav", {"Duration: 00:00:02", "Sample rate: 11025 hz", "Bit rate: 8 bit"}},
            {"\\noise.wav", {}},
            {"\\tagged.ogg",
             {"Title: Ogg Title", "Artist: Ogg Artist", "Album: Ogg Album", "Duration: 00:00:01", "Bit rate: 55 kbit"}},
            {"\\plain.ogg", {"Duration: 00:00:01", "Bit rate: 36 kbit"}},
            {"\\noise.ogg", {}},
            {"\\notogg.ape", {}},
            {"\\README", {}},
            {"\\PICS\\bottomup.bmp", {"Width: 37", "Height:21"}},
            {"\\PICS\\topdown.bmp", {"Width: 37", "Height:-21"}},
            {"\\PICS\\baseline.jpg", {"Width: 70", "Height:46"}},
            {"\\PICS\\progressive.jpg", {"Width: 0", "Height:0"}},
            {"\\PICS\\gif89a.gif", {"Width: 40", "Height:30"}},
            {"\\PICS\\rose.png", {"Width: 70", "Height:46"}},
            {"\\PICS\\truncated.png", {}},
            {"\\PICS\\noise.jpg", {}},
            {"\\PICS\\noise.jpeg", {}},
            {"\\PICS\\noise.gif", {}},
            {"\\PICS\\noise.png", {}},
            {"\\PICS\\noise.bmp", {}},
            {"\\PICS\\noise.htm", {}},
            {"\\PICS\\multiline.html", {"Title: Quarterly report", "  second line"}},
            {"\\PICS\\entities.html", {"Title: Tom  Jerry show"}},
            {"\\PICS\\attributes.html", {}},
            {"\\PICS\\cp1252.html", {"Title: Café menu"}},
        };
        QCOMPARE(got.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(got.value(it.key()) == it.value(), qPrintable(it.key() + ": " + got.value(it.key()).join('|')));

        // With the MP3 and picture filters off the same files get no extra lines.
        for (int i : {1, 2, 3, 4, 6})
            QCOMPARE(run({"--data", data, "config", "set", u"Filter %1"_s.arg(i), "0"}).code, 0);
        const QMap<QString, QStringList> filtered = scan(data, disc, "5678EF01");
        QCOMPARE(filtered.value("\\cbr128-id3v1.mp3"), QStringList{});
        QCOMPARE(filtered.value("\\PICS\\rose.png"), QStringList{});
        QCOMPARE(filtered.value("\\tagged.ogg"), expected.value("\\tagged.ogg"));
    }
};

QTEST_GUILESS_MAIN(TestMediaCli)
#include "tst_mediacli.moc"
