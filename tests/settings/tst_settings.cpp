// The settings: the preferences over their one table (the first run as a stored file expects
// it, every value through the file and back, values a hand-made or older file holds, what the
// user may set, Cancel, the exclusion file), the skins found and checked, and what each answer
// of the update server means.

#include "CabTestUtil.h"
#include "FileSizeLimit.h"
#include "LocalHttpServer.h"
#include "core/QuilloryError.h"
#include "settings/Preferences.h"
#include "settings/Skins.h"
#include "settings/UpdateCheck.h"
#include "store/DataPaths.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using Answer = UpdateCheck::Answer;
using CabTestUtil::readFile;
using CabTestUtil::writeFile;

class TestSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString ini() const { return m_dir->path() + u"/cfg/Quillory!.conf"_s; }
    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString skins() const { return data() + u"skins/"_s; }

    // Every value as `quillory-cli config get` lists it.
    static QString listing(const Preferences &p)
    {
        QString out;
        for (const Preferences::Item &item : Preferences::items())
            if (const QString v = p.value(item.name); !v.isNull())
                out += item.name + u'=' + v + u' ';
        return out;
    }
    // A value away from its first-run one, within what the user may set.
    static QString another(const Preferences::Item &item, const QString &now)
    {
        if (item.type == Preferences::Type::Text)
            return now + u"|Blue, dark|"_s;
        const int n = now.isNull() ? item.min : now.toInt();
        return QString::number(n == item.max ? item.min : n + 1);
    }
    // A skin folder with every required file.
    QString completeSkin(const QString &name)
    {
        const QString path = skins() + name + u'/';
        QDir().mkpath(path);
        for (const QStringList *files : {&Skins::smallIconFiles(), &Skins::largeIconFiles()})
            for (const QString &f : *files)
                writeFile(path + f, "BM");
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // The names, order and first-run values that stored files and scripts rely on.
    void firstRun()
    {
        Preferences p;
        p.load(ini()); // no file
        QCOMPARE(listing(p), u"Filter 0=1 Filter 1=0 Filter 2=0 Filter 3=0 Filter 4=0 Filter 5=0 Filter 6=0 "
                             "Filter 7=1 Filter 8=0 Filter 9=0 Filter 10=1 Filter 11=1 Filter 12=1 Filter 13=1 AutoInsert=1 Eject=1 Action=3 CorrectLabel=1 "
                             "SavePos=1 Grids=1 Unlimited=1 MaxResults=1000 EmptyDirs=0 EmptyFiles=0 "
                             "DiscEditDblClick=1 AutoExpand=1 HiddenFiles=0 Checksums=0 ObjectInfo=0 AutoExpandGroups=| "_s);
        QVERIFY(!p.viewStyle() && !p.treeWidth() && p.exclusions().isEmpty());

        // What is unset is not written.
        p.save(ini());
        const QStringList keys = QSettings(ini(), QSettings::IniFormat).allKeys();
        QVERIFY(!keys.contains(u"ViewStyle"_s) && !keys.contains(u"TreeWidth"_s) && !keys.contains(u"Theme"_s));
        QCOMPARE(keys.size(), int(Preferences::items().size()) - 3);

        // A folder where the file should be.
        QVERIFY(QDir().mkpath(ini() + u".d"_s));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, p.save(ini() + u".d"_s));
        // A folder that cannot be made is named with the system's reason, not as a file missing.
        const QString why = CabTestUtil::refusal([&] { p.save(ini() + u"/Tarnwick/Quillory!.conf"_s); });
        QVERIFY2(why.contains(u"Its folder \""_s) && why.endsWith(u"cannot be made: Not a directory"_s),
                 qPrintable(why));
    }

    // The file is shared by every catalogue's window and by quillory-cli: a save writes what
    // changed here, not over what another program changed meanwhile.
    void saveKeepsAnotherProgramsChange()
    {
        Preferences window, cli;
        window.load(ini());
        window.save(ini());
        cli.load(ini());
        QVERIFY(cli.setValue(u"Checksums"_s, u"1"_s));
        cli.save(ini());
        window.save(ini()); // nothing changed in the window
        QVERIFY(window.setValue(u"MaxResults"_s, u"50"_s));
        window.save(ini());
        Preferences after;
        after.load(ini());
        QCOMPARE(after.value(u"Checksums"_s), u"1"_s);
        QCOMPARE(after.value(u"MaxResults"_s), u"50"_s);

        // Read again as the preferences window opens: what another program stored shows, what
        // was changed here and not saved stays.
        QVERIFY(window.setValue(u"EmptyDirs"_s, u"1"_s));
        QVERIFY(cli.setValue(u"MaxResults"_s, u"777"_s));
        cli.save(ini());
        window.refresh(ini());
        QCOMPARE(window.value(u"MaxResults"_s), u"777"_s);
        QCOMPARE(window.value(u"EmptyDirs"_s), u"1"_s);

        // A save that fails names the reason (a full disk here), and the file keeps what it held.
        const QByteArray before = readFile(ini());
        QVERIFY(window.setValue(u"MaxResults"_s, u"500"_s));
        QString failure;
        {
            FileSizeLimit full(64);
            try {
                window.save(ini());
            } catch (const QuilloryError &e) {
                failure = e.message();
            }
        }
        QVERIFY2(failure.endsWith(u".conf\". "_s + QString::fromLocal8Bit(strerror(EFBIG))), qPrintable(failure));
        QCOMPARE(readFile(ini()), before);
    }

    void everyValueThroughTheFile()
    {
        Preferences a;
        for (const Preferences::Item &item : Preferences::items())
            QVERIFY2(a.setValue(item.name, another(item, a.value(item.name))), qPrintable(item.name));
        a.save(ini());
        Preferences b;
        b.load(ini());
        for (const Preferences::Item &item : Preferences::items()) {
            QVERIFY(b.value(item.name) != Preferences().value(item.name));
            QCOMPARE(b.value(item.name), a.value(item.name));
        }
        // Numbers are stored as numbers, as the registry held them.
        QCOMPARE(QSettings(ini(), QSettings::IniFormat).value(u"MaxResults"_s).metaType(), QMetaType::fromType<int>());
    }

    // One stored line each, over a value set beforehand.
    void storedValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("before"); // set first; null for the first-run value
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("after");
        QTest::newRow("filter ticked") << u"Filter 3"_s << QString() << QByteArray("Filter%203=1") << u"1"_s;
        // The filters start again from their first-run ticks; every other value is kept.
        QTest::newRow("filter missing") << u"Filter 5"_s << u"1"_s << QByteArray() << u"0"_s;
        QTest::newRow("box missing") << u"EmptyFiles"_s << u"1"_s << QByteArray() << u"1"_s;
        QTest::newRow("only 1 ticks a box") << u"Eject"_s << QString() << QByteArray("Eject=2") << u"0"_s;
        QTest::newRow("any number but 0") << u"HiddenFiles"_s << QString() << QByteArray("HiddenFiles=2") << u"1"_s;
        QTest::newRow("action as stored") << u"Action"_s << QString() << QByteArray("Action=9") << u"9"_s;
        QTest::newRow("no such view style") << u"ViewStyle"_s << QString() << QByteArray("ViewStyle=7") << QString();
        QTest::newRow("not a number") << u"Grids"_s << QString() << QByteArray("Grids=abc") << u"1"_s;
        // A stored 0 never hides the information panel.
        QTest::newRow("panel shown") << u"ObjectInfo"_s << u"1"_s << QByteArray("ObjectInfo=0") << u"1"_s;
        // Unquoted, a text with a comma comes back from the file as a list.
        QTest::newRow("text with a comma")
            << u"Theme"_s << QString() << QByteArray("Theme=Blue,dark") << u"Blue,dark"_s;
    }
    void storedValues()
    {
        QFETCH(QString, name);
        QFETCH(QString, before);
        QFETCH(QByteArray, line);
        QFETCH(QString, after);
        writeFile(ini(), "[General]\n" + line + '\n');
        Preferences p;
        if (!before.isNull())
            QVERIFY(p.setValue(name, before));
        p.load(ini());
        QCOMPARE(p.value(name), after);
    }

    // What the user may set, where a stored file is applied as it stands.
    void userSets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // empty when allowed
        QTest::newRow("box, other number") << u"HiddenFiles"_s << u"2"_s << u"takes 0 or 1, not \"2\""_s;
        QTest::newRow("last action") << u"Action"_s << u"3"_s << QString();
        QTest::newRow("no such action") << u"Action"_s << u"-1"_s << u"takes 0 to 3"_s;
        QTest::newRow("no results") << u"MaxResults"_s << u"0"_s << u"takes 1 to 2147483647"_s;
        QTest::newRow("beyond 32 bits") << u"MaxResults"_s << u"2147483648"_s << u"takes a whole number"_s;
        QTest::newRow("unknown") << u"Colour"_s << u"1"_s << u"Unknown preference"_s;
        QTest::newRow("no such filter") << u"Filter 14"_s << u"1"_s << u"Unknown preference"_s;
    }
    void userSets()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        Preferences p;
        const QString was = listing(p);
        QString error;
        QCOMPARE(p.setValue(name, text, &error), refusal.isEmpty());
        QVERIFY2(error.contains(refusal), qPrintable(error));
        if (refusal.isEmpty())
            QCOMPARE(p.value(name), text);
        else
            QCOMPARE(listing(p), was); // nothing changed
    }

    // Cancel: every choice back to what is stored, or to its first run; the window's state stays.
    void cancel()
    {
        Preferences p;
        for (const Preferences::Item &item : Preferences::items())
            QVERIFY(p.setValue(item.name, another(item, p.value(item.name))));
        QVERIFY(QDir().mkpath(QFileInfo(ini()).path()));
        QSettings(ini(), QSettings::IniFormat).setValue(u"MaxResults"_s, 50);
        p.reload(ini());
        for (const Preferences::Item &item : Preferences::items()) {
            const QString expected = item.windowState ? another(item, Preferences().value(item.name))
                                     : item.id == Preferences::MaxResults ? u"50"_s
                                                                          : Preferences().value(item.name);
            QCOMPARE(p.value(item.name), expected);
        }
    }

    void exclusionFile()
    {
        const QString data = m_dir->path() + u"/data/"_s;
        Preferences p;
        p.setExclusions({u"*.dll"_s, QString(), u"temp\\"_s, u"*.dll"_s}); // an empty mask and a repeat go
        QCOMPARE(p.exclusions(), (QStringList{u"*.dll"_s, u"temp\\"_s}));
        p.loadExclusions(data); // no file: the list stays
        p.saveExclusions(data);
        QCOMPARE(readFile(DataPaths::exclusionsFile(data)), QByteArray("*.dll\r\ntemp\\\r\n"));

        // Cancel: the file puts back what was saved.
        p.setExclusions({u"*.tmp"_s});
        p.loadExclusions(data);
        QCOMPARE(p.exclusions(), (QStringList{u"*.dll"_s, u"temp\\"_s}));

        // Lists made on Windows: Windows-1252, CR LF; LF alone is read too.
        writeFile(DataPaths::exclusionsFile(data), "caf\xe9*.txt\r\n*.bak\n");
        p.loadExclusions(data);
        QCOMPARE(p.exclusions(), (QStringList{u"café*.txt"_s, u"*.bak"_s}));
    }

    // Every entry of the skins folder is a skin, listed by name; a plain file lacks all its files.
    void skinsFound()
    {
        QVERIFY(Skins::LocateSkins(data()).isEmpty()); // no skins folder
        QDir().mkpath(skins());
        QVERIFY(Skins::LocateSkins(data()).isEmpty());
        completeSkin(u"Winter"_s);
        completeSkin(u"Autumn"_s);
        QDir().mkpath(skins() + u"Empty & Odd"_s);
        writeFile(skins() + u"readme.txt"_s, "BM");
        writeFile(skins() + u".hidden"_s, "BM");
        QCOMPARE(Skins::LocateSkins(data()),
                 (QStringList{u".hidden"_s, u"Autumn"_s, u"Empty & Odd"_s, u"Winter"_s, u"readme.txt"_s}));
        QCOMPARE(Skins::skinPath(data(), u"Winter"_s), skins() + u"Winter/"_s);
        const QString plain = Skins::skinPath(data(), u"readme.txt"_s);
        QCOMPARE(Skins::firstMissingFile(plain), Skins::smallIconFiles().first());
        QVERIFY(Skins::infoText(plain).isNull());
        QVERIFY(Skins::skinPath(data(), u"winter"_s).isEmpty() && Skins::skinPath(data(), u"Spring"_s).isEmpty());

        const QString skin = completeSkin(u"Test"_s);
        QVERIFY(Skins::firstMissingFile(skin).isEmpty());
        QVERIFY(QFile::remove(skin + u"borrow.bmp"_s)); // the last small file
        QVERIFY(QFile::remove(skin + u"favorites.bmp"_s));
        QCOMPARE(Skins::firstMissingFile(skin), u"borrow.bmp"_s); // small files are checked first
        writeFile(skin + u"borrow.bmp"_s, "BM");
        QCOMPARE(Skins::firstMissingFile(skin), u"favorites.bmp"_s);
        writeFile(skin + u"favorites.bmp"_s, "BM");
        // Names are compared as the file system compares them: here, with case.
        QVERIFY(QFile::rename(skin + u"exit.bmp"_s, skin + u"EXIT.BMP"_s));
        QCOMPARE(Skins::firstMissingFile(skin), u"exit.bmp"_s);
        // A folder by the name of a bitmap is no bitmap.
        QVERIFY(QFile::remove(skin + u"EXIT.BMP"_s));
        QVERIFY(QDir().mkpath(skin + u"exit.bmp"_s));
        QCOMPARE(Skins::firstMissingFile(skin), u"exit.bmp"_s);

        // "info.txt": none shows nothing; an empty one is still shown; lines end in "\n".
        QVERIFY(Skins::infoText(skin).isNull());
        writeFile(skin + u"info.txt"_s, "");
        QVERIFY(!Skins::infoText(skin).isNull() && Skins::infoText(skin).isEmpty());
        writeFile(skin + u"info.txt"_s, "Made by me\r\nFor dark desktops");
        QCOMPARE(Skins::infoText(skin), u"Made by me\nFor dark desktops\n"_s);
    }

    // For a program of release 1.5.115.
    void updateAnswers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("version");
        QTest::newRow("same") << QByteArray("ver=1.5.115") << int(Answer::UpToDate) << u"1.5.115"_s;
        QTest::newRow("newer") << QByteArray("ver=1.5.116") << int(Answer::Newer) << u"1.5.116"_s;
        // Compared as text these two would come out the other way round.
        QTest::newRow("newer minor, fewer digits") << QByteArray("ver=1.10") << int(Answer::Newer) << u"1.10"_s;
        QTest::newRow("older build, fewer digits") << QByteArray("ver=1.5.99") << int(Answer::UpToDate) << u"1.5.99"_s;
        QTest::newRow("newer, blanks and line end") << QByteArray("ver= 2.0 \r\n") << int(Answer::Newer) << u"2.0"_s;
        QTest::newRow("same, written longer") << QByteArray("ver=1.5.115.0") << int(Answer::UpToDate) << u"1.5.115.0"_s;
        QTest::newRow("empty answer") << QByteArray() << int(Answer::NoAnswer) << QString();
        QTest::newRow("no ver=") << QByteArray("<html>Moved</html>") << int(Answer::NoAnswer) << QString();
        QTest::newRow("not a release") << QByteArray("ver=1.5.x") << int(Answer::NoAnswer) << QString();
        QTest::newRow("signed part") << QByteArray("ver=1.-5") << int(Answer::NoAnswer) << QString();
    }
    void updateAnswers()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, kind);
        QFETCH(QString, version);
        const Answer a = UpdateCheck::judge(file, u"1.5.115"_s);
        QCOMPARE(int(a.kind), kind);
        if (kind != Answer::NoAnswer)
            QCOMPARE(a.version, version);
    }

    // A body larger than a version file is not taken; the server setting as written, tidied.
    void updateServer()
    {
        LocalHttpServer server;
        server.setBody("ver=9.9.9" + QByteArray(1 << 20, ' '));
        QCOMPARE(UpdateCheck::download(UpdateCheck::versionFileUrl(server.address()), 5000), QByteArray());
        QCOMPARE(server.paths(), QStringList{u"/software/Quillory_ver.txt"_s});

        QVERIFY(UpdateCheck::serverSetting(ini()).isEmpty());
        QSettings(ini(), QSettings::IniFormat).setValue(u"UpdateServer"_s, u"  https://tarnwick.example//  "_s);
        QCOMPARE(UpdateCheck::siteUrl(UpdateCheck::serverSetting(ini())).toString(), u"https://tarnwick.example/"_s);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
