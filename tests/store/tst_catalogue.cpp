#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The catalogue on disk as its owner finds it: the lock, what a killed run left in DB, a
// change of several files switched in at once, and which paths lie inside DB.
class TestCatalogue : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return data() + u"DB/"_s; }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
        f.write(bytes);
    }
    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList dbEntries() const
    {
        QStringList names = QDir(db()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }
    static QStringList sorted(QStringList names)
    {
        names.sort();
        return names;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(db()));
    }

    // A catalogue on a shared folder, locked by a program on another computer: whether it
    // still runs cannot be seen from here, so the user is told whose lock it is and what to do.
    void lockHeldOnAnotherComputer()
    {
        const QString lockFile = db() + Catalogue::lockName();
        const QByteArray held = "4242\nquillory\nshelf-pc\n";
        writeFile(lockFile, held);
        Catalogue cat(data());
        try {
            cat.lock();
            QFAIL("locked a catalogue another computer holds");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(u"\"shelf-pc\""_s), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QDir::toNativeSeparators(lockFile)), qPrintable(e.message()));
            QVERIFY2(e.message().contains(u"removed by hand"_s), qPrintable(e.message()));
        }
        QVERIFY(!cat.isLocked());
        QCOMPARE(readFile(lockFile), held);

        // The same lock left by this computer's dead process is taken over as before.
        writeFile(lockFile, "999999\nquillory\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        cat.lock();
        QVERIFY(cat.isLocked());
    }

    // What a killed scan, save or upgrade leaves goes when the catalogue is next taken; the
    // catalogue's files and the user's own stay.
    void lockRemovesLeftovers()
    {
        const QStringList kept{u"12345678.dat"_s, u"groups.tree"_s, u"notes.txt"_s};
        for (const QString &name : kept + QStringList{u"12345678.dir"_s, u"12345678.file"_s, u"groups.new"_s,
                                                      SafeSaveFile::partialName(u"groups.tree"_s).mid(2),
                                                      SafeSaveFile::partialName(u"12345678.dat"_s).mid(2)})
            writeFile(db() + name, "x");
        QVERIFY(QDir().mkpath(CatalogueSwitch::stagingFolderOf(db())));
        writeFile(CatalogueSwitch::stagingFolderOf(db()) + u"groups.tree"_s, "half an import");
        Catalogue cat(data());
        cat.lock();
        QCOMPARE(dbEntries(), sorted(QStringList{Catalogue::lockName()} + kept));
        QCOMPARE(readFile(db() + u"groups.tree"_s), QByteArray("x"));
    }

    // Before the journal the old files stand; once it is written the change is carried
    // through, by the next owner of the lock if a move fails (or a kill) stops it.
    void switchIsAllOrNothing()
    {
        writeFile(db() + u"A.dat"_s, "old A");
        writeFile(db() + u"groups.tree"_s, "old tree");

        CatalogueSwitch refused(db());
        refused.begin();
        writeFile(refused.stagingFolder() + u"A.dat"_s, "new A");
        writeFile(refused.stagingFolder() + u"groups.tree"_s, "new tree");
        TextCodec::setBeforeCommitHook([](const QString &) { throw QuilloryError(u"killed"_s); });
        QVERIFY_THROWS_EXCEPTION(QuilloryError, refused.commit({u"A.dat"_s, u"groups.tree"_s}));
        TextCodec::setBeforeCommitHook({});
        refused.discard();
        QCOMPARE(dbEntries(), (QStringList{u"A.dat"_s, u"groups.tree"_s}));
        QCOMPARE(readFile(db() + u"A.dat"_s), QByteArray("old A"));

        // A folder where the tree should go is refused before the journal: nothing moves.
        const QStringList names{u"A.dat"_s, u"B.dat"_s, u"groups.tree"_s};
        const auto stage = [&](CatalogueSwitch &change) {
            change.begin();
            writeFile(change.stagingFolder() + u"A.dat"_s, "new A");
            writeFile(change.stagingFolder() + u"B.dat"_s, "new B");
            writeFile(change.stagingFolder() + u"groups.tree"_s, "new tree");
        };
        CatalogueSwitch blocked(db());
        stage(blocked);
        QVERIFY(QFile::rename(db() + u"groups.tree"_s, db() + u"held"_s));
        writeFile(db() + u"groups.tree/blocker"_s, "");
        try {
            blocked.commit(names);
            QFAIL("moved a file over a folder");
        } catch (const QuilloryError &e) {
            QVERIFY2(e.message().contains(u"groups.tree\" is a folder"_s), qPrintable(e.message()));
        }
        blocked.discard();
        QVERIFY(!QFileInfo::exists(blocked.stagingFolder()));
        QCOMPARE(readFile(db() + u"A.dat"_s), QByteArray("old A"));
        QVERIFY(!QFileInfo::exists(db() + u"B.dat"_s));
        QVERIFY(QDir(db() + u"groups.tree"_s).removeRecursively());
        QVERIFY(QFile::rename(db() + u"held"_s, db() + u"groups.tree"_s));

        // A move that fails after the journal (here the second) is left for the next owner.
        CatalogueSwitch stopped(db());
        stage(stopped);
        int renames = 0;
        CatalogueSwitch::setStepHook([&renames](const char *what) {
            if (qstrcmp(what, "rename") == 0 && ++renames == 2)
                throw QuilloryError(u"stopped"_s);
        });
        QVERIFY_THROWS_EXCEPTION(QuilloryError, stopped.commit(names));
        CatalogueSwitch::setStepHook({});
        stopped.discard(); // committed: left for the next start
        QCOMPARE(readFile(db() + u"A.dat"_s), QByteArray("new A"));
        QVERIFY(QFileInfo::exists(stopped.stagingFolder() + u"groups.tree"_s));

        Catalogue cat(data());
        cat.lock();
        QCOMPARE(readFile(db() + u"groups.tree"_s), QByteArray("new tree"));
        QCOMPARE(readFile(db() + u"B.dat"_s), QByteArray("new B"));
        QCOMPARE(dbEntries(), sorted({u"A.dat"_s, u"B.dat"_s, Catalogue::lockName(), u"groups.tree"_s}));
    }

    // Files new to DB are written straight into it: a change that is not committed takes them
    // away again, here or at the next start after a kill; a committed one keeps those it names.
    // A name DB has any entry for (a folder, a dangling link) is staged as before.
    void newFilesGoStraightIntoDbAndAwayAgain()
    {
        writeFile(db() + u"A.dat"_s, "old A");
        writeFile(db() + u"groups.tree"_s, "old tree");
        QVERIFY(QDir().mkpath(db() + u"D.dat"_s));
        QVERIFY(QFile::link(db() + u"nowhere"_s, db() + u"L.dat"_s));
        const QStringList before = dbEntries();
        const QStringList added{u"A.dat"_s, u"B.dat"_s, u"C.dat"_s, u"D.dat"_s, u"L.dat"_s};

        {
            CatalogueSwitch discarded(db());
            discarded.begin(added);
            QCOMPARE(discarded.placeFor(u"B.dat"_s), db() + u"B.dat"_s);
            for (const QString &name : {u"A.dat"_s, u"D.dat"_s, u"L.dat"_s, u"groups.tree"_s})
                QCOMPARE(discarded.placeFor(name), discarded.stagingFolder() + name);
            writeFile(discarded.placeFor(u"B.dat"_s), "new B");
            discarded.discard();
            QCOMPARE(dbEntries(), before);
            QVERIFY(!QFileInfo::exists(discarded.stagingFolder()));
        }
        {
            // Killed before the journal: the next owner of the lock takes the new file away.
            CatalogueSwitch killed(db());
            killed.begin(added);
            writeFile(killed.placeFor(u"B.dat"_s), "half of B");
            Catalogue cat(data());
            cat.lock();
            QCOMPARE(dbEntries(), sorted(before + QStringList{Catalogue::lockName()}));
            QVERIFY(!QFileInfo::exists(killed.stagingFolder()));
            QVERIFY(QFile::remove(db() + Catalogue::lockName()));
        }
        CatalogueSwitch committed(db());
        committed.begin(added);
        writeFile(committed.placeFor(u"A.dat"_s), "new A");
        writeFile(committed.placeFor(u"B.dat"_s), "new B");
        writeFile(committed.placeFor(u"C.dat"_s), "not named");
        writeFile(committed.placeFor(u"groups.tree"_s), "new tree");
        committed.commit({u"A.dat"_s, u"B.dat"_s, u"groups.tree"_s});
        QCOMPARE(dbEntries(), sorted(before + QStringList{u"B.dat"_s}));
        QCOMPARE(readFile(db() + u"A.dat"_s), QByteArray("new A"));
        QCOMPARE(readFile(db() + u"B.dat"_s), QByteArray("new B"));
        QCOMPARE(readFile(db() + u"groups.tree"_s), QByteArray("new tree"));
        QVERIFY(!QFileInfo::exists(committed.stagingFolder()));
    }

    void pathsInsideDb()
    {
        const QString outside = m_dir->path() + u"/out/"_s;
        QVERIFY(QDir().mkpath(outside));
        writeFile(db() + u"groups.tree"_s, "tree");
        QVERIFY(QFile::link(db() + u"groups.tree"_s, outside + u"to-tree.cab"_s));
        QVERIFY(QFile::link(db(), outside + u"to-db"_s));
        QVERIFY(QFile::link(db() + u"not-yet.cab"_s, outside + u"dangling.cab"_s));
        QVERIFY(QFile::link(outside + u"to-tree.cab"_s, outside + u"chain.cab"_s));
        for (const QString &inside :
             {db() + u"groups.tree"_s, db() + u"new.cab"_s, db() + u"sub/../x.cab"_s, outside + u"../data/DB/x.cab"_s,
              outside + u"to-tree.cab"_s, outside + u"to-db/x.cab"_s, outside + u"dangling.cab"_s,
              outside + u"chain.cab"_s, data() + u"DB"_s})
            QVERIFY2(Catalogue::isInsideDb(db(), inside), qPrintable(inside));
        for (const QString &free :
             {outside + u"backup.cab"_s, data() + u"backup.cab"_s, data() + u"DB.cab"_s, outside + u"missing/x.cab"_s})
            QVERIFY2(!Catalogue::isInsideDb(db(), free), qPrintable(free));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
