#include "SilentPrompts.h"
#include "core/SafeSaveFile.h"
#include "session/Workspace.h"
#include "session/WorkspacePrompts.h"
#include "store/DataPaths.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// What killed saves left beside the catalogue and the settings goes when a program next takes
// the catalogue, and nothing else does: not a look-alike, not the file of a save under way.
class TestWorkspaceLeftovers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString data() const { return m_dir.path() + u'/'; }
    QString settings() const { return DataPaths::settingsFile(data()); }

    static void touch(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    static QStringList present(const QStringList &paths)
    {
        QStringList there;
        for (const QString &p : paths)
            if (QFileInfo::exists(p))
                there << QFileInfo(p).fileName();
        return there;
    }
    QStringList settingsSaves() const
    {
        return {settings() + u".Ab3xYz"_s, settings() + u".09QRst"_s};
    }
    QStringList kept() const
    {
        return {data() + u"search.dat"_s,    data() + u"favorites.dat"_s, data() + u".other.partial"_s,
                settings() + u".old"_s,      settings() + u".Ab3xY"_s,    settings() + u".Ab3xYz7"_s};
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        for (const QString &p : settingsSaves() + kept())
            QFile::remove(p);
    }

    // Another program saving the settings holds their lock for as long as the save takes.
    void leftoversGoWhenTheCatalogueIsTaken_data()
    {
        QTest::addColumn<bool>("settingsBeingSaved");
        QTest::newRow("nothing under way") << false;
        QTest::newRow("settings save under way") << true;
    }
    void leftoversGoWhenTheCatalogueIsTaken()
    {
        QFETCH(bool, settingsBeingSaved);
        const QStringList partials{SafeSaveFile::partialName(data() + u"search.dat"_s),
                                   SafeSaveFile::partialName(data() + u"favorites.dat"_s)};
        for (const QString &p : partials + settingsSaves() + kept())
            touch(p);
        QLockFile saving(settings() + u".lock"_s);
        QVERIFY(!settingsBeingSaved || saving.tryLock(0));
        SilentPrompts prompts;
        Workspace ws(data(), prompts);
        ws.lock();
        QCOMPARE(present(partials), QStringList());
        QCOMPARE(present(settingsSaves()).size(), settingsBeingSaved ? settingsSaves().size() : 0);
        QCOMPARE(present(kept()).size(), kept().size());
    }
};

QTEST_GUILESS_MAIN(TestWorkspaceLeftovers)
#include "tst_workspaceleftovers.moc"
