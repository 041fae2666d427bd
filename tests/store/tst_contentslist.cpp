#include "CabTestUtil.h"

#include "cabinet/ESTCabinet.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/ContentsListWriter.h"
#include "store/ContentsRecord.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The reader finds line ends sixteen bytes at a time, keeps only where each record starts, and
// may be fed a list while it is still being decompressed. Its answers must not depend on where
// a block or a feed ends.
class TestContentsList : public QObject
{
    Q_OBJECT

    // Records as plain line lists, read the simple way: split at every LF, strip one CR, a "-"
    // after the four fixed lines ends a record, a last record without it still counts. A list
    // that is not UTF-8 anywhere is Windows-1252 throughout.
    static QList<QStringList> simpleRecords(const QByteArray &bytes)
    {
        const bool utf8 = TextCodec::isValidUtf8(bytes);
        QList<QByteArray> lines = bytes.split('\n');
        if (bytes.endsWith('\n'))
            lines.removeLast();
        QList<QStringList> records;
        QStringList current;
        for (QByteArray l : lines) {
            if (l.endsWith('\r'))
                l.chop(1);
            if (current.size() >= ContentsRecord::FixedLines && l == "-") {
                records.append(current);
                current.clear();
            } else {
                current.append(utf8 ? QString::fromUtf8(l) : TextCodec::fromWindows1252(l));
            }
        }
        if (!current.isEmpty())
            records.append(current);
        return records;
    }

    static QList<QStringList> recordsOf(const ContentsList &list)
    {
        QList<QStringList> records;
        for (int r = 0; r < list.recordCount(); ++r) {
            records.append(list.lines(r));
            // One line past the record is nothing, not its closing "-".
            if (!list.lineBytes(r, list.lineCount(r)).isNull())
                return {};
        }
        return records;
    }

    // Line lengths around sixteen, CR LF and LF, a CR that is the last byte of a block, a "-"
    // in the fixed lines, empty lines, folders in differing case.
    static QByteArray awkwardList()
    {
        QByteArray bytes;
        const QByteArray folders[] = {"\\", "\\Docs\\", "\\DOCS\\", "\\a folder name of thirty-one b\\"};
        for (int i = 0; i < 40; ++i) {
            const QByteArray eol = i % 3 == 0 ? "\n" : "\r\n";
            bytes += (i % 7 == 0 ? QByteArray("-") : "name" + QByteArray(i % 19, 'x')) + eol;
            bytes += folders[i % 4] + eol;
            bytes += QByteArray::number(i * 1000) + eol;
            bytes += (i % 5 == 0 ? QByteArray() : QByteArray("01.01.2000 12:00:00")) + eol;
            for (int x = 0; x < i % 4; ++x)
                bytes += (x == 1 ? QByteArray("Title: -") : QByteArray(13 + x, 'e')) + eol;
            bytes += "-" + eol;
        }
        return bytes;
    }

private Q_SLOTS:
    void fedInAnyPiecesReadsAsWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("mixed line ends") << awkwardList();
        QTest::newRow("last record open") << awkwardList() + "tail.txt\r\n\\\r\n5\r\n";
        QTest::newRow("last line without end") << awkwardList() + "tail.txt\r\n\\\r\n5\r\n02.02.2002\r\n-";
        QTest::newRow("CR alone before the end") << awkwardList() + "a\r\n\\\r\n1\r\nd\r";
        QTest::newRow("one short record") << QByteArray("a\n\\\n1\nd\n-\n");
        // One byte of Windows-1252 anywhere, in a whole block or in the tail, decides for the list.
        for (const int at : {3, 40, 700}) {
            QByteArray bytes = awkwardList() + "Caf\xe9.mp3\r\n\\M\xfcsik\\\r\n1\r\nd\r\n-\r\n";
            QTest::addRow("Windows-1252 at %d", at) << bytes.replace(at, 4, "Caf\xe9");
        }
    }

    void fedInAnyPiecesReadsAsWhole()
    {
        QFETCH(QByteArray, bytes);
        const QList<QStringList> expected = simpleRecords(bytes);
        const auto expectedIn = [&](const QString &folder, Qt::CaseSensitivity cs) {
            std::vector<int> in;
            for (int r = 0; r < expected.size(); ++r)
                if (expected[r].size() > ContentsRecord::FolderLine &&
                    (cs == Qt::CaseSensitive ? expected[r][ContentsRecord::FolderLine] == folder
                                             : expected[r][ContentsRecord::FolderLine].toCaseFolded() ==
                                                   folder.toCaseFolded()))
                    in.push_back(r);
            return in;
        };
        const auto check = [&](const ContentsList &list) {
            QCOMPARE(recordsOf(list), expected);
            for (const QString &folder : {u"\\docs\\"_s, u"\\Docs\\"_s, u"\\DOCS\\"_s, u"\\"_s, u"\\MÜSIK\\"_s,
                                          u"\\A FOLDER NAME OF THIRTY-ONE B\\"_s})
                for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
                    QCOMPARE(list.recordsIn(folder, cs).toVector(), expectedIn(folder, cs));
        };
        check(ContentsList::fromBytes(bytes));
        if (QTest::currentTestFailed())
            return;
        // Every split point, and feeds of every size up to a few blocks.
        for (qsizetype step = 1; step <= 50 && !QTest::currentTestFailed(); ++step) {
            ContentsList::Builder builder(bytes.constData());
            for (qsizetype at = step; at < bytes.size(); at += step)
                builder.advance(at);
            check(builder.finish(bytes));
        }

        // Asked about one folder (spelled so nowhere), a list not in UTF-8 is read whole instead.
        QTemporaryDir tmp;
        const QString db = tmp.path() + u"/"_s;
        ContentsFile::packBytes(db, u"0BADF00D"_s, QByteArray(), bytes);
        for (const QString &folder : {u"\\docs\\"_s, u"\\MÜSIK\\"_s}) {
            const ContentsFile::OneFolder one = ContentsFile::loadFolder(db, u"0BADF00D"_s, folder);
            QList<QStringList> found, inFolder;
            for (const int r : one.folder.files)
                found << one.files.lines(r);
            for (const int r : expectedIn(folder, Qt::CaseInsensitive))
                inFolder << expected[r];
            QCOMPARE(found, inFolder);
        }
    }

    // A sieve keeps, of a list arriving in pieces, the records of the folders asked for in any
    // case, in list order, whatever the pieces: records cut by a piece's end, longer than the
    // sieve's own reading piece, a last record without its end line or line feed. A list that
    // is not UTF-8 gives nothing (it is read whole instead); one beyond the limits is refused.
    void sieveKeepsTheRecordsOfItsFolders_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("outcome"); // "kept", "none" or the refusal's words
        QTest::newRow("closed") << QByteArray() << u"kept"_s;
        QTest::newRow("last record open") << QByteArray("tail.txt\r\n\\DOCS\\\r\n5\r\n") << u"kept"_s;
        QTest::newRow("end line without line feed") << QByteArray("t\r\n\\\r\n5\r\nd\r\n-") << u"kept"_s;
        QByteArray many("pack.zip\n\\Docs\\\n1\n2\n");
        for (int i = 0; i < 100000; ++i)
            many += "line\n";
        QTest::newRow("a record longer than a reading") << many + "-\n" << u"kept"_s;
        QTest::newRow("Windows-1252") << QByteArray("Caf\xe9\n\\\n1\nd\n-\n") << u"none"_s;
        QTest::newRow("overlong line") << "a\n\\\n1\n" + QByteArray(ContentsList::MaxLineBytes + 1, 'd')
                                       << u"line of more than 64 KB"_s;
    }

    void sieveKeepsTheRecordsOfItsFolders()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QString, outcome);
        QByteArray bytes;
        while (bytes.size() < 600 * 1024)
            bytes += awkwardList();
        bytes += tail;
        const QStringList folders = ContentsList::foldersRead(u"\\docs\\"_s);
        QCOMPARE(folders, (QStringList{u"\\docs\\"_s, u"\\"_s}));
        QList<QStringList> expected;
        for (const QStringList &r : simpleRecords(bytes))
            if (r.size() > ContentsRecord::FolderLine &&
                (r[ContentsRecord::FolderLine].compare(folders[0], Qt::CaseInsensitive) == 0 ||
                 r[ContentsRecord::FolderLine] == folders[1]))
                expected.append(r);
        for (const qsizetype step : {qsizetype(4093), qsizetype(32768), qsizetype(300000)}) {
            ContentsList::Sieve sieve(folders);
            for (qsizetype at = 0; at < bytes.size(); at += step)
                sieve.add(QByteArrayView(bytes).sliced(at, std::min(step, bytes.size() - at)));
            if (outcome != u"kept"_s && outcome != u"none"_s) {
                try {
                    sieve.finish();
                    QFAIL("a list beyond the limits was read");
                } catch (const QuilloryError &e) {
                    QVERIFY2(e.message().contains(outcome), qPrintable(e.message()));
                }
                continue;
            }
            const std::optional<ContentsList> kept = sieve.finish();
            QCOMPARE(kept.has_value(), outcome == u"kept"_s);
            if (kept)
                QCOMPARE(recordsOf(*kept), expected);
        }
    }

    // A disc large enough that loading parses its file list on a second thread, as the
    // decompressor hands over its blocks: the same records and folders as parsing afterwards,
    // and the same folder when only one is asked for.
    void loadingWhileDecompressingReadsAsParsingAfterwards()
    {
        QByteArray folderList, fileList;
        QBuffer folderBuffer(&folderList), fileBuffer(&fileList);
        folderBuffer.open(QIODevice::WriteOnly);
        fileBuffer.open(QIODevice::WriteOnly);
        {
            ContentsListWriter folders(&folderBuffer), files(&fileBuffer);
            for (int f = 0; f < 600; ++f) {
                const QString folder = u"\\F%1\\"_s.arg(f % 7 == 0 ? f / 7 : f);
                for (int i = 0; i < 50; ++i)
                    files.writeFileRecord(u"file %1.mp3"_s.arg(i), folder, quint64(i * f), u"01.01.2000 12:00:00"_s,
                                          i % 3 ? QStringList() : QStringList{u"Title: song %1"_s.arg(i)});
                folders.writeFolderRecord(u"F%1"_s.arg(f), u"\\"_s, 0, u"01.01.2000 12:00:00"_s);
            }
        }
        QVERIFY(fileList.size() > (qsizetype(1) << 20));
        QTemporaryDir tmp;
        const QString db = tmp.path() + u"/"_s;
        ContentsFile::packBytes(db, u"0BADF00D"_s, folderList, fileList);
        const ContentsList files = ContentsList::fromBytes(fileList);
        const ContentsList folders = ContentsList::fromBytes(folderList);
        for (int round = 0; round < 3; ++round) {
            const ContentsFile::Parsed loaded = ContentsFile::load(db, u"0BADF00D"_s);
            QCOMPARE(loaded.files.data(), fileList);
            QCOMPARE(recordsOf(loaded.files), recordsOf(files));
            QCOMPARE(recordsOf(loaded.folders), recordsOf(folders));
            for (const QString &folder : {u"\\F0\\"_s, u"\\f85\\"_s, u"\\F599\\"_s, u"\\"_s})
                QCOMPARE(loaded.files.recordsIn(folder).toVector(), files.recordsIn(folder).toVector());
            QCOMPARE(loaded.folders.recordsIn(u"\\"_s).size(), size_t(600));
            // Sieved on the second thread as the blocks arrive, for one folder: its own records.
            for (const QString &folder : {u"\\f85\\"_s, u"\\"_s}) {
                const ContentsFile::OneFolder one = ContentsFile::loadFolder(db, u"0BADF00D"_s, folder);
                const ContentsList::Folder whole = ContentsList::findFolder(folders, files, folder);
                QCOMPARE(one.folder.files.size(), whole.files.size());
                QCOMPARE(one.folder.subfolders.size(), whole.subfolders.size());
                for (auto a = one.folder.files.begin(), b = whole.files.begin(); a != one.folder.files.end(); ++a, ++b)
                    QCOMPARE(one.files.lines(*a), files.lines(*b));
            }
        }

        // A cabinet damaged in its last blocks fails while the second thread may still be parsing
        // the blocks before: the load throws, and nothing reads the freed bytes.
        QFile file(ContentsFile::contentsFileName(db, u"0BADF00D"_s));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[bytes.size() - 100] = char(bytes.at(bytes.size() - 100) ^ 0x55);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();
        for (int round = 0; round < 3; ++round) {
            QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::load(db, u"0BADF00D"_s));
            QVERIFY_THROWS_EXCEPTION(ESTCabinet, ContentsFile::loadFolder(db, u"0BADF00D"_s, u"\\F0\\"_s));
        }
    }

    // Lists of a shape no scan makes, each large enough for the tables to meet their share of
    // the text: read right, found by folder, fed in pieces as whole, and held within 1.3 times
    // their text. One record of many lines is walked once for each of its questions.
    void degenerateListsReadRightWithinTheirShare_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("folder"); // asked for: records from `asked` on, `every` apart
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("every");
        QTest::addColumn<bool>("spelledSo"); // whether the list spells the folder as asked
        const int n = 200000;
        QByteArray empty, alternating, ownFolders;
        for (int i = 0; i < n; ++i) {
            empty += "\n\n\n\n-\n";
            alternating += "a\n" + QByteArray(i % 2 ? "\\x\\" : "\\") + "\n" + QByteArray::number(i) + "\n\n-\n";
            ownFolders += "a\n\\" + QByteArray::number(i) + "\\\n" + QByteArray::number(i) + "\n\n-\n";
        }
        QByteArray manyLines("pack.zip\n\\\n1\n2\n");
        for (int i = 0; i < n; ++i)
            manyLines += "line\n";
        manyLines += "Compressed Folder\n";
        QTest::newRow("empty records") << empty << n << QString() << -1 << 0 << false;
        QTest::newRow("folders taking turns") << alternating << n << u"\\X\\"_s << 1 << 2 << false;
        QTest::newRow("a folder per record") << ownFolders << n << u"\\77777\\"_s << 77777 << n << true;
        QTest::newRow("one record of many lines") << manyLines << 1 << u"\\"_s << 0 << 1 << true;
    }

    void degenerateListsReadRightWithinTheirShare()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, records);
        QFETCH(QString, folder);
        QFETCH(int, asked);
        QFETCH(int, every);
        QFETCH(bool, spelledSo);
        bytes.squeeze(); // as a contents file's list arrives: in a buffer of its size
        const ContentsList list = ContentsList::fromBytes(bytes);
        QCOMPARE(list.recordCount(), records);
        QVERIFY2(double(list.heldBytes()) <= 1.3 * double(bytes.size()),
                 qPrintable(u"%1 bytes held for %2"_s.arg(list.heldBytes()).arg(bytes.size())));
        const QList<QStringList> expected = simpleRecords(bytes);
        for (const int r : {0, 1, 2, 3, 4, 5, records / 2, records / 2 + 1, records - 2, records - 1}) {
            if (r < 0 || r >= records)
                continue;
            QCOMPARE(list.lines(r), expected.at(r));
            QCOMPARE(list.line(r, ContentsRecord::SizeLine), expected.at(r).at(ContentsRecord::SizeLine));
        }
        if (asked >= 0) {
            std::vector<int> inFolder;
            for (int r = asked; r < records; r += every)
                inFolder.push_back(r);
            QCOMPARE(list.recordsIn(folder).toVector(), inFolder);
            QCOMPARE(list.recordsIn(folder, Qt::CaseSensitive).size(), spelledSo ? inFolder.size() : size_t(0));
        }
        QCOMPARE(list.isArchive(records - 1), records == 1);

        // Fed as a decompressor hands it over, the list reads the same.
        QByteArray arriving;
        arriving.reserve(bytes.size());
        ContentsList::Builder builder(arriving.constData(), bytes.size());
        for (qsizetype at = 0; at < bytes.size(); at += 4000) {
            arriving.append(bytes.sliced(at, std::min<qsizetype>(4000, bytes.size() - at)));
            builder.advance(arriving.size());
        }
        const ContentsList fed = builder.finish(arriving);
        QCOMPARE(fed.recordCount(), records);
        QCOMPARE(fed.lines(records - 1), expected.at(records - 1));
        if (asked >= 0)
            QCOMPARE(fed.recordsIn(folder).toVector(), list.recordsIn(folder).toVector());
    }

    // A list beyond the catalogue's limits is refused with a message: one whose size the
    // contents file's header gives before anything is unpacked, one with an overlong line
    // once it is read. A line at the limit is read.
    void listsBeyondTheLimitsAreRefused()
    {
        const QByteArray atLimit = "a\n\\\n1\n" + QByteArray(ContentsList::MaxLineBytes, 'd') + "\r\n-\r\n";
        QCOMPARE(ContentsList::fromBytes(atLimit).line(0, ContentsRecord::DateLine).size(), ContentsList::MaxLineBytes);
        const QByteArray overLimit = "a\n\\\n1\n" + QByteArray(ContentsList::MaxLineBytes + 1, 'd');
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsList::fromBytes(overLimit));
        // A scanned detail that long (a tag of 100,000 letters) is cut where a character starts.
        QBuffer written;
        written.open(QIODevice::WriteOnly);
        {
            ContentsListWriter writer(&written);
            writer.writeScannedFile("song.flac", "\\", 1, "1 Jan 2024", {u"Title: "_s + QString(100000, QChar(0xE9))});
        }
        const ContentsList cut = ContentsList::fromBytes(written.data());
        const QString title = cut.lines(0).value(ContentsRecord::FixedLines);
        QVERIFY(title.startsWith(u"Title: \u00E9"_s) && !title.endsWith(QChar::ReplacementCharacter));
        QVERIFY(title.toUtf8().size() <= ContentsList::MaxLineBytes);

        QTemporaryDir tmp;
        const QString db = tmp.path() + u"/"_s;
        const QString serial = u"0BADF00D"_s;
        ContentsFile::packBytes(db, serial, "F\n\\\n0\nd\n-\n", overLimit);
        const auto refusal = [&] { return CabTestUtil::refusal([&] { ContentsFile::load(db, serial); }); };
        QVERIFY2(refusal().contains(u"line of more than 64 KB"_s), qPrintable(refusal()));

        // The file list's size in its CFFILE entry (four bytes before its offset, date, time
        // and attributes, then its name) made larger than any disc's list may be.
        ContentsFile::packBytes(db, serial, "F\n\\\n0\nd\n-\n", "a\n\\\n1\nd\n-\n");
        QFile file(ContentsFile::contentsFileName(db, serial));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray cab = file.readAll();
        const qsizetype entry = cab.indexOf((serial + u".file"_s).toLatin1() + '\0') - 16;
        QVERIFY(entry > 0);
        const quint32 claimed = quint32(ContentsList::MaxBytes + 1);
        for (int i = 0; i < 4; ++i)
            cab[entry + i] = char(claimed >> (8 * i));
        QVERIFY(file.seek(0) && file.write(cab) == cab.size());
        file.close();
        QVERIFY2(refusal().contains(u"larger than the 512 MB"_s), qPrintable(refusal()));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ContentsFile::read(db, serial));
    }
};

QTEST_GUILESS_MAIN(TestContentsList)
#include "tst_contentslist.moc"
