#include "core/QuilloryError.h"
#include "settings/Preferences.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The preferences: first-run state, the filter lookup by caption, the stored values with
// the rules for missing, odd and out-of-range values, and the exclusion file.
class TestPreferences : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString ini() const { return m_dir->path() + u"/cfg/Quillory!.conf"_s; }

    void store(const QList<std::pair<QString, QVariant>> &values)
    {
        QSettings s(ini(), QSettings::IniFormat);
        for (const auto &[k, v] : values)
            s.setValue(k, v);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void firstRun()
    {
        Preferences p;
        p.load(ini()); // no file
        for (int i = 0; i < Preferences::FilterCount; ++i)
            QCOMPARE(p.filter(i), i == 0 || i == 7);
        QVERIFY(p.autoInsert() && p.eject() && p.correctLabel() && p.savePos() && p.grids());
        QVERIFY(p.discEditDblClick() && p.autoExpand() && p.unlimited());
        QVERIFY(!p.emptyDirs() && !p.emptyFiles() && !p.hiddenFiles() && !p.objectInfo());
        QCOMPARE(p.action(), 3);
        QCOMPARE(p.maxResults(), 1000);
        QVERIFY(!p.viewStyle() && !p.treeWidth());
        QVERIFY(p.exclusions().isEmpty());
    }

    void activeFilterByCaption()
    {
        // The probe is taken in lower case and found as a plain substring of a ticked filter's caption:
        // ".htm" in the HTML caption, ".jpeg" in the JPEG one; ".exe" is in none.
        Preferences p;
        const auto active = [&p](const QStringList &probes) {
            QStringList found;
            for (const QString &probe : probes)
                if (p.IsActiveFilter(probe))
                    found << probe;
            return found;
        };
        const QStringList probes{u".zip"_s,  u".ZIP"_s,  u".ape"_s,   u".jpg"_s, u".jpe"_s,
                                 u".jpeg"_s, u".html"_s, u".shtml"_s, u".htm"_s, u".exe"_s};
        QCOMPARE(active(probes), (QStringList{u".zip"_s, u".ZIP"_s, u".ape"_s}));
        p.setFilter(2, true);
        p.setFilter(9, true);
        QCOMPARE(active(probes), probes.mid(0, 9));
    }

    void roundTrip()
    {
        // Every value away from its first-run state, through the file and back.
        Preferences a;
        for (const QString &name : Preferences::valueNames()) {
            const QString v = a.value(name);
            if (v == u"0"_s || v == u"1"_s)
                QVERIFY2(a.setValue(name, v == u"0"_s ? u"1"_s : u"0"_s), qPrintable(name));
        }
        a.setAction(1);
        a.setMaxResults(50);
        a.setViewStyle(2);
        a.setTreeWidth(240);
        a.setTheme(u"Blue, dark"_s);
        a.setAutoExpandGroups(u"|Music|Live|"_s);
        a.save(ini());

        Preferences b;
        b.load(ini());
        for (const QString &name : Preferences::valueNames())
            QCOMPARE(b.value(name), a.value(name));

        // Stored under the registry value names.
        QSettings s(ini(), QSettings::IniFormat);
        QCOMPARE(s.value(u"Filter 6"_s).toInt(), 1);
        QCOMPARE(s.value(u"Filter 0"_s).toInt(), 0);
        QCOMPARE(s.value(u"MaxResults"_s).toInt(), 50);
        QCOMPARE(s.value(u"AutoExpandGroups"_s).toString(), u"|Music|Live|"_s);
    }

    void saveLeavesOutWhatIsUnset()
    {
        Preferences p;
        p.save(ini());
        QSettings s(ini(), QSettings::IniFormat);
        QVERIFY(!s.contains(u"ViewStyle"_s));
        QVERIFY(!s.contains(u"TreeWidth"_s));
        QVERIFY(!s.contains(u"Theme"_s));
        QCOMPARE(s.value(u"AutoExpandGroups"_s).toString(), u"|"_s);
        QCOMPARE(s.value(u"ObjectInfo"_s).toInt(), 0);

        // A folder where the file should be.
        QVERIFY(QDir().mkpath(ini() + u".d"_s));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, p.save(ini() + u".d"_s));
    }

    void storedValuesAsTheRegistryHadThem()
    {
        store({{u"Filter 3"_s, 1},
               {u"Filter 7"_s, 0},
               {u"Eject"_s, 2},       // only 1 ticks a box
               {u"HiddenFiles"_s, 2}, // any number but 0
               {u"Action"_s, 9},      // applied as stored
               {u"MaxResults"_s, -5},
               {u"ViewStyle"_s, 7},    // not a view style: ignored
               {u"Grids"_s, u"abc"_s}, // not a number: ignored
               {u"ObjectInfo"_s, 0}});
        Preferences p;
        p.setObjectInfo(true);
        p.setEmptyFiles(true); // missing from the file: kept
        p.setFilter(5, true);  // the filters start again from their initial ticks
        p.load(ini());
        QVERIFY(p.filter(0) && p.filter(3) && !p.filter(5) && !p.filter(7));
        QVERIFY(!p.eject());
        QVERIFY(p.hiddenFiles());
        QCOMPARE(p.action(), 9);
        QCOMPARE(p.maxResults(), -5);
        QVERIFY(!p.viewStyle());
        QVERIFY(p.grids());
        QVERIFY(p.emptyFiles());
        // "ObjectInfo" only ever shows the panel.
        QVERIFY(p.objectInfo());
    }

    void setByName()
    {
        Preferences p;
        QSignalSpy spy(&p, &Preferences::changed);
        QString error;
        QVERIFY(p.setValue(u"Filter 6"_s, u"1"_s, &error));
        QVERIFY(p.IsActiveFilter(u".mp3"_s));
        QCOMPARE(spy.at(0).at(0).toString(), u"Filter 6"_s);
        // Out of range (the command line checks the other refusals end to end).
        QVERIFY(!p.setValue(u"Filter 10"_s, u"1"_s, &error));
        QVERIFY(!p.setValue(u"ViewStyle"_s, u"4"_s, &error));
        QCOMPARE(spy.count(), 1);
    }

    // What the user may set, where a stored file is applied as it stands.
    void allowedValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // empty when allowed
        QTest::newRow("box ticked") << u"EmptyFiles"_s << u"1"_s << QString();
        QTest::newRow("box, other number") << u"HiddenFiles"_s << u"2"_s << u"takes 0 or 1, not \"2\""_s;
        QTest::newRow("last action") << u"Action"_s << u"3"_s << QString();
        QTest::newRow("no such action") << u"Action"_s << u"-1"_s << u"takes 0 to 3"_s;
        QTest::newRow("one result") << u"MaxResults"_s << u"1"_s << QString();
        QTest::newRow("no results") << u"MaxResults"_s << u"0"_s << u"takes 1 to 2147483647"_s;
        QTest::newRow("beyond 32 bits") << u"MaxResults"_s << u"2147483648"_s << u"takes a whole number"_s;
        QTest::newRow("width") << u"TreeWidth"_s << u"-1"_s << u"takes 0 to 2147483647"_s;
        QTest::newRow("text") << u"Theme"_s << u"-5"_s << QString();
        QTest::newRow("unknown") << u"Colour"_s << u"1"_s << u"Unknown preference"_s;
    }
    void allowedValues()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QString error;
        QCOMPARE(Preferences::isAllowedValue(name, text, &error), refusal.isEmpty());
        QVERIFY2(error.contains(refusal), qPrintable(error));
    }

    void exclusionFile()
    {
        const QString data = m_dir->path() + u"/data/"_s;
        Preferences p;
        p.setExclusions({u"*.dll"_s, u"temp\\"_s});
        p.loadExclusions(data); // no file: the list stays
        QCOMPARE(p.exclusions().size(), 2);
        p.saveExclusions(data);
        QFile f(Preferences::exclusionsFile(data));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("*.dll\r\ntemp\\\r\n"));
        f.close();

        // Cancel: the file puts back what was saved.
        p.setExclusions({u"*.tmp"_s});
        p.loadExclusions(data);
        QCOMPARE(p.exclusions(), (QStringList{u"*.dll"_s, u"temp\\"_s}));

        // Lists made on Windows: Windows-1252, CR LF; LF alone is read too.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("caf\xe9*.txt\r\n*.bak\n");
        f.close();
        p.loadExclusions(data);
        QCOMPARE(p.exclusions(), (QStringList{u"café*.txt"_s, u"*.bak"_s}));
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
