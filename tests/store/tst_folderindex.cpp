#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/ContentsListWriter.h"
#include "store/ContentsRecord.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The folder index works on the list's bytes: the spelling asked for first, and folders in any
// case only when no folder is spelled so. Its answers are those the catalogue has always given,
// names beyond ASCII included, whatever order the records come in.
class TestFolderIndex : public QObject
{
    Q_OBJECT

    struct Entry {
        QString name;
        QString folder; // line 2
        enum Kind { File, Folder, Archive, InArchive } kind = File;
    };

    // Folders whose names differ only in case, ASCII and not, and names whose case-blind match
    // goes beyond a-z (the Kelvin sign, final sigma, the capital sharp s).
    static QList<Entry> entries()
    {
        return {
            {u"root.txt"_s, u"\\"_s},
            {u"Pack.zip"_s, u"\\"_s, Entry::Archive},
            {u"Empty.zip"_s, u"\\"_s, Entry::Archive},
            {u"inside.txt"_s, u"\\Pack.zip\\"_s, Entry::InArchive},
            {u"Docs"_s, u"\\"_s, Entry::Folder},
            {u"DOCS"_s, u"\\"_s, Entry::Folder},
            {u"Empty"_s, u"\\"_s, Entry::Folder},
            {u"e.txt"_s, u"\\EMPTY\\"_s}, // under a spelling no folder record has
            {u"d1.txt"_s, u"\\Docs\\"_s},
            {u"d2.txt"_s, u"\\Docs\\"_s},
            {u"D3.TXT"_s, u"\\DOCS\\"_s},
            {u"Old"_s, u"\\Docs\\"_s, Entry::Folder},
            {u"Leer"_s, u"\\Docs\\"_s, Entry::Folder},
            {u"old.txt"_s, u"\\Docs\\Old\\"_s},
            {u"Müsik"_s, u"\\"_s, Entry::Folder},
            {u"MÜSIK"_s, u"\\"_s, Entry::Folder},
            {u"m1.mp3"_s, u"\\Müsik\\"_s},
            {u"m2.mp3"_s, u"\\MÜSIK\\"_s},
            {u"m3.mp3"_s, u"\\Müsik\\"_s},
            {u"Été"_s, u"\\"_s, Entry::Folder},
            {u"e1.jpg"_s, u"\\Été\\"_s},
            {u"Straße"_s, u"\\"_s, Entry::Folder},
            {u"s1.txt"_s, u"\\Straße\\"_s},
            {u"\u212A"_s, u"\\"_s, Entry::Folder},
            {u"kelvin.txt"_s, u"\\\u212A\\"_s},
            {u"ΣΟΦΙΑΣ"_s, u"\\"_s, Entry::Folder},
            {u"sigma.txt"_s, u"\\ΣΟΦΙΑΣ\\"_s},
            {u"İstanbul"_s, u"\\"_s, Entry::Folder},
            {u"ist.txt"_s, u"\\İstanbul\\"_s},
            {u"日本"_s, u"\\"_s, Entry::Folder},
            {u"写真.jpg"_s, u"\\日本\\"_s},
        };
    }

    // The two lists of those entries, either in the order above or with every folder's records
    // taking turns with other folders'.
    static void lists(bool shuffled, QByteArray &folderList, QByteArray &fileList)
    {
        QList<Entry> all = entries();
        if (shuffled) {
            QList<Entry> mixed;
            for (qsizetype i = 0; i < all.size(); ++i)
                mixed.append(all[(i * 7) % all.size()]); // 7 and the count share no factor
            all = mixed;
        }
        QBuffer folders(&folderList), files(&fileList);
        folders.open(QIODevice::WriteOnly);
        files.open(QIODevice::WriteOnly);
        ContentsListWriter folderWriter(&folders), fileWriter(&files);
        const QString date = u"14/06/2025 10:30:00"_s;
        for (const Entry &e : all) {
            if (e.kind == Entry::Folder)
                folderWriter.writeFolderRecord(e.name, e.folder, 0, date);
            else if (e.kind == Entry::InArchive)
                fileWriter.writeArchiveEntry(e.name, e.folder, 1, date, QString());
            else
                fileWriter.writeFileRecord(e.name, e.folder, 1, date,
                                           e.kind == Entry::Archive
                                               ? QStringList{QString::fromLatin1(ContentsRecord::CompressedFolder)}
                                               : QStringList());
        }
        folderWriter.flush();
        fileWriter.flush();
    }

    static QString names(const ContentsList &list, const ContentsList::Records &records)
    {
        QStringList out;
        for (int r : records)
            out.append(QString::fromUtf8(list.folderName(r)));
        out.sort();
        return out.join(u',');
    }

    // What a lookup of path answers: whether the folder is there, its subfolders and files, and
    // the files of the folder in any case.
    static QString answer(const ContentsList &folders, const ContentsList &files, const ContentsList::Folder &f,
                          const QString &path)
    {
        return u"%1|%2|%3|%4"_s.arg(f.exists ? u"yes"_s : u"no"_s, names(folders, f.subfolders), names(files, f.files),
                                    names(files, files.recordsIn(path)));
    }

private slots:
    // The answers of the lookup as it stood before the index worked on bytes, recorded once:
    // found | subfolders | files | files of that folder in any case.
    void answersStay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QString &path, const char *expected) {
            QTest::addRow("%s", qPrintable(path)) << path << QString::fromUtf8(expected);
        };
        row(u"\\"_s, "yes|DOCS,Docs,Empty,MÜSIK,Müsik,Straße,Été,İstanbul,ΣΟΦΙΑΣ,\u212A,日本|Empty.zip,Pack.zip,root."
                     "txt|Empty.zip,Pack.zip,root.txt");
        row(u"\\docs\\"_s, "yes|Leer,Old|D3.TXT,d1.txt,d2.txt|D3.TXT,d1.txt,d2.txt");
        row(u"\\Docs\\"_s, "yes|Leer,Old|d1.txt,d2.txt|D3.TXT,d1.txt,d2.txt");
        row(u"\\DOCS\\"_s, "yes||D3.TXT|D3.TXT,d1.txt,d2.txt");
        row(u"\\dOcS\\"_s, "yes|Leer,Old|D3.TXT,d1.txt,d2.txt|D3.TXT,d1.txt,d2.txt");
        row(u"\\docs\\old\\"_s, "yes||old.txt|old.txt");
        row(u"\\DOCS\\Old\\"_s, "yes||old.txt|old.txt");
        row(u"\\Docs\\Leer\\"_s, "yes|||");
        row(u"\\docs\\LEER\\"_s, "yes|||");
        row(u"\\müsik\\"_s, "yes||m1.mp3,m2.mp3,m3.mp3|m1.mp3,m2.mp3,m3.mp3");
        row(u"\\Müsik\\"_s, "yes||m1.mp3,m3.mp3|m1.mp3,m2.mp3,m3.mp3");
        row(u"\\MÜSIK\\"_s, "yes||m2.mp3|m1.mp3,m2.mp3,m3.mp3");
        row(u"\\MüSIK\\"_s, "yes||m1.mp3,m2.mp3,m3.mp3|m1.mp3,m2.mp3,m3.mp3");
        row(u"\\été\\"_s, "yes||e1.jpg|e1.jpg");
        row(u"\\ÉTÉ\\"_s, "yes||e1.jpg|e1.jpg");
        row(u"\\Été\\"_s, "yes||e1.jpg|e1.jpg");
        row(u"\\STRASSE\\"_s, "no|||");
        row(u"\\STRAẞE\\"_s, "yes||s1.txt|s1.txt");
        row(u"\\straße\\"_s, "yes||s1.txt|s1.txt");
        row(u"\\k\\"_s, "yes||kelvin.txt|kelvin.txt");
        row(u"\\K\\"_s, "yes||kelvin.txt|kelvin.txt");
        row(u"\\\u212A\\"_s, "yes||kelvin.txt|kelvin.txt");
        row(u"\\σοφιας\\"_s, "yes||sigma.txt|sigma.txt");
        row(u"\\σοφιασ\\"_s, "yes||sigma.txt|sigma.txt");
        row(u"\\ΣΟΦΙΑΣ\\"_s, "yes||sigma.txt|sigma.txt");
        row(u"\\istanbul\\"_s, "no|||");
        row(u"\\İSTANBUL\\"_s, "yes||ist.txt|ist.txt");
        row(u"\\i\u0307stanbul\\"_s, "no|||");
        row(u"\\日本\\"_s, "yes||写真.jpg|写真.jpg");
        row(u"\\pack.zip\\"_s, "yes||inside.txt|inside.txt");
        row(u"\\Pack.zip\\"_s, "yes||inside.txt|inside.txt");
        row(u"\\EMPTY.ZIP\\"_s, "yes|||");
        // A folder spelled as asked lists nothing of another spelling's, even when empty.
        row(u"\\Empty\\"_s, "yes|||e.txt");
        row(u"\\EMPTY\\"_s, "yes||e.txt|e.txt");
        row(u"\\empty\\"_s, "yes||e.txt|e.txt");
        row(u"\\nowhere\\"_s, "no|||");
        row(u"\\root.txt\\"_s, "no|||"); // a file is no folder
        row(u"\\Old\\"_s, "no|||");      // found by its whole path only
        row(u"\\Docs"_s, "no|||");
        row(u""_s, "no|||");
        row(u"\\Docs\\\\"_s, "no|||");
    }

    void answersStay()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        for (const bool shuffled : {false, true}) {
            QByteArray folderList, fileList;
            lists(shuffled, folderList, fileList);
            const ContentsList folders = ContentsList::fromBytes(folderList);
            const ContentsList files = ContentsList::fromBytes(fileList);
            QVERIFY(files.indexed());
            QCOMPARE(answer(folders, files, ContentsList::findFolder(folders, files, path), path), expected);

            // Read from a contents file keeping only what the lookup reads (the command line's ls).
            QTemporaryDir tmp;
            const QString db = tmp.path() + u"/"_s;
            ContentsFile::packBytes(db, u"0BADF00D"_s, folderList, fileList);
            const ContentsFile::OneFolder one = ContentsFile::loadFolder(db, u"0BADF00D"_s, path);
            QCOMPARE(answer(one.folders, one.files, one.folder, path), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestFolderIndex)
#include "tst_folderindex.moc"
