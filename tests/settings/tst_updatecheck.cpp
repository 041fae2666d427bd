#include "LocalHttpServer.h"
#include "settings/UpdateCheck.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using Answer = UpdateCheck::Answer;

// What each answer of the server's version file means for a program of release 1.5.115. A missing
// file, no server and a server that never answers are checked from the window, with the message
// they give.
class TestUpdateCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("version");
        QTest::newRow("same") << QByteArray("ver=1.5.115") << int(Answer::UpToDate) << u"1.5.115"_s;
        QTest::newRow("newer") << QByteArray("ver=1.5.116") << int(Answer::Newer) << u"1.5.116"_s;
        // Compared as text these two would come out the other way round.
        QTest::newRow("newer minor, fewer digits") << QByteArray("ver=1.10") << int(Answer::Newer) << u"1.10"_s;
        QTest::newRow("older build, fewer digits") << QByteArray("ver=1.5.99") << int(Answer::UpToDate) << u"1.5.99"_s;
        QTest::newRow("newer, blanks and line end") << QByteArray("ver= 2.0 \r\n") << int(Answer::Newer) << u"2.0"_s;
        QTest::newRow("same, written longer") << QByteArray("ver=1.5.115.0") << int(Answer::UpToDate) << u"1.5.115.0"_s;
        QTest::newRow("empty answer") << QByteArray() << int(Answer::NoAnswer) << QString();
        QTest::newRow("no ver=") << QByteArray("<html>Moved</html>") << int(Answer::NoAnswer) << QString();
        QTest::newRow("not a release") << QByteArray("ver=1.5.x") << int(Answer::NoAnswer) << QString();
        QTest::newRow("signed part") << QByteArray("ver=1.-5") << int(Answer::NoAnswer) << QString();
    }
    void answers()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, kind);
        QFETCH(QString, version);
        const Answer a = UpdateCheck::judge(file, u"1.5.115"_s);
        QCOMPARE(int(a.kind), kind);
        if (kind != Answer::NoAnswer)
            QCOMPARE(a.version, version);
    }

    // Fetched from a web server on this machine at the version file's address; a body larger than a
    // version file is not taken. An answer taken whole is seen through the window's update check.
    void oversizedAnswerIsNotTaken()
    {
        LocalHttpServer server;
        server.setBody("ver=9.9.9" + QByteArray(1 << 20, ' '));
        QCOMPARE(UpdateCheck::download(UpdateCheck::versionFileUrl(server.address()), 5000), QByteArray());
        QCOMPARE(server.paths(), QStringList{u"/software/Quillory_ver.txt"_s});
    }

    // The address as the user wrote it, blanks and a doubled slash left out; unset by default.
    void serverSetting()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"Quillory!.conf"_s);
        QVERIFY(UpdateCheck::serverSetting(file).isEmpty());
        QSettings(file, QSettings::IniFormat).setValue(u"UpdateServer"_s, u"  https://tarnwick.example//  "_s);
        QCOMPARE(UpdateCheck::siteUrl(UpdateCheck::serverSetting(file)).toString(), u"https://tarnwick.example/"_s);
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
