// quillory-cli verify as a user runs it: a disc catalogued with checksums, read again as it is
// and after its bytes rotted. What counts as a difference is tested in tests/acquire.
#include "RunProgram.h"
#include "ScanFixture.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestVerifyCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString at(const QString &rel) const { return m_root.path() + u'/' + rel; }
    ProgramRun cli(const QStringList &args) const
    {
        return runProgram(qEnvironmentVariable("QUILLORY_CLI"), QStringList{u"--data"_s, at(u"cat"_s)} + args);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(at(u"config"_s)));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(at(u"cache"_s)));
    }

    void exitStatusSaysWhetherAnythingDiffers()
    {
        const QDateTime when(QDate(2004, 3, 1), QTime(10, 20, 30));
        QVERIFY(ScanFixture::writeFile(at(u"vol/notes.txt"_s), "12345", when));
        QVERIFY(ScanFixture::writeFile(at(u"vol/MUSIC/song.mp3"_s), QByteArray(300, 's'), when));
        QCOMPARE(cli({u"config"_s, u"set"_s, u"Checksums"_s, u"1"_s}).code, 0);
        QCOMPARE(cli({u"add-disc"_s, at(u"vol"_s), u"--serial"_s, u"0000000A"_s, u"--title"_s, u"Vol"_s}).code, 0);

        ProgramRun r = cli({u"verify"_s, u"Vol"_s, at(u"vol"_s)});
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, "2 files matched; 0 missing, 0 new, 0 changed, 0 corrupt, 0 unreadable.\n");
        QCOMPARE(r.code, 0);

        QVERIFY(ScanFixture::writeFile(at(u"vol/MUSIC/song.mp3"_s), QByteArray(299, 's') + 't', when));
        r = cli({u"verify"_s, u"0000000a"_s, at(u"vol"_s)});
        QVERIFY2(r.out.startsWith("corrupt\t\\MUSIC\\song.mp3\tchecksum "), r.out.constData());
        QCOMPARE(r.out.count('\n'), 1);
        QVERIFY2(r.err.startsWith("1 file matched; 0 missing, 0 new, 0 changed, 1 corrupt"), r.err.constData());
        QCOMPARE(r.code, 3);

        // Not in any drive and no folder given: an error, not a difference.
        r = cli({u"verify"_s, u"Vol"_s});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("is in no drive"), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestVerifyCommand)
#include "tst_verifycommand.moc"
