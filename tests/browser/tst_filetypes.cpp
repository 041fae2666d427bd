#include "browser/FileTypes.h"

#include <QTest>

class TstFileTypes : public QObject
{
    Q_OBJECT

private slots:
    void musicFile_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("music");
        QTest::newRow("with dot, lower case") << ".mp3" << true;
        QTest::newRow("without dot, mixed case") << "Midi" << true;
        QTest::newRow("two-letter") << ".ra" << true;
        QTest::newRow("prefix of a music type") << ".MI" << false;
        QTest::newRow("longer than a music type") << ".MP3X" << false;
        QTest::newRow("only the first dot goes") << "..MP3" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot alone") << "." << false;
        // Only a-z fold: a dotless i does not become I.
        QTest::newRow("non-ASCII letter") << QString::fromUtf8(".m\xc4\xb1"
                                                               "d")
                                          << false;
    }
    void musicFile()
    {
        QFETCH(QString, extension);
        QFETCH(bool, music);
        QCOMPARE(FileTypes::IsMusicFile(extension), music);
    }
};

QTEST_GUILESS_MAIN(TstFileTypes)
#include "tst_filetypes.moc"
