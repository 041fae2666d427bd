#include "settings/Preferences.h"
#include "core/QuilloryError.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The preferences: first-run state, the filter lookup by caption, the stored values with
// the rules for missing, odd and out-of-range values, and the exclusion file.
class TestPreferences : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString ini() const { return m_dir->path() + QLatin1String("/cfg/Quillory!.conf"); }

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
        QCOMPARE(Preferences::filterCaptions().at(7), QStringLiteral("Monkey Audio File (*.ape)"));
    }

    void activeFilterByCaption()
    {
        Preferences p;
        QVERIFY(p.IsActiveFilter(QStringLiteral(".zip")));
        QVERIFY(p.IsActiveFilter(QStringLiteral(".ZIP"))); // the probe is taken in lower case
        QVERIFY(p.IsActiveFilter(QStringLiteral(".ape")));
        QVERIFY(!p.IsActiveFilter(QStringLiteral(".jpg")));
        QVERIFY(!p.IsActiveFilter(QStringLiteral(".exe"))); // no caption holds it
        p.setFilter(2, true);
        QVERIFY(p.IsActiveFilter(QStringLiteral(".jpg")));
        QVERIFY(p.IsActiveFilter(QStringLiteral(".jpe")));
        p.setFilter(9, true);
        QVERIFY(p.IsActiveFilter(QStringLiteral(".html")));
        QVERIFY(p.IsActiveFilter(QStringLiteral(".shtml")));
        // A plain substring: ".htm" is found in the HTML caption, ".jpeg" in the JPEG one.
        QVERIFY(p.IsActiveFilter(QStringLiteral(".htm")));
        QVERIFY(p.IsActiveFilter(QStringLiteral(".jpeg")));
    }

    void roundTrip()
    {
        Preferences a;
        a.setFilter(0, false);
        a.setFilter(6, true);
        a.setAutoInsert(false);
        a.setEject(false);
        a.setCorrectLabel(false);
        a.setAction(1);
        a.setSavePos(false);
        a.setGrids(false);
        a.setDiscEditDblClick(false);
        a.setAutoExpand(false);
        a.setUnlimited(false);
        a.setMaxResults(50);
        a.setEmptyDirs(true);
        a.setEmptyFiles(true);
        a.setHiddenFiles(true);
        a.setViewStyle(2);
        a.setTreeWidth(240);
        a.setTheme(QStringLiteral("Blue, dark"));
        a.setObjectInfo(true);
        a.setAutoExpandGroups(QStringLiteral("|Music|Live|"));
        a.save(ini());

        Preferences b;
        b.load(ini());
        for (const QString &name : Preferences::valueNames())
            QCOMPARE(b.value(name), a.value(name));

        // Stored under the registry value names.
        QSettings s(ini(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Filter 6")).toInt(), 1);
        QCOMPARE(s.value(QStringLiteral("Filter 0")).toInt(), 0);
        QCOMPARE(s.value(QStringLiteral("MaxResults")).toInt(), 50);
        QCOMPARE(s.value(QStringLiteral("HiddenFiles")).toInt(), 1);
        QCOMPARE(s.value(QStringLiteral("AutoExpandGroups")).toString(), QStringLiteral("|Music|Live|"));
    }

    void saveLeavesOutWhatIsUnset()
    {
        Preferences p;
        p.save(ini());
        QSettings s(ini(), QSettings::IniFormat);
        QVERIFY(!s.contains(QStringLiteral("ViewStyle")));
        QVERIFY(!s.contains(QStringLiteral("TreeWidth")));
        QVERIFY(!s.contains(QStringLiteral("Theme")));
        QCOMPARE(s.value(QStringLiteral("AutoExpandGroups")).toString(), QStringLiteral("|"));
        QCOMPARE(s.value(QStringLiteral("ObjectInfo")).toInt(), 0);
    }

    void storedValuesAsTheRegistryHadThem()
    {
        store({{QStringLiteral("Filter 3"), 1},
               {QStringLiteral("Filter 7"), 0},
               {QStringLiteral("Eject"), 2},       // only 1 ticks a box
               {QStringLiteral("HiddenFiles"), 2}, // any number but 0
               {QStringLiteral("Action"), 9},      // applied as stored
               {QStringLiteral("MaxResults"), -5},
               {QStringLiteral("ViewStyle"), 7},                 // not a view style: ignored
               {QStringLiteral("Grids"), QStringLiteral("abc")}, // not a number: ignored
               {QStringLiteral("ObjectInfo"), 0}});
        Preferences p;
        p.setObjectInfo(true);
        p.setEmptyFiles(true); // missing from the file: kept
        p.setFilter(5, true);  // the filters start again from their initial ticks
        p.load(ini());
        QVERIFY(p.filter(0));
        QVERIFY(p.filter(3));
        QVERIFY(!p.filter(5));
        QVERIFY(!p.filter(7));
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
        QVERIFY(p.setValue(QStringLiteral("Filter 6"), QStringLiteral("1"), &error));
        QVERIFY(p.IsActiveFilter(QStringLiteral(".mp3")));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Filter 6"));
        QVERIFY(p.setValue(QStringLiteral("EmptyFiles"), QStringLiteral("1")));
        QVERIFY(p.emptyFiles());
        QVERIFY(!p.setValue(QStringLiteral("MaxResults"), QStringLiteral("many"), &error));
        QVERIFY(error.contains(QStringLiteral("MaxResults")));
        QVERIFY(!p.setValue(QStringLiteral("Filter 10"), QStringLiteral("1"), &error));
        QVERIFY(!p.setValue(QStringLiteral("ViewStyle"), QStringLiteral("4"), &error));
        QCOMPARE(p.value(QStringLiteral("Nothing")), QString());
    }

    void exclusionFile()
    {
        const QString data = m_dir->path() + QLatin1String("/data/");
        Preferences p;
        p.setExclusions({QStringLiteral("*.dll"), QStringLiteral("temp\\")});
        p.loadExclusions(data); // no file: the list stays
        QCOMPARE(p.exclusions().size(), 2);
        p.saveExclusions(data);
        QFile f(Preferences::exclusionsFile(data));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("*.dll\r\ntemp\\\r\n"));
        f.close();

        // Cancel: the file puts back what was saved.
        p.setExclusions({QStringLiteral("*.tmp")});
        p.loadExclusions(data);
        QCOMPARE(p.exclusions(), (QStringList{QStringLiteral("*.dll"), QStringLiteral("temp\\")}));

        // Lists made on Windows: Windows-1252, CR LF; LF alone is read too.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("caf\xe9*.txt\r\n*.bak\n");
        f.close();
        p.loadExclusions(data);
        QCOMPARE(p.exclusions(), (QStringList{QStringLiteral("café*.txt"), QStringLiteral("*.bak")}));
    }

    void unwritableSettingsFileFails()
    {
        // A folder where the file should be.
        QVERIFY(QDir().mkpath(ini()));
        Preferences p;
        QVERIFY_THROWS_EXCEPTION(QuilloryError, p.save(ini()));
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
