#include "settings/Skins.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Finding skins and checking them: which entries become skins, which file is reported
// missing, and what "info.txt" says. The shipped skins are loaded whole by the window's tests.
class TestSkins : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString skins() const { return data() + u"skins/"_s; }

    static void touch(const QString &path, const QByteArray &bytes = "BM")
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // A skin folder with every required file.
    QString completeSkin(const QString &name)
    {
        const QString path = skins() + name + u'/';
        QDir().mkpath(path);
        for (const QStringList *files : {&Skins::smallIconFiles(), &Skins::largeIconFiles()})
            for (const QString &f : *files)
                touch(path + f);
        return path;
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void everyEntryIsListedByName()
    {
        QVERIFY(Skins::LocateSkins(data()).isEmpty()); // no skins folder
        QDir().mkpath(skins());
        QVERIFY(Skins::LocateSkins(data()).isEmpty());
        completeSkin(u"Winter"_s);
        completeSkin(u"Autumn"_s);
        QDir().mkpath(skins() + u"Empty & Odd"_s);
        touch(skins() + u"readme.txt"_s); // a plain file is a skin too: its files are missing
        touch(skins() + u".hidden"_s);
        QCOMPARE(Skins::LocateSkins(data()),
                 (QStringList{u".hidden"_s, u"Autumn"_s, u"Empty & Odd"_s, u"Winter"_s, u"readme.txt"_s}));
        QCOMPARE(Skins::skinPath(data(), u"Winter"_s), skins() + u"Winter/"_s);
        const QString plain = Skins::skinPath(data(), u"readme.txt"_s);
        QCOMPARE(Skins::firstMissingFile(plain), Skins::smallIconFiles().first());
        QVERIFY(Skins::infoText(plain).isNull());
        QVERIFY(Skins::skinPath(data(), u"winter"_s).isEmpty());
        QVERIFY(Skins::skinPath(data(), u"Spring"_s).isEmpty());
    }

    void theFirstMissingFileIsNamed()
    {
        const QString skin = completeSkin(u"Test"_s);
        QVERIFY(Skins::firstMissingFile(skin).isEmpty());

        QVERIFY(QFile::remove(skin + u"borrow.bmp"_s)); // the last small file
        QVERIFY(QFile::remove(skin + u"favorites.bmp"_s));
        QCOMPARE(Skins::firstMissingFile(skin), u"borrow.bmp"_s); // small files are checked first
        touch(skin + u"borrow.bmp"_s);
        QCOMPARE(Skins::firstMissingFile(skin), u"favorites.bmp"_s);
        touch(skin + u"favorites.bmp"_s);
        // Names are compared as the file system compares them: here, with case.
        QVERIFY(QFile::rename(skin + u"exit.bmp"_s, skin + u"EXIT.BMP"_s));
        QCOMPARE(Skins::firstMissingFile(skin), u"exit.bmp"_s);
        // A folder by the name of a bitmap is no bitmap.
        QVERIFY(QFile::remove(skin + u"EXIT.BMP"_s));
        QVERIFY(QDir().mkpath(skin + u"exit.bmp"_s));
        QCOMPARE(Skins::firstMissingFile(skin), u"exit.bmp"_s);
    }

    void infoText_data()
    {
        QTest::addColumn<QByteArray>("file"); // null for none
        QTest::addColumn<QString>("shown");   // null for nothing shown
        QTest::newRow("none") << QByteArray() << QString();
        QTest::newRow("two lines") << QByteArray("Made by me\r\nFor dark desktops\r\n")
                                   << u"Made by me\nFor dark desktops\n"_s;
        QTest::newRow("no line end") << QByteArray("One line") << u"One line\n"_s;
        QTest::newRow("empty, still shown") << QByteArray("") << u""_s;
    }
    void infoText()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        const QString skin = completeSkin(u"Test"_s);
        if (!file.isNull())
            touch(skin + u"info.txt"_s, file);
        QCOMPARE(Skins::infoText(skin), shown); // QCOMPARE takes null and empty for the same
        QCOMPARE(Skins::infoText(skin).isNull(), shown.isNull());
    }
};

QTEST_GUILESS_MAIN(TestSkins)
#include "tst_skins.moc"
