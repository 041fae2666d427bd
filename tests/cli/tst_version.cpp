// Both programs answer --version with the same line, without a display or a catalogue.
#include "RunProgram.h"
#include "core/Version.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestVersion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsTheVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        const QString cli = qEnvironmentVariable("QUILLORY_CLI");
        const QString window = QStringLiteral(QUILLORY_BINARY_DIR "/quillory");
        QTest::newRow("quillory-cli --version") << cli << u"--version"_s;
        QTest::newRow("quillory-cli -v") << cli << u"-v"_s;
        QTest::newRow("quillory --version") << window << u"--version"_s;
    }
    void printsTheVersion()
    {
        QFETCH(QString, program);
        QFETCH(QString, option);
        if (!QFileInfo(program).isExecutable())
            QSKIP("the program is not built");
        const ProgramRun run = runProgram(program, {option}, {}, {}, {u"QT_QPA_PLATFORM="_s, u"DISPLAY="_s});
        QCOMPARE(run.code, 0);
        QCOMPARE(QString::fromUtf8(run.out), u"Quillory! "_s + QuilloryVersion() + u'\n');
    }
};

QTEST_GUILESS_MAIN(TestVersion)
#include "tst_version.moc"
