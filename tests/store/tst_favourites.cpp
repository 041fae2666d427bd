// The favourite locations: "favorites.dat", adding and removing, the match that enables
// "Remove Current Location", and dropping favourites whose disc has left the catalogue.
#include "core/QuilloryError.h"
#include "store/Favourites.h"
#include "store/GroupTree.h"
#include "store/TCD.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestFavourites : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static Favourites::Location rock() { return {u"1A2B3C4D"_s, u"Concert 1998:"_s, u"\\MUSIC\\ROCK\\"_s}; }

    QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void linesAndCaptions()
    {
        QCOMPARE(Favourites::line(rock()), u"1A2B3C4D|Concert 1998:|\\MUSIC\\ROCK\\"_s);
        QCOMPARE(Favourites::caption(Favourites::line(rock())), u"Concert 1998:\\MUSIC\\ROCK\\"_s);
        // Only the first two bars split: a later one belongs to the path.
        const Favourites::Location l = Favourites::parse(u"00000001|A:|\\x|y\\"_s);
        QCOMPARE(l.serial, u"00000001"_s);
        QCOMPARE(l.discLabel, u"A:"_s);
        QCOMPARE(l.path, u"\\x|y\\"_s);
        QCOMPARE(Favourites::parse(u"broken"_s).serial, u"broken"_s);
        QVERIFY(Favourites::parse(u"broken"_s).path.isEmpty());
    }

    void theFileIsWrittenWholeAndReadBack()
    {
        const QString file = Favourites::fileName(m_dir.path());
        QCOMPARE(file, m_dir.path() + u"/favorites.dat"_s);
        Favourites favs;
        favs.load(file); // no file: no favourites, no complaint
        QCOMPARE(favs.count(), 0);
        favs.save(file);
        QVERIFY(QFile::exists(file));
        QCOMPARE(read(file), QByteArray()); // an empty list still writes the file

        favs.add(rock());
        favs.add({u"5E6F7081"_s, u"Photos Disc:"_s, u"\\"_s});
        favs.save(file);
        QCOMPARE(read(file), QByteArray("1A2B3C4D|Concert 1998:|\\MUSIC\\ROCK\\\r\n5E6F7081|Photos Disc:|\\\r\n"));
        Favourites again;
        again.load(file);
        QCOMPARE(again.lines(), favs.lines());

        // A file that cannot be read is an error, not an empty list that would be saved over it.
        const QString folder = m_dir.filePath(u"dir"_s);
        QDir().mkpath(folder + u"/favorites.dat"_s);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, again.load(Favourites::fileName(folder)));
    }

    void addedTwiceRemovedOnce()
    {
        Favourites favs;
        favs.add(rock());
        favs.add(rock());
        QCOMPARE(favs.count(), 2);
        // Letters a-z compare without case; the first equal one goes.
        Favourites::Location other = rock();
        other.path = u"\\music\\rock\\"_s;
        QVERIFY(favs.remove(other));
        QCOMPARE(favs.count(), 1);
        QVERIFY(favs.matches(rock()));
        QVERIFY(favs.remove(rock()));
        QVERIFY(!favs.remove(rock()));
        QVERIFY(!favs.matches(rock()));
    }

    void theMatchLooksForThePathRightAfterTheLabel()
    {
        Favourites favs;
        favs.add(rock());
        QVERIFY(favs.matches(rock()));
        Favourites::Location parent = rock();
        parent.path = u"\\MUSIC\\"_s;
        // The test is on where the path text starts, so a folder above a favourite enables the
        // command too, though there is nothing equal to remove there.
        QVERIFY(favs.matches(parent));
        QVERIFY(!favs.remove(parent));
        Favourites::Location below = rock();
        below.path = u"\\MUSIC\\ROCK\\LIVE\\"_s;
        QVERIFY(!favs.matches(below));
        Favourites::Location otherDisc = rock();
        otherDisc.serial = u"99999999"_s;
        QVERIFY(!favs.matches(otherDisc));

        // The path text also occurs inside the label, earlier than after it: no match.
        Favourites tricky;
        tricky.add({u"0000000A"_s, u"\\X\\ Disc:"_s, u"\\X\\"_s});
        QVERIFY(!tricky.matches({u"0000000A"_s, u"\\X\\ Disc:"_s, u"\\X\\"_s}));
    }

    void favouritesOfDiscsNoLongerCataloguedAreDropped()
    {
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"My Collection"_s, KindRoot);
        TreeNode *music = tree.addChild(root, u"Music"_s, KindGroup);
        TCD cd;
        cd.Title = u"Concert 1998"_s;
        cd.Serial = u"1A2B3C4D"_s;
        tree.addDisc(music, cd);

        Favourites favs;
        favs.add({u"DEADBEEF"_s, u"Gone:"_s, u"\\"_s});
        favs.add(rock());
        favs.add({u"DEADBEEF"_s, u"Gone:"_s, u"\\A\\"_s}); // two in a row both go
        favs.add({u"FEEDF00D"_s, u"Gone too:"_s, u"\\"_s});
        favs.add(rock());
        favs.prune(root);
        QCOMPARE(favs.lines(), QStringList({Favourites::line(rock()), Favourites::line(rock())}));
    }
};

QTEST_GUILESS_MAIN(TestFavourites)
#include "tst_favourites.moc"
