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

    static Favourites::Location rock() { return {u"1A2B3C4D"_s, u"Concert 1998:"_s, u"\\MUSIC\\ROCK\\"_s}; }
    static Favourites::Location at(const QString &path, const QString &serial = u"1A2B3C4D"_s)
    {
        return {serial, u"Concert 1998:"_s, path};
    }

private Q_SLOTS:
    void linesAndCaptions()
    {
        QCOMPARE(Favourites::caption(Favourites::line(rock())), u"Concert 1998:\\MUSIC\\ROCK\\"_s);
        // Only the first two bars split: a later one belongs to the path.
        const Favourites::Location l = Favourites::parse(u"00000001|A:|\\x|y\\"_s);
        QCOMPARE(QStringList({l.serial, l.discLabel, l.path}), QStringList({u"00000001"_s, u"A:"_s, u"\\x|y\\"_s}));
        QCOMPARE(Favourites::parse(u"broken"_s).serial + Favourites::parse(u"broken"_s).path, u"broken"_s);
    }

    void theFileIsWrittenWholeAndReadBack()
    {
        QTemporaryDir dir;
        const QString file = Favourites::fileName(dir.path());
        Favourites favs;
        favs.load(file); // no file: no favourites, no complaint
        QCOMPARE(favs.count(), 0);
        favs.save(file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray()); // an empty list still writes the file, or the last removal would not stick
        f.close();
        favs.add(rock());
        favs.add({u"5E6F7081"_s, u"Photos Disc:"_s, u"\\"_s});
        favs.save(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("1A2B3C4D|Concert 1998:|\\MUSIC\\ROCK\\\r\n5E6F7081|Photos Disc:|\\\r\n"));
        Favourites again;
        again.load(file);
        QCOMPARE(again.lines(), favs.lines());

        // A file that cannot be read is an error, not an empty list that would be saved over it.
        QDir().mkpath(dir.filePath(u"dir/favorites.dat"_s));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, again.load(Favourites::fileName(dir.filePath(u"dir"_s))));
    }

    // Added twice, removed once at a time; letters a-z compare without case.
    void addedTwiceRemovedOnce()
    {
        Favourites favs;
        favs.add(rock());
        favs.add(rock());
        QVERIFY(favs.remove(at(u"\\music\\rock\\"_s)));
        QVERIFY(favs.matches(rock()));
        QVERIFY(favs.remove(rock()));
        QVERIFY(!favs.remove(rock()));
        QVERIFY(!favs.matches(rock()));
    }

    // The test is on where the path text starts right after the label, so a folder above a
    // favourite enables the command too, though there is nothing equal to remove there.
    void theMatchLooksForThePathRightAfterTheLabel()
    {
        Favourites favs;
        favs.add(rock());
        QVERIFY(favs.matches(at(u"\\MUSIC\\"_s)));
        QVERIFY(!favs.remove(at(u"\\MUSIC\\"_s)));
        QVERIFY(!favs.matches(at(u"\\MUSIC\\ROCK\\LIVE\\"_s)));
        QVERIFY(!favs.matches(at(u"\\MUSIC\\ROCK\\"_s, u"99999999"_s)));
        // The path text also occurs inside the label, earlier than after it: no match.
        Favourites tricky;
        tricky.add({u"0000000A"_s, u"\\X\\ Disc:"_s, u"\\X\\"_s});
        QVERIFY(!tricky.matches({u"0000000A"_s, u"\\X\\ Disc:"_s, u"\\X\\"_s}));
    }

    void favouritesOfDiscsNoLongerCataloguedAreDropped()
    {
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"My Collection"_s, KindRoot);
        TCD cd;
        cd.Title = u"Concert 1998"_s;
        cd.Serial = u"1A2B3C4D"_s;
        tree.addDisc(tree.addChild(root, u"Music"_s, KindGroup), cd);

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
