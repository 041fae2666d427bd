#include "CabTestUtil.h"
#include "SilentPrompts.h"
#include "TestCatalogue.h"
#include "backup/DatabaseBackup.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "core/TextCodec.h"
#include "session/Workspace.h"
#include "session/WorkspacePrompts.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"

#include <QLockFile>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace Qt::Literals::StringLiterals;
using CabTestUtil::readFile;

using Change = std::function<void(Workspace &)>;
Q_DECLARE_METATYPE(Change)

namespace
{
// Records what the workspace says and answers its question.
struct RecordingPrompts : WorkspacePrompts {
    QStringList said;
    bool answer = false;
    void information(const QString &text) override { said.append(u"info: "_s + text); }
    void warning(const QString &text) override { said.append(u"warning: "_s + text); }
    void error(const QString &text) override { said.append(u"error: "_s + text); }
    bool askYesNo(const QString &text) override
    {
        said.append(u"ask: "_s + text);
        return answer;
    }
    bool askBeforeLoss(const QString &text) override { return askYesNo(text); }
};

TreeNode *disc(Workspace &ws, const QString &serial)
{
    return FindCD(ws.tree().root(), serial);
}

// A file's lines, each one between line ends, so that a whole line can be looked for.
QString lines(const QString &file)
{
    if (!QFileInfo::exists(file))
        return {};
    return u"\n"_s + TextCodec::readLines(file).join(u'\n') + u'\n';
}

} // namespace

class TestWorkspace : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return data() + u"DB/"_s; }
    QString treeFile() const { return db() + u"groups.tree"_s; }
    const QString rockFavourite = u"1A2B3C4D|Rock Disc:|\\ROCK\\"_s;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QFile::remove(DataPaths::settingsFile(data()));
    }

    // The sample is offered once, while the folder is new; the preferences are read once only.
    void firstRunWithTheSample_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }
    void firstRunWithTheSample()
    {
        QFETCH(bool, yes);
        QDir().mkpath(data());
        QVERIFY(QFile::copy(QStringLiteral(QUILLORY_SOURCE_DIR "/share/sample.cab"), data() + u"sample.cab"_s));
        RecordingPrompts prompts;
        prompts.answer = yes;
        {
            Workspace ws(data(), prompts);
            QSignalSpy prefs(&ws, &Workspace::preferencesLoaded);
            ws.open();
            QCOMPARE(prompts.said, QStringList{u"ask: Welcome to Quillory! Do you want to import sample database?"_s});
            QCOMPARE(ws.tree().root()->childCount() > 0, yes);
            QCOMPARE(QFileInfo::exists(db() + u"1A2B3C4D.dat"_s), yes);
            ws.reopen();
            QCOMPARE(prefs.size(), 1);
        }
        Workspace again(data(), prompts);
        again.open();
        QCOMPARE(prompts.said.size(), 1);
    }

    void closeWritesThePreferencesOnce()
    {
        TestCatalogue::prepared(data());
        TextCodec::writeLines(data() + u"search.dat"_s, {u"*.mp3"_s});
        RecordingPrompts prompts;
        {
            Workspace ws(data(), prompts);
            ws.open();
            QVERIFY(!ws.isReadOnly());
            QCOMPARE(ws.searchHistory(), QStringList{u"*.mp3"_s});
            QSignalSpy closing(&ws, &Workspace::aboutToClose);
            connect(&ws, &Workspace::aboutToClose, &ws, [&ws] { ws.preferences().setTreeWidth(123); });
            ws.close();
            ws.close(); // once only
            QCOMPARE(closing.size(), 1);
            QVERIFY(ws.stopRequested());
        }
        QVERIFY(prompts.said.isEmpty());
        QSettings s(DataPaths::settingsFile(data()), QSettings::IniFormat);
        QCOMPARE(s.value(u"TreeWidth"_s).toInt(), 123);
    }

    // Each kind of change reaches its file while the run goes on, without waiting for close().
    void everyChangeIsSavedSoonAfter_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<QString>("gone");

        const QString tree = u"DB/groups.tree"_s, favs = u"favorites.dat"_s;
        const Change addGroup = [](Workspace &ws) { ws.tree().addChild(ws.tree().root(), u"New Group"_s, KindGroup); };
        const Change move = [](Workspace &ws) {
            ws.tree().moveNode(disc(ws, u"5E6F7081"_s), FindGroup(ws.tree().root(), u"Music"_s));
        };
        const Change edit = [](Workspace &ws) {
            TCD cd = *disc(ws, u"5E6F7081"_s)->cd();
            cd.Genre = u"Holiday"_s;
            ws.tree().setCD(disc(ws, u"5E6F7081"_s), cd);
        };
        const Change history = [](Workspace &ws) { ws.setSearchHistory({u"*.ogg"_s, u"*.mp3"_s}); };
        const Change addFav = [](Workspace &ws) { ws.addFavourite({u"5E6F7081"_s, u"Photos Disc:"_s, u"\\"_s}); };
        const Change removeFav = [](Workspace &ws) {
            ws.removeFavourite({u"1A2B3C4D"_s, u"Rock Disc:"_s, u"\\ROCK\\"_s});
        };
        const Change prune = [](Workspace &ws) {
            ws.tree().removeNode(disc(ws, u"1A2B3C4D"_s));
            ContentsFile::remove(ws.dbFolder(), u"1A2B3C4D"_s);
            ws.followTree();
        };
        QTest::newRow("group added") << addGroup << tree << u"\n\tNew Group\n"_s << QString();
        QTest::newRow("disc moved") << move << tree << u"\n\t\tPhotos Disc|"_s << u"\n\tPhotos Disc|"_s;
        QTest::newRow("disc edited") << edit << tree << u"|Holiday|"_s << QString();
        QTest::newRow("search history") << history << u"search.dat"_s << u"\n*.ogg\n*.mp3\n"_s << QString();
        QTest::newRow("favourite added") << addFav << favs << u"\n5E6F7081|Photos Disc:|\\\n"_s << QString();
        QTest::newRow("favourite removed") << removeFav << favs << QString() << u"1A2B3C4D"_s;
        QTest::newRow("favourite of a removed disc") << prune << favs << QString() << u"1A2B3C4D"_s;
    }
    void everyChangeIsSavedSoonAfter()
    {
        QFETCH(Change, change);
        QFETCH(QString, file);
        QFETCH(QString, shows);
        QFETCH(QString, gone);
        TestCatalogue::prepared(data());
        TextCodec::writeLines(data() + u"favorites.dat"_s, {rockFavourite});
        RecordingPrompts prompts;
        Workspace ws(data(), prompts);
        ws.open();
        change(ws);
        const QString path = data() + file;
        QTRY_VERIFY2(lines(path).contains(shows) && (gone.isEmpty() || !lines(path).contains(gone)),
                     qPrintable(lines(path)));
        QVERIFY2(prompts.said.isEmpty(), qPrintable(prompts.said.join(u'\n')));
    }

    // A workspace that may not write saves nothing, as changes come or at its close, and says why.
    void aReadOnlyWorkspaceSavesNothing_data()
    {
        QTest::addColumn<bool>("lockedElsewhere");
        QTest::addColumn<QString>("told");
        QTest::newRow("lock held by another program")
            << true << u"warning: The catalogue is in use by another Quillory! program"_s;
        QTest::newRow("tree unreadable") << false << u"error: Invalid level"_s;
    }
    void aReadOnlyWorkspaceSavesNothing()
    {
        QFETCH(bool, lockedElsewhere);
        QFETCH(QString, told);
        TestCatalogue::prepared(data());
        RecordingPrompts prompts;
        std::unique_ptr<Workspace> owner;
        if (lockedElsewhere) {
            owner = std::make_unique<Workspace>(data(), prompts);
            owner->lock();
        } else {
            TextCodec::writeLines(treeFile(), TextCodec::readLines(treeFile()) << u"\t\t\t\tToo deep"_s);
        }
        const QByteArray before = readFile(treeFile());
        Workspace ws(data(), prompts);
        ws.open();
        QVERIFY(ws.isReadOnly());
        QVERIFY2(prompts.said.value(0).startsWith(told), qPrintable(prompts.said.join(u'|')));
        ws.tree().addChild(ws.tree().root(), u"Stray"_s, KindGroup);
        ws.setSearchHistory({u"stray"_s});
        ws.addFavourite({u"5E6F7081"_s, u"Photos Disc:"_s, u"\\"_s});

        // Once a save set off later elsewhere is written, one set off here would have been too.
        const QString elsewhere = m_dir->path() + u"/elsewhere/"_s;
        RecordingPrompts quiet;
        Workspace witness(elsewhere, quiet);
        witness.open();
        witness.setSearchHistory({u"witness"_s});
        QTRY_VERIFY(QFileInfo::exists(elsewhere + u"search.dat"_s));
        ws.close();

        QCOMPARE(readFile(treeFile()), before);
        QVERIFY(!QFileInfo::exists(data() + u"search.dat"_s) && !QFileInfo::exists(data() + u"favorites.dat"_s));
        if (lockedElsewhere)
            QVERIFY_THROWS_EXCEPTION(QuilloryError, Workspace(data(), prompts).lock());
    }

    // A tree that cannot be read leaves the window read-only, yet free to import an archive, the
    // way to mend it; the imported tree is then saved as changes come.
    void anUnreadableTreeIsMendedByAnImport()
    {
        TestCatalogue::prepared(data());
        const QString archive = m_dir->path() + u"/backup.cab"_s;
        {
            RecordingPrompts quiet;
            Workspace ws(data(), quiet);
            ws.open();
            DatabaseBackup::exportDatabase(ws.catalogue(), archive);
        }
        TextCodec::writeLines(treeFile(), TextCodec::readLines(treeFile()) << u"\t\t\t\tToo deep"_s);
        RecordingPrompts prompts;
        Workspace ws(data(), prompts);
        ws.open();
        QVERIFY(ws.isReadOnly() && ws.mayImport());
        QCOMPARE(ws.importArchive(archive), QString());
        ws.reopen();
        QVERIFY(!ws.isReadOnly());
        ws.tree().addChild(ws.tree().root(), u"Mended"_s, KindGroup);
        QTRY_VERIFY(lines(treeFile()).contains(u"\n\tMended\n"_s));
    }

    // A full disk is told once, not at every change; a success lets the next failure be told; the
    // close still tries, and a failed save leaves the last good file.
    void aFailedSaveIsToldOnceAndTriedAgain()
    {
        TestCatalogue::prepared(data());
        RecordingPrompts prompts;
        Workspace ws(data(), prompts);
        ws.open();
        int attempts = 0;
        bool full = true, everyFileFull = false;
        TextCodec::setBeforeCommitHook([&](const QString &path) {
            if (everyFileFull && !path.endsWith(u"groups.tree"_s))
                throw QuilloryError(u"disk full"_s);
            if (!path.endsWith(u"groups.tree"_s))
                return;
            ++attempts;
            if (full)
                throw QuilloryError(u"disk full"_s);
        });
        const auto noHook = qScopeGuard([] { TextCodec::setBeforeCommitHook({}); });
        const auto add = [&ws](const QString &name) { ws.tree().addChild(ws.tree().root(), name, KindGroup); };

        add(u"One"_s);
        QTRY_COMPARE(attempts, 1);
        QCOMPARE(prompts.said.size(), 1);
        QVERIFY2(prompts.said.first().startsWith(u"error: disk full"_s), qPrintable(prompts.said.first()));
        add(u"Two"_s);
        QTRY_COMPARE(attempts, 2);
        QCOMPARE(prompts.said.size(), 1);

        // Another file's change takes the waiting tree with it.
        full = false;
        ws.setSearchHistory({u"*.ogg"_s});
        QTRY_COMPARE(attempts, 3);
        QVERIFY(lines(treeFile()).contains(u"\n\tOne\n"_s) && lines(treeFile()).contains(u"\n\tTwo\n"_s));
        const QByteArray saved = readFile(treeFile());

        full = true;
        add(u"Three"_s);
        QTRY_COMPARE(attempts, 4);
        QCOMPARE(prompts.said.size(), 2);

        // Closing tries again and asks before the change is given up: No keeps the window.
        QVERIFY(!ws.mayClose());
        QCOMPARE(attempts, 5);
        QCOMPARE(prompts.said.size(), 3);
        QVERIFY2(prompts.said.last().startsWith(u"ask: disk full"_s) &&
                     prompts.said.last().endsWith(u"Close anyway? What changed since the last save is lost."_s),
                 qPrintable(prompts.said.last()));
        prompts.answer = true;
        QVERIFY(ws.mayClose());
        // Files written again unchanged at the close lose nothing when that fails: not told either.
        everyFileFull = true;
        ws.close();
        QCOMPARE(attempts, 7);
        QCOMPARE(prompts.said.size(), 4); // the loss accepted, the tree's failure is not told again
        QCOMPARE(readFile(treeFile()), saved);
    }

    // A session that ends (logout) cannot wait for a box: a save failing at the close is not shown.
    void anEndingSessionIsNotHeldByAFailedSave()
    {
        TestCatalogue::prepared(data());
        RecordingPrompts prompts;
        Workspace ws(data(), prompts);
        ws.open();
        TextCodec::setBeforeCommitHook([](const QString &) { throw QuilloryError(u"disk full"_s); });
        const auto noHook = qScopeGuard([] { TextCodec::setBeforeCommitHook({}); });
        ws.tree().addChild(ws.tree().root(), u"One"_s, KindGroup);
        ws.closeWithoutAsking();
        QVERIFY(ws.mayClose());
        ws.close();
        QCOMPARE(prompts.said, QStringList());
    }

    // Killed saves' leftovers go when the catalogue is taken; not a look-alike, not the files of a
    // settings save under way (its program holds the settings' lock).
    void leftoversGoWhenTheCatalogueIsTaken_data()
    {
        QTest::addColumn<bool>("settingsBeingSaved");
        QTest::newRow("nothing under way") << false;
        QTest::newRow("settings save under way") << true;
    }
    void leftoversGoWhenTheCatalogueIsTaken()
    {
        QFETCH(bool, settingsBeingSaved);
        const QString settings = DataPaths::settingsFile(data());
        const QStringList partials{SafeSaveFile::partialName(data() + u"search.dat"_s),
                                   SafeSaveFile::partialName(data() + u"favorites.dat"_s),
                                   SafeSaveFile::partialName(data() + u"exclusions.dat"_s)};
        const QStringList settingsSaves{settings + u".Ab3xYz"_s, settings + u".09QRst"_s};
        const QStringList kept{data() + u"search.dat"_s, data() + u"favorites.dat"_s, data() + u".other.partial"_s,
                               settings + u".old"_s,     settings + u".Ab3xY"_s,      settings + u".Ab3xYz7"_s};
        const auto tidy = qScopeGuard([&] {
            for (const QString &p : settingsSaves + kept)
                QFile::remove(p);
        });
        for (const QString &p : partials + settingsSaves + kept)
            CabTestUtil::writeFile(p, "x");
        QLockFile saving(settings + u".lock"_s);
        QVERIFY(!settingsBeingSaved || saving.tryLock(0));
        SilentPrompts prompts;
        Workspace ws(data(), prompts);
        ws.lock();
        const auto present = [](const QStringList &paths) {
            return std::count_if(paths.cbegin(), paths.cend(), [](const QString &p) { return QFileInfo::exists(p); });
        };
        QCOMPARE(present(partials), 0);
        QCOMPARE(present(settingsSaves), settingsBeingSaved ? 2 : 0);
        QCOMPARE(present(kept), kept.size());
    }

    // Closed before the start read anything: no defaults or empty lists put over the user's files.
    void closingBeforeTheStartWritesNothing()
    {
        TestCatalogue::prepared(data());
        const QByteArray before = readFile(treeFile());
        RecordingPrompts prompts;
        Workspace ws(data(), prompts);
        ws.close();
        QCOMPARE(readFile(treeFile()), before);
        QVERIFY(!QFileInfo::exists(data() + u"search.dat"_s));
        QVERIFY(!QFileInfo::exists(DataPaths::settingsFile(data())));
    }
};

QTEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
