#include "core/AsciiCase.h"
#include "core/TMask.h"
#include "core/QuilloryError.h"

#include <QtTest>

class TestMask : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matches_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fits");
        const auto row = [](const char *m, const char *n, bool f) {
            QTest::addRow("%s ~ %s", m, n) << QString::fromUtf8(m) << QString::fromUtf8(n) << f;
        };
        row("a*b", "AxxB", true);
        row("a*b", "ab", true);
        row("a*b", "xab", false);
        row("a*b", "abx", false);
        row("*.mp3", "Song.MP3", true);
        row("*.mp3", ".mp3", true);
        row("*.mp3", "song.mp3.bak", false);
        row("*.mp3", "a.mp3.mp3", true); // needs backtracking past the first ".mp3"
        row("???", "ABC", true);
        row("???", "AB", false);
        row("???", "ABCD", false);
        row("*?x", "x", true); // "?" after "*" is dropped
        row("*??x", "x", true);
        row("a?*", "a", false);
        row("a?*", "ab", true);
        row("[a-c]*", "Bravo", true);
        row("[a-c]*", "apple", true);
        row("[a-c]*", "delta", false);
        row("[!a-c]*", "delta", true);
        row("[!a-c]*", "Bravo", false);
        row("[!a-c]*", "", false);
        row("temp\\", "TEMP\\", true);
        row("temp\\", "temp", false);
        row("*\\", "any\\", true);
        row("*", "", true);
        row("*", "anything", true);
        row("", "", true);
        row("", "x", false);
        row("**a", "a", true);
        row("*a*b*c", "xxaxxbxxcxx", false);
        row("*a*b*c*", "xxaxxbxxcxx", true);
        row("[xyz]", "Y", true);
        row("ä*", "Ä", false); // only a-z ignore case
        row("ä*", "äx", true);
        row("[a-]]", "]", true); // the range runs from A to "]"
        row("*[0-9].txt", "log7.TXT", true);
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
        QTest::newRow("unclosed") << "[abc"
                                  << "'[abc' is an invalid mask at (5)";
        QTest::newRow("empty set") << "a[]"
                                   << "'a[]' is an invalid mask at (3)";
        QTest::newRow("dash first") << "[-a]"
                                    << "'[-a]' is an invalid mask at (2)";
        QTest::newRow("negated empty") << "[!]"
                                       << "'[!]' is an invalid mask at (3)";
        QTest::newRow("dash at end") << "[a-"
                                     << "'[a-' is an invalid mask at (4)";
        QString many;
        for (int i = 0; i < 31; ++i)
            many += QStringLiteral("*x");
        QTest::newRow("31 runs") << many << QStringLiteral("'%1' is an invalid mask at (62)").arg(many);
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

    void thirtyRunsAreAllowed()
    {
        QString mask;
        for (int i = 0; i < 30; ++i)
            mask += QStringLiteral("*x");
        QVERIFY(TMask(mask).Matches(QString(30, u'x')));
        QVERIFY(!TMask(mask).Matches(QString(29, u'x')));
    }
};

QTEST_GUILESS_MAIN(TestMask)
#include "tst_mask.moc"
