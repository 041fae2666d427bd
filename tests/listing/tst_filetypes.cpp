#include "listing/FileTypes.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstFileTypes : public QObject
{
    Q_OBJECT

private slots:
    // The type of one name never depends on which names were asked before it: names without
    // an extension, names a pattern knows whole, and extensions in another case each get their
    // own type, the same every time.
    void typeDoesNotDependOnWhatWasAskedFirst()
    {
        const QStringList names{
            u"ChangeLog"_s, u"Makefile"_s,       u"notes"_s, u"-"_s,   u"README"_s, u"README.md"_s, u"a.tar.gz"_s,
            u"b.gz"_s,      u"CMakeLists.txt"_s, u"c.txt"_s, u"x.C"_s, u"x.c"_s,    u"back~"_s,     u"ls.1"_s};
        QStringList first;
        for (const QString &n : names)
            first << FileTypes::GetFileType(n);
        QCOMPARE(first.at(0), u"ChangeLog document"_s);
        QCOMPARE(first.at(1), u"Makefile build file"_s);
        QCOMPARE(first.at(2), u"File"_s);
        QCOMPARE(first.at(3), u"File"_s);
        QCOMPARE(first.at(4), u"README document"_s);
        QCOMPARE(first.at(5), u"Markdown document"_s);
        QVERIFY(first.at(6) != first.at(7));
        QVERIFY(first.at(8) != first.at(9));
        QVERIFY(first.at(10) != first.at(11));
        QVERIFY(first.at(12) != u"File"_s);
        // Backwards, after every one of them is cached: the same answers.
        for (qsizetype i = names.size() - 1; i >= 0; --i)
            QCOMPARE(FileTypes::GetFileType(names.at(i)), first.at(i));
        // Names only the extension decides share a key; the others keep their own.
        QCOMPARE(FileTypes::typeKey(u"song.MP3"_s), u".MP3"_s);
        QVERIFY(FileTypes::extensionDecides("song.mp3"));
        for (const char *whole : {"Makefile", "README.txt", "a.tar.gz", "back~", "ls.1", "dir/x.txt"})
            QVERIFY2(!FileTypes::extensionDecides(whole), whole);
    }

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
