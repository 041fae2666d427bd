// quillory-cli search on a catalogue whose dates are written the German way: in this process on
// buffers with the German locale set, and as the real program in a German environment while
// another program holds the catalogue, first with nothing cached and then from the name index.

#include "CliRun.h"
#include "TestCatalogue.h"

#include "listing/FileTypes.h"
#include "store/Catalogue.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using TestCatalogue::date;

class TestSearchCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString data() const { return m_tmp.filePath(u"data"_s); }

    CliRun search(const QStringList &args) { return runCli(QStringList{u"--data"_s, data(), u"search"_s} + args); }
    // The names of the hits, in the order found.
    static QStringList names(const CliRun &r)
    {
        QStringList out;
        for (const QByteArray &line : r.out.split('\n'))
            if (!line.isEmpty())
                out << QString::fromUtf8(line.split('\t').first());
        return out;
    }
    static QByteArray type(const QString &name) { return FileTypes::GetFileType(name).toUtf8(); }
    CliRun program(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LC_ALL"_s, u"de_DE.UTF-8"_s);
        env.insert(u"XDG_CACHE_HOME"_s, m_tmp.filePath(u"cache"_s));
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QUILLORY_CLI"), QStringList{u"--data"_s, data(), u"search"_s} + args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString db = DataPaths::dbFolder(data() + u'/');
        TestCatalogue::packDisc(db, u"0000000A"_s, [](ContentsListWriter &folders, ContentsListWriter &files) {
            folders.writeFolderRecord(u"ROCK"_s, u"\\"_s, 3024, date(2021, 5, 1));
            files.writeFileRecord(u"Hard Rock.mp3"_s, u"\\ROCK\\"_s, 2000, date(2021, 5, 2, 16, 30),
                                  {u"Title: Laut"_s});
            files.writeFileRecord(u"notes"_s, u"\\ROCK\\"_s, 1024, date(2021, 5, 3));
            files.writeFileRecord(u"ARCHIV.ZIP"_s, u"\\"_s, 900, date(2021, 4, 1),
                                  {QString::fromLatin1(ContentsRecord::CompressedFolder)});
            files.writeArchiveEntry(u"rock.txt"_s, u"\\ARCHIV.ZIP\\"_s, 12, date(2021, 3, 1), u"doc\\"_s);
        });
        TestCatalogue::packDisc(db, u"0000000B"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"bild.jpg"_s, u"\\"_s, 4096, date(2022, 1, 1));
            files.writeFileRecord(u"Rockig.JPG"_s, u"\\"_s, 0, date(2022, 1, 2));
        });
        TextCodec::writeLines(db + u"groups.tree"_s,
                              {u"Sammlung"_s, u"\tMusik"_s, u"\t\tKonzert|K|0000000A|CDFS|5000||Rock|1|x|"_s,
                               u"\tFotos|F|0000000B|UDF|4096|||2|x|"_s});
    }

    void linesAndSummary()
    {
        const CliRun r = search({u"rock"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, "ROCK\tFolder\tKonzert:\\\t3024\t" + date(2021, 5, 1).toUtf8() +
                            "\n"
                            "Hard Rock.mp3\t" +
                            type(u"Hard Rock.mp3"_s) + "\tKonzert:\\ROCK\\\t2000\t" +
                            date(2021, 5, 2, 16, 30).toUtf8() +
                            "\n"
                            "rock.txt\t" +
                            type(u"rock.txt"_s) + "\tKonzert:\\ARCHIV.ZIP\\doc\\\t12\t" + date(2021, 3, 1).toUtf8() +
                            "\n"
                            "Rockig.JPG\t" +
                            type(u"Rockig.JPG"_s) + "\tFotos:\\\t0\t" + date(2022, 1, 2).toUtf8() + "\n");
        // The German locale's separators.
        QCOMPARE(r.err, QByteArray("4 found, total size 4,92 KB\n"));
        QCOMPARE(names(search({u"archiv"_s})), QStringList({u"ARCHIV.ZIP"_s}));
        QVERIFY(search({u"archiv"_s}).out.contains("\tCompressed Folder\t"));
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("all") << QStringList()
                             << QStringList{u"ROCK"_s,     u"Hard Rock.mp3"_s, u"notes"_s,     u"ARCHIV.ZIP"_s,
                                            u"rock.txt"_s, u"bild.jpg"_s,      u"Rockig.JPG"_s};
        QTest::newRow("pattern") << QStringList{u"*.jpg"_s} << QStringList{u"bild.jpg"_s, u"Rockig.JPG"_s};
        QTest::newRow("folders only") << QStringList{u"--category"_s, u"2"_s} << QStringList{u"ROCK"_s};
        QTest::newRow("music") << QStringList{u"--category"_s, u"5"_s} << QStringList{u"Hard Rock.mp3"_s};
        QTest::newRow("images") << QStringList{u"r"_s, u"--category"_s, u"4"_s} << QStringList{u"Rockig.JPG"_s};
        QTest::newRow("larger 1KB") << QStringList{u"--larger"_s, u"1KB"_s, u"--category"_s, u"1"_s}
                                    << QStringList{u"Hard Rock.mp3"_s, u"notes"_s, u"bild.jpg"_s};
        QTest::newRow("smaller 12") << QStringList{u"--smaller"_s, u"12"_s}
                                    << QStringList{u"rock.txt"_s, u"Rockig.JPG"_s};
        QTest::newRow("newer, bound included")
            << QStringList{u"--newer"_s, u"2021-05-02T16:30:00"_s, u"--in"_s, u"Musik"_s}
            << QStringList{u"Hard Rock.mp3"_s, u"notes"_s};
        QTest::newRow("between") << QStringList{u"--newer"_s, u"2021-04-01T00:00:00"_s, u"--older"_s,
                                                u"2021-05-02T16:29:59"_s}
                                 << QStringList{u"ROCK"_s, u"ARCHIV.ZIP"_s};
        QTest::newRow("in a disc") << QStringList{u"--in"_s, u"Fotos"_s} << QStringList{u"bild.jpg"_s, u"Rockig.JPG"_s};
        QTest::newRow("limit") << QStringList{u"--limit"_s, u"2"_s} << QStringList{u"ROCK"_s, u"Hard Rock.mp3"_s};
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, found);
        const CliRun r = search(args);
        QCOMPARE(r.code, 0);
        QCOMPARE(names(r), found);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("category") << QStringList{u"--category"_s, u"9"_s} << 2 << QByteArray("--category wants 0 to 8");
        QTest::newRow("size") << QStringList{u"--larger"_s, u"1GB"_s} << 2 << QByteArray("\"1GB\"");
        QTest::newRow("date") << QStringList{u"--newer"_s, u"01.01.2020"_s} << 2 << QByteArray("2020-01-01T12:00:00");
        QTest::newRow("node") << QStringList{u"--in"_s, u"Nirgends"_s} << 1
                              << QByteArray("There is no group or disc named \"Nirgends\".");
        QTest::newRow("mask") << QStringList{u"[x"_s} << 1 << QByteArray("'[x' is an invalid mask at (");
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        const CliRun r = search(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(r.out, QByteArray());
    }

    // The real program, in a German environment, while the window holds the catalogue: the
    // same hits with nothing cached and then from its name index, which is not kept in DB.
    void theProgramWhileTheWindowHoldsTheCatalogue()
    {
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        Catalogue holder(data() + u'/');
        holder.lock();
        const QStringList args{u"o"_s, u"--newer"_s, u"2021-05-01T00:00:00"_s};
        const CliRun inProcess = search(args);
        QCOMPARE(names(inProcess), QStringList({u"ROCK"_s, u"Hard Rock.mp3"_s, u"notes"_s, u"Rockig.JPG"_s}));
        const CliRun cold = program(args);
        QCOMPARE(cold.code, 0);
        QCOMPARE(cold.out, inProcess.out);
        QCOMPARE(cold.err, inProcess.err);
        int indexFiles = 0;
        QDirIterator it(m_tmp.filePath(u"cache/Quillory!/names"_s), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++indexFiles;
        }
        QCOMPARE(indexFiles, 2);
        const CliRun warm = program(args);
        QCOMPARE(warm.out, inProcess.out);
        QCOMPARE(warm.err, inProcess.err);
        QStringList db = QDir(DataPaths::dbFolder(data() + u'/')).entryList(QDir::Files);
        db.sort();
        QCOMPARE(db, QStringList({u"0000000A.dat"_s, u"0000000B.dat"_s, holder.lockName(), u"groups.tree"_s}));
    }
};

QTEST_GUILESS_MAIN(TestSearchCli)
#include "tst_searchcli.moc"
