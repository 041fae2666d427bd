#include "reports/ReportBuilder.h"
#include "reports/TextWidth.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// TXT cells are padded and cut by the columns a text takes on a fixed-pitch line, so the
// cells after a Japanese or Chinese title stay aligned.
class TstTextWidth : public QObject
{
    Q_OBJECT
private slots:
    void fitsByColumns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<QString>("cell");
        QTest::newRow("latin") << u"abc"_s << 5 << false << u"abc  "_s;
        QTest::newRow("latin cut") << u"abcdef"_s << 4 << false << u"abcd"_s;
        QTest::newRow("japanese takes two each") << u"日本語"_s << 8 << false << u"日本語  "_s;
        QTest::newRow("wide char over the edge leaves a blank") << u"日本語"_s << 5 << false << u"日本 "_s;
        QTest::newRow("full-width latin") << u"ＡＢ"_s << 5 << false << u"ＡＢ "_s;
        QTest::newRow("hangul") << u"한국"_s << 4 << false << u"한국"_s;
        QTest::newRow("combining mark takes none") << u"e\u0301t\u00e9"_s << 4 << false << u"e\u0301t\u00e9 "_s;
        QTest::newRow("mark stays with its letter") << u"ae\u0301x"_s << 2 << false << u"ae\u0301"_s;
        // A character outside the 16-bit plane is never split into half a pair.
        QTest::newRow("wide surrogate pair") << u"a\U00020000b"_s << 2 << false << u"a "_s;
        QTest::newRow("centred wide") << u"中文"_s << 8 << true << u"  中文  "_s;
        QTest::newRow("centred odd surplus") << u"中文"_s << 7 << true << u"  中文 "_s;
    }
    void fitsByColumns()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(bool, centred);
        QFETCH(QString, cell);
        const QString got = centred ? ReportBuilder::FitCentre(text, width) : ReportBuilder::FitLeft(text, width);
        QCOMPARE(got, cell);
        QCOMPARE(TextWidth::of(got), width);
    }
};

QTEST_APPLESS_MAIN(TstTextWidth)
#include "tst_textwidth.moc"
