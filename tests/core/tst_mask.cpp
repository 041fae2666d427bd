#include "core/AsciiCase.h"
#include "core/TMask.h"
#include "core/QuilloryError.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestMask : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matches_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fits");
        const auto row = [](const QByteArray &m, const QByteArray &n, bool f) {
            QTest::addRow("%s ~ %s", m.constData(), n.constData()) << QString::fromUtf8(m) << QString::fromUtf8(n) << f;
        };
        row("a*b", "AxxB", true);
        row("a*b", "ab", true);
        row("a*b", "xab", false);
        row("a*b", "abx", false);
        row("*.mp3", "song.mp3.bak", false);
        row("*.mp3", "a.mp3.mp3", true); // needs backtracking past the first ".mp3"
        row("???", "ABC", true);
        row("???", "AB", false);
        row("*??x", "x", true); // "?" after "*" is dropped
        row("a?*", "a", false);
        row("a?*", "ab", true);
        row("[a-c]*", "Bravo", true);
        row("[a-c]*", "delta", false);
        row("[!a-c]*", "Bravo", false);
        row("[!a-c]*", "", false);
        row("temp\\", "TEMP\\", true);
        row("temp\\", "temp", false);
        row("*", "", true);
        row("", "", true);
        row("", "x", false);
        row("**a", "a", true);
        row("*a*b*c", "xxaxxbxxcxx", false);
        row("*a*b*c*", "xxaxxbxxcxx", true);
        row("ä*", "Ä", false);   // only a-z ignore case
        row("[a-]]", "]", true); // the range runs from A to "]"
        // Thirty runs are the most a mask may hold.
        const QByteArray runs = QByteArray("*x").repeated(30);
        row(runs, QByteArray(30, 'x'), true);
        row(runs, QByteArray(29, 'x'), false);
    }
    void matches()
    {
        QFETCH(QString, mask);
        QFETCH(QString, name);
        QFETCH(bool, fits);
        QCOMPARE(TMask(mask).Matches(name), fits);
    }

    // The one fold of names, which the mask shares with every comparison of names: a-z only,
    // in text and in UTF-8 bytes alike.
    void foldTouchesOnlyAToZ()
    {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        const QByteArray folded = FoldedAZ(all);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(uchar(folded[i]), uchar(i >= 'a' && i <= 'z' ? i - 32 : i));
        QVERIFY(SameAZ(u"Ärger Zone", u"Ärger zONE") && !SameAZ(u"ärger", u"ÄRGER") && !SameAZ(u"ab", u"abc"));
    }

    void invalid_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("message");
        const auto row = [](const QString &mask, int at) {
            QTest::addRow("%s", qPrintable(mask)) << mask << u"'%1' is an invalid mask at (%2)"_s.arg(mask).arg(at);
        };
        row(u"[abc"_s, 5);             // unclosed
        row(u"a[]"_s, 3);              // an empty set
        row(u"[-a]"_s, 2);             // a dash first
        row(u"[!]"_s, 3);              // negated empty
        row(u"[a-"_s, 4);              // a dash at the end
        row(u"*x"_s.repeated(31), 62); // thirty-one runs
    }
    void invalid()
    {
        QFETCH(QString, mask);
        QFETCH(QString, message);
        try {
            TMask m(mask);
            QFAIL("no exception");
        } catch (const QuilloryError &e) {
            QCOMPARE(e.message(), message);
        }
    }
};

QTEST_GUILESS_MAIN(TestMask)
#include "tst_mask.moc"
