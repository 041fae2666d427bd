#include "CabTestUtil.h"
#include "FileSizeLimit.h"
#include "RunProgram.h"
#include "TestCatalogue.h"
#include "store/ContentsFile.h"

#include "acquire/FolderVolumeBackend.h"
#include "cli/CliApp.h"
#include "cli/TerminalOutput.h"
#include "core/Version.h"
#include "store/Catalogue.h"

#include <QBuffer>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace CabTestUtil;
using CliRun = ProgramRun;

namespace
{

// The commands run in this process, on buffers.
CliRun runCli(const QStringList &args)
{
    QByteArray outBytes, errBytes, inBytes;
    QBuffer out(&outBytes), err(&errBytes), in(&inBytes);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    in.open(QIODevice::ReadOnly);
    const int code = CliApp().run(args, CliIo{&out, &err, &in});
    return {code, outBytes, errBytes};
}

// The built program with input on standard input and these variables set ("NAME=value").
CliRun runProgram(const QStringList &args, const QByteArray &input = QByteArray(), const QStringList &env = {})
{
    return runProgram(qEnvironmentVariable("QUILLORY_CLI"), args, input, QString(), env);
}

} // namespace

// quillory-cli as a user runs it: every command once through the real program, and what only the
// command line decides (arguments, exit codes, messages, who may read past the lock).
class TestCli : public QObject
{
    Q_OBJECT

    enum Flag {
        Changes = 1,  // the run may change the folders (else they must stay byte for byte)
        Locked = 2,   // another program (this one) holds "cat" meanwhile
        FullDisk = 4, // a write past 4 KB fails, as on a full disk
        AnswerNo = 8, // standard input answers "n"
        German = 16,  // run in a German environment
    };

    QTemporaryDir m_home; // what the rows only read, and the name index
    QByteArray m_bigTree; // "tree" of {home}/big
    std::unique_ptr<QTemporaryDir> m_root;
    QString at(const QString &rel) const { return m_root->path() + u'/' + rel; }

    // A catalogue of one disc whose lists do not compress, larger than FullDisk lets a file be.
    static void noiseCatalogue(const QString &data)
    {
        QByteArray noise(16384, Qt::Uninitialized);
        QRandomGenerator rng(7);
        for (char &c : noise)
            c = char(rng.bounded(256));
        const QString db = DataPaths::dbFolder(data);
        TestCatalogue::packDisc(db, u"0BADF00D"_s, [&](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(QString::fromLatin1(noise.toBase64(QByteArray::Base64UrlEncoding)), u"\\"_s, 1,
                                  TestCatalogue::date(2024, 1, 1));
        });
        writeFile(db + u"groups.tree"_s, "My Collection\r\n\tNoise|N|0BADF00D|UDF|1|||1|x|\r\n");
    }

private Q_SLOTS:
    // A name's escape sequence reaches a terminal as "?"; the output's own TABs and line ends,
    // and every byte of text, pass.
    void terminalSeesNoControlCharacters()
    {
        QByteArray seen;
        QBuffer terminal(&seen);
        terminal.open(QIODevice::WriteOnly);
        TerminalOutput shown(&terminal);
        const QByteArray line = "esc\x1b[31mred\x07.txt\tDisc:\\caf\xc3\xa9\r\x7f\xc2\x9b"
                                "2J\xc2\xa0\n";
        QCOMPARE(shown.write(line), line.size());
        QCOMPARE(seen, QByteArray("esc?[31mred?.txt\tDisc:\\caf\xc3\xa9???2J\xc2\xa0\n"));
    }

    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (qEnvironmentVariableIsEmpty("QUILLORY_CLI"))
            QSKIP("QUILLORY_CLI not set");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(u"cache"_s)));
        TestCatalogue::prepared(m_home.filePath(u"cat"_s));
        noiseCatalogue(m_home.filePath(u"noise"_s));
        for (const QString &data : {m_home.filePath(u"cat"_s), m_home.filePath(u"noise"_s)})
            QCOMPARE(runProgram({u"--data"_s, data, u"export"_s, data + u".cab"_s}).code, 0);
        writeFile(m_home.filePath(u"image/notes.txt"_s), "12345");
        QVERIFY(::runProgram(u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-V"_s, u"IMG"_s, u"-o"_s,
                                            m_home.filePath(u"disc.iso"_s), m_home.filePath(u"image"_s)})
                    .code == 0);
        // Far more lines than one block of output holds, characters outside the basic plane among them.
        QByteArray tree = "My Collection\r\n";
        m_bigTree = "My Collection\n";
        for (int n = 0; n < 3000; ++n) {
            const QByteArray serial = QByteArray::number(0x20000000 + n, 16).toUpper();
            const QByteArray title = "Disc " + QByteArray::number(n).rightJustified(4, '0') + // sorted as written
                                     (n % 2 ? " \xF0\x9F\x8E\xB5"                             // two UTF-16 units
                                            : " \xC3\xA4" + QByteArray(300, 'x'));            // one
            tree += '\t' + title + "|LABEL|" + serial + "|UDF|4700000000|d|Music|" + QByteArray::number(n) +
                    "|01.06.2024 12:00:00|\r\n";
            writeFile(m_home.filePath(u"big/DB/"_s + QString::fromLatin1(serial) + u".dat"_s), "");
            m_bigTree += "  " + title + '\t' + serial + "\tUDF\t4700000000\t\n";
        }
        writeFile(m_home.filePath(u"big/DB/groups.tree"_s), tree);
    }

    // The folders the rows run on, made again for each row, the settings among them.
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(at(u"config"_s)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(at(u"share"_s)));
        writeFile(at(u"config/Tarnwick/Quillory!.conf"_s), "[General]\nMaxResults=1000\n");
        TestCatalogue::prepared(at(u"cat"_s));
        writeFile(at(u"older/DB/00000001.dat"_s), "");
        writeFile(at(u"older/DB/groups.tree"_s), "R\r\n\tOld|L|00000001|FAT|1|||1|01.01.2001 10:00:00\r\n");
        writeFile(at(u"damaged/DB/groups.tree"_s), "R\r\n\t\t\tX\r\n");
        writeFile(at(u"badlists/DB/groups.tree"_s), "R\r\n\tBad|L|0000000B|FAT|1|d|Music|1|01.01.2001 10:00:00|\r\n");
        writeFile(at(u"badlists/DB/0000000B.dat"_s), "MSCF and then nothing a cabinet holds");
        // Made by another program: a title and a name with a TAB in them.
        writeFile(at(u"tabs/DB/groups.tree"_s), "R\r\n\tT\tab|L|0000000C|FAT|1|||1|01.01.2001 10:00:00|\r\n");
        ContentsFile::packBytes(at(u"tabs/DB/"_s), u"0000000C"_s,
                                {QByteArray(), "a\tb.mp3\r\n\\\r\n5\r\n01.01.2001\r\n-\r\n", QByteArray()});
        writeFile(at(u"twins/DB/groups.tree"_s), "R\r\n\tTwin|L|00000001|FAT|1|||1|01.01.2001 "
                                                 "10:00:00|\r\n\tTwin|L|00000002|FAT|1|||2|01.01.2001 10:00:00|\r\n");
        writeFile(at(u"twins/DB/00000001.dat"_s), "");
        writeFile(at(u"twins/DB/00000002.dat"_s), "");
        // A kill right after the lock file was made.
        writeFile(at(u"stale/DB/groups.tree"_s), "My Collection\r\n");
        writeFile(at(u"stale/DB/Quillory!.lock"_s), "");
        QVERIFY(QDir().mkpath(at(u"empty"_s)));
        writeFile(at(u"file"_s), "x");
        writeFile(at(u"dbfile/DB"_s), "x");
        QVERIFY(QDir().mkpath(at(u"dblink"_s)) && QFile::link(at(u"nowhere"_s), at(u"dblink/DB"_s)));
        writeFile(at(u"vol/notes.txt"_s), "12345");
        writeFile(at(u"vol/MUSIC/song.mp3"_s), QByteArray(300, 's'));
        // Its read fails even for root: the kernel answers a read of a process's memory at 0 with EIO.
        QVERIFY(QDir().mkpath(at(u"memvol"_s)) && QFile::link(u"/proc/self/mem"_s, at(u"memvol/mem"_s)));
        noiseCatalogue(at(u"noise"_s));
        for (int i = 0; i < 300; ++i)
            writeFile(at(u"bigvol/a file with a longer name %1.txt"_s.arg(i)), "x");
        QStringList groups{u"My Collection"_s};
        for (int i = 0; i < 200; ++i)
            groups << u"\tGroup number %1 of many"_s.arg(i);
        writeFile(at(u"groups/DB/groups.tree"_s), groups.join(u"\r\n"_s).toUtf8() + "\r\n");
    }

    // A row: the arguments ({root} for the row's folders, {home} for the archives), the exit code,
    // how standard output begins and what standard error says (nothing when empty), and Flags.
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<int>("flags");
        const auto row = [](const char *name, const QString &args, int code, const QByteArray &out,
                            const QByteArray &err = {}, int flags = 0) {
            QStringList list = args.split(u' ', Qt::SkipEmptyParts).replaceInStrings(u"_"_s, u" "_s);
            list.replaceInStrings(QRegularExpression(u"^''$"_s), QString());
            QTest::newRow(name) << list << code << out << err << flags;
        };
        const QString cat = u"--data {root}/cat "_s;
        const QString add = u"add-disc {root}/vol --serial 0000000A --title "_s;
        const QString report = cat + u"report --group Music -o {root}/r.txt"_s;

        // Each command once: "_" stands for a space inside an argument, '' for an empty one.
        row("tree", cat + u"tree"_s, 0,
            "My Collection\n  Empty Group\n  Music\n    Rock Disc\t1A2B3C4D\tCDFS\t5648\t\n"
            "  Photos Disc\t5E6F7081\tUDF\t4096\t\n");
        row("ls", cat + u"ls rock_disc"_s, 0, "ROCK\tFolder\t3000\t"); // titles in any case of a-z
        row("cat-lists", cat + u"cat-lists 1a2b3c4d"_s, 0, "LIVE\\\r\n\\ROCK\\\r\n1000\r\n");
        row("search", cat + u"search live"_s, 0, "LIVE\tFolder\tRock Disc:\\ROCK\\\t1000\t", "2 found, total size");
        row("duplicates", cat + u"duplicates --in MUSIC --min-size 1KB"_s, 0, "", "0 groups of duplicates, 0 files");
        row("single-copies", cat + u"single-copies --disc Photos_Disc"_s, 0, "Photos Disc:\\pic.jpg\t4096\t",
            "1 file on no other disc, total size 4.00 KB");
        row("report", report, 0, "", "", Changes);
        row("export", cat + u"export {root}/b.cab"_s, 0, "", "", Changes);
        row("import", u"--data {root}/new import {home}/cat.cab --yes"_s, 0, "Import Database complete.\n",
            "A new catalogue was made in", Changes);
        row("add-disc", cat + add + u"T --description two\nlines"_s, 0, "T||0000000A||305|two~!lines||3|", "", Changes);
        row("add-disc --checksums", cat + add + u"T --checksums"_s, 0, "T||0000000A||305|", "", Changes);
        // What the scan could not read is named on standard error; the disc is added.
        row("add-disc unreadable", cat + u"add-disc {root}/memvol --serial 0000000B --title U --checksums"_s, 0,
            "U||0000000B||", "mem\": Input/output error\n", Changes);
        row("add-disc image", cat + u"add-disc --image {home}/disc.iso --title Img"_s, 0, "Img|IMG|", "", Changes);
        row("config", cat + u"config get MaxResults"_s, 0, "1000\n");
        row("config exclusions", cat + u"config exclusions *.TMP rock\\"_s, 0, "", "", Changes);
        row("search options",
            cat + u"search --in Music --larger 1KB --newer 2024-03-01T00:00:00 --category 5 --limit 1"_s, 0,
            "song.mp3\t", "1 found");
        row("check-mask", u"check-mask *.mp3 Song.MP3 a.mp3.bak --x.mp3"_s, 0, "yes\nno\nyes\n");
        row("check-mask after --", u"check-mask -- *.txt a.txt --"_s, 0, "yes\nno\n");
        row("drives", u"drives"_s, 0, "");
        row("help", u"--help"_s, 0, "Usage: quillory-cli");
        row("a command's help", u"search --help"_s, 0, "Usage: quillory-cli [--data DIR] search");
        const QByteArray version = "Quillory! " + QuilloryVersion().toUtf8() + '\n';
        row("version", u"--version"_s, 0, version);
        row("version, short", u"-v"_s, 0, version);
        row("every line of a large tree, whole", u"--data {home}/big tree"_s, 0, m_bigTree);

        // Usage: exit code 2, the reason and the usage line.
        row("no command", u""_s, 2, "", "Usage: quillory-cli");
        row("unknown command", u"nonsense"_s, 2, "", "nonsense");
        row("unknown option", cat + u"tree --bogus"_s, 2, "", "--bogus");
        row("empty data folder", u"--data '' tree"_s, 2, "", "needs a folder");
        row("data folder left out", u"--data --help tree"_s, 2, "", "--data needs a folder");
        row("option twice", cat + add + u"A --title B"_s, 2, "", "--title is given twice");
        row("value left out", cat + add + u"--title -h"_s, 2, "", "needs a value");
        row("value left out after a short option", cat + u"report --disc Rock_Disc -o -h"_s, 2, "", "needs a value");
        row("label without serial", cat + u"add-disc {root}/vol --title T --label L"_s, 2, "", "go with --serial");
        row("check-mask without names", u"check-mask *"_s, 2, "", "");
        row("search category", cat + u"search --category 9"_s, 2, "", "--category wants 0 to 8");
        row("single-copies without a disc", cat + u"single-copies"_s, 2, "", "either --disc NAME or --in NODE");
        row("single-copies with both", cat + u"single-copies --disc Rock_Disc --in Music"_s, 2, "", "not both");
        row("search size", cat + u"search --larger 1TB"_s, 2, "", "\"1TB\"");
        row("search date", cat + u"search --newer 01.01.2020"_s, 2, "", "2020-01-01T12:00:00");
        row("report both", report + u" --disc Rock_Disc"_s, 2, "", "--disc NAME or --group NAME, not both");
        row("report column", cat + u"report --disc Rock_Disc --columns Genre -o {root}/r.txt"_s, 2, "",
            "unknown column \"Genre\"");
        row("report widths", report + u" --widths 100,100"_s, 2, "", "one width for each of the 3 columns");
        row("report width", report + u" --widths 100,5,100"_s, 2, "", "from 10 to 999, not \"5\"");
        row("config unknown", cat + u"config get Colour"_s, 2, "", "Colour");
        row("export nowhere", cat + u"export"_s, 2, "", "");
        row("export to an empty name", cat + u"export ''"_s, 2, "", "the archive file name is empty");
        row("exclusions, a mistyped option", cat + u"config exclusions --clr"_s, 2, "", "--clr");
        row("exclusions, an empty mask", cat + u"config exclusions ''"_s, 2, "", "--clear empties the list");
        row("search limit below 0", cat + u"search x --limit -1"_s, 2, "", "--limit wants 0");
        row("single-dash option", cat + u"search -x"_s, 2, "", "unknown option -x");
        row("mask after --", cat + u"search -- -x"_s, 0, "", "0 found");
        row("search limit past int", cat + u"search x --limit 2147483648"_s, 2, "",
            "--limit wants a whole number, and \"2147483648\" is too large for one");
        row("search size past any", cat + u"search x --larger 8589934592GB"_s, 2, "",
            "\"8589934592GB\" is larger than any file can be");
        row("import of a folder", cat + u"import {root}"_s, 1, "", "is no archive file");

        // What is not there, or not what it should be: exit code 1, one line, nothing changed.
        row("missing folder, read", u"--data {root}/missing tree"_s, 1, "", "the folder does not exist");
        row("data folder is a file", u"--data {root}/file tree"_s, 1, "", "is a file, not a folder");
        row("DB is a file", u"--data {root}/dbfile tree"_s, 1, "", "database folder");
        row("DB is a dangling link", u"--data {root}/dblink search"_s, 1, "", "which does not exist");
        row("damaged tree", u"--data {root}/damaged tree"_s, 1, "", "Invalid level (3) for item \"X\"");
        // The cabinet library's words name no file: the disc is named with them.
        const QByteArray unreadable = "The disc \"Bad\" could not be read: Cabinet file";
        // A TAB or line break in a name cannot forge a column or a line of the answer.
        row("tabs, tree", u"--data {root}/tabs tree"_s, 0, "R\n  T?ab\t0000000C\tFAT\t1\t\n");
        row("tabs, ls", u"--data {root}/tabs ls 0000000C"_s, 0, "a?b.mp3\tMP3 audio\t5\t01.01.2001\n");
        row("tabs, search", u"--data {root}/tabs search b.mp3"_s, 0, "a?b.mp3\tMP3 audio\tT?ab:\\\t5\t01.01.2001\n",
            "1 found");
        row("damaged lists, ls", u"--data {root}/badlists ls Bad"_s, 1, "", unreadable);
        row("damaged lists, report", u"--data {root}/badlists report --disc Bad -o {root}/r.txt"_s, 1, "", unreadable);
        row("damaged lists, verify", u"--data {root}/badlists verify Bad {root}/vol"_s, 1, "", unreadable);
        row("bad mask", u"check-mask [abc a"_s, 1, "", "'[abc' is an invalid mask at (5)");
        row("ls no disc", cat + u"ls Jazz"_s, 1, "", "Jazz");
        row("cat-lists no disc", cat + u"cat-lists 12345678"_s, 1, "",
            "There is no disc with the serial 12345678 in the catalogue.");
        row("add-disc, a file for the volume", cat + u"add-disc {root}/file --title T"_s, 1, "",
            "is a file, not a folder; a disc image is added with --image.");
        row("add-disc, no folder", cat + u"add-disc {root}/nowhere --title T"_s, 1, "", "There is no folder");
        row("add-disc, a folder for the image", cat + u"add-disc --image {root}/vol --title T"_s, 1, "",
            "it is a folder, not an image file");
        row("search node", cat + u"search --in Nirgends"_s, 1, "", "There is no group or disc named \"Nirgends\".");
        for (const char *command : {"search --in Twin", "duplicates --in Twin", "ls Twin"})
            row(command, u"--data {root}/twins "_s + QLatin1String(command), 1, "",
                "Several discs are titled \"Twin\"; name one by its serial: 00000001, 00000002.");
        row("report no folder", cat + u"report --group Music -o {root}/none/r.txt"_s, 1, "", "Invalid file name!");
        row("report onto the catalogue", cat + u"report --group Music -o {root}/cat/DB/groups.tree"_s, 1, "",
            "inside the database folder");
        row("export over the favourites", cat + u"export {root}/cat/Favorites.dat"_s, 1, "",
            "would replace one of the catalogue's own files");
        // Asked on standard error, before a catalogue is made for the import.
        row("import answered no", u"--data {root}/new import {home}/cat.cab"_s, 1, "",
            "All existing files will be overwritten. Continue anyway? Import cancelled", AnswerNo);
        row("import of no archive", u"--data {root}/new import {root}/none.cab --yes"_s, 1, "", "There is no archive");
        // A mistyped --data reads as no catalogue, not as an empty one (an export of it would
        // replace a good backup).
        row("no catalogue, read", u"--data {root}/empty tree"_s, 1, "", "holds no database folder \"DB\"");
        row("no catalogue, export", u"--data {root}/cat/DB export {root}/b.cab"_s, 1, "", "holds no database folder");
        row("no such group", cat + add + u"T --group Nope"_s, 1, "", "Nope");
        row("number not a number", cat + add + u"T --number ten"_s, 2, "",
            "--number wants a whole number, not \"ten\"");
        row("already catalogued", cat + u"add-disc {root}/vol --serial 1a2b3c4d --title T"_s, 1, "",
            "Disc is already in database (\"Rock Disc\"). Give --replace");
        row("exclusion not a mask", cat + u"config exclusions [a-"_s, 1, "", "[a-");
        row("verify, no folder and in no drive", cat + u"verify Rock_Disc"_s, 1, "", "is in no drive");

        // What is made or taken over is said on standard error.
        row("replace", cat + u"add-disc {root}/vol --serial 1a2b3c4d --title Rock_Disc --replace"_s, 0,
            "Rock Disc|ROCK|1A2B3C4D|CDFS|305|Loud~!music|Rock|1|", "", Changes);
        row("missing folder, add-disc makes it", u"--data {root}/missing "_s + add + u"T"_s, 0, "T||0000000A||",
            "A new catalogue was made", Changes);
        row("empty lock taken over", u"--data {root}/stale "_s + add + u"T"_s, 0, "T||0000000A||", "taken over",
            Changes);
        // A writer rewrites an older tree and says so.
        row("older tree, written", u"--data {root}/older "_s + add + u"T"_s, 0, "T||0000000A||",
            "Your database appears to be in older format. It will be updated automatically.\nUpdate completed!\n",
            Changes);

        // The window holds the catalogue: reading commands still work, a writing one is refused.
        row("locked tree", cat + u"tree"_s, 0, "My Collection\n", "", Locked);
        row("locked cat-lists", cat + u"cat-lists 5E6F7081"_s, 0, "\t\npic.jpg\r\n", "", Locked);
        row("locked search", cat + u"search pic"_s, 0, "pic.jpg\t", "1 found", Locked);
        row("locked report", cat + u"report --disc Photos_Disc -o {root}/r.txt"_s, 0, "", "", Locked | Changes);
        row("locked add-disc", cat + add + u"T"_s, 1, "", "Quillory!.lock", Locked);
        // The window would write its own preferences over the change when it closes.
        row("locked config set", cat + u"config set MaxResults 5"_s, 1, "", "Quillory!.lock", Locked);
        row("locked config exclusions", cat + u"config exclusions *.tmp"_s, 1, "", "Quillory!.lock", Locked);
        // A German environment's number format in the summary.
        row("German search", cat + u"search live"_s, 0, "LIVE\t", "2 found, total size 1,95 KB", German);

        // A full disk: the system's reason in one line, and the catalogue as it was.
        const QByteArray efbig = strerror(EFBIG);
        row("full disk, lists", u"--data {root}/noise add-disc {root}/bigvol --serial 12345678 --title V"_s, 1, "",
            efbig, FullDisk);
        row("full disk, tree", u"--data {root}/groups export {root}/new.cab"_s, 1, "", efbig, FullDisk);
        row("full disk, archive", u"--data {root}/noise export {root}/new.cab"_s, 1, "", efbig, FullDisk);
        row("full disk, extraction", u"--data {root}/noise import {home}/noise.cab --yes"_s, 1, "", efbig, FullDisk);
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(int, flags);
        args.replaceInStrings(u"{root}"_s, m_root->path()).replaceInStrings(u"{home}"_s, m_home.path());
        const auto before = CabTestUtil::snapshot(m_root->path());
        std::optional<Catalogue> holder;
        if (flags & Locked)
            holder.emplace(at(u"cat"_s)).lock();

        std::optional<FileSizeLimit> full;
        if (flags & FullDisk)
            full.emplace(4096);
        const CliRun r = runProgram(args, flags & AnswerNo ? "n\n" : "yes\n",
                                    flags & German ? QStringList{u"LC_ALL=de_DE.UTF-8"_s} : QStringList());
        full.reset();
        QVERIFY2(r.out.startsWith(out), (r.out + r.err).constData());
        if (err.isEmpty() && code == 0)
            QCOMPARE(r.err, QByteArray());
        QVERIFY2(r.err.contains(err), r.err.constData());
        QCOMPARE(r.code, code);
        if (code != 0) {
            if (code == 1)
                QVERIFY2(r.err.count('\n') == 1, r.err.constData());
            if (!(flags & AnswerNo))
                QCOMPARE(r.out, QByteArray());
        }
        holder.reset();
        if (!(flags & Changes))
            QCOMPARE(CabTestUtil::snapshot(m_root->path()), before);
    }

    // An answer that misses a disc (its contents file is damaged) names it and ends with 1.
    void anAnswerMissingADiscFails()
    {
        for (const QStringList &command : {QStringList{u"search"_s, u"x"_s}, QStringList{u"duplicates"_s},
                                           QStringList{u"single-copies"_s, u"--in"_s, u"R"_s}}) {
            const CliRun r = runProgram(QStringList{u"--data"_s, at(u"badlists"_s)} + command);
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.startsWith("The disc \"Bad\" could not be "), r.err.constData());
        }
    }

    // A full disk while the preferences are written keeps them as they were, and says so: the
    // settings library had called a cut file done.
    void preferencesKeptOnAFullDisk()
    {
        const QString conf = at(u"config/Tarnwick/Quillory!.conf"_s);
        QCOMPARE(runProgram({u"--data"_s, at(u"cat"_s), u"config"_s, u"set"_s, u"Grids"_s, u"1"_s}).code, 0);
        const QByteArray before = readFile(conf);
        QVERIFY(before.size() > 200);
        CliRun r;
        {
            const FileSizeLimit full(100); // room for the lock file, not for the preferences
            r = runProgram({u"--data"_s, at(u"cat"_s), u"config"_s, u"set"_s, u"MaxResults"_s, u"600"_s});
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Cannot write the preferences"), r.err.constData());
        QCOMPARE(readFile(conf), before);
        QCOMPARE(QDir(at(u"config/Tarnwick"_s)).entryList(QDir::Files), QStringList{u"Quillory!.conf"_s});
    }

    // An answer that cannot be written (a full disk) is an error, not a quiet success.
    void anAnswerThatCannotBeWrittenFails()
    {
        QProcess p;
        p.setStandardOutputFile(u"/dev/full"_s);
        p.start(qEnvironmentVariable("QUILLORY_CLI"), {u"--data"_s, at(u"cat"_s), u"tree"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 1);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains("could not be written to standard output"), err.constData());
    }

    // --replace keeps what the command line does not give: the group, the details, the borrower.
    void replaceKeepsWhatIsNotGiven()
    {
        const QString treeFile = at(u"cat/DB/groups.tree"_s);
        QByteArray tree = readFile(treeFile);
        const qsizetype end = tree.indexOf("\r\n", tree.indexOf("|1A2B3C4D|"));
        QVERIFY(end > 0 && tree.at(end - 1) == '|');
        writeFile(treeFile, tree.insert(end, "Alex"));
        const CliRun r =
            runProgram({u"--data"_s, at(u"cat"_s), u"add-disc"_s, at(u"vol"_s), u"--serial"_s, u"1A2B3C4D"_s,
                        u"--title"_s, u"Rock Disc"_s, u"--genre"_s, u"Jazz"_s, u"--replace"_s});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith("Rock Disc|ROCK|1A2B3C4D|CDFS|305|Loud~!music|Jazz|1|") && r.out.endsWith("|Alex\n"),
                 r.out.constData());
        QVERIFY(readFile(treeFile).contains("\n\t\tRock Disc|ROCK|1A2B3C4D|CDFS|305|Loud~!music|Jazz|1|")); // in Music

        // A folder standing in for a volume keeps the label it was given, and a disc catalogued
        // with checksums keeps them, though neither is asked for again. ROOT is taken where the
        // command runs.
        const auto addHere = [this](const QStringList &more) {
            return runProgram(qEnvironmentVariable("QUILLORY_CLI"),
                              QStringList{u"--data"_s, at(u"replaced"_s), u"add-disc"_s, u"vol"_s, u"--serial"_s,
                                          u"0000ABCD"_s, u"--title"_s, u"T"_s} +
                                  more,
                              {}, at(u""_s));
        };
        QCOMPARE(addHere({u"--label"_s, u"LBL"_s, u"--checksums"_s}).code, 0);
        const CliRun again = addHere({u"--replace"_s});
        QCOMPARE(again.code, 0);
        QVERIFY2(again.out.startsWith("T|LBL|0000ABCD|"), again.out.constData());
        QVERIFY(!ContentsFile::readChecksumList(at(u"replaced/DB/"_s), u"0000ABCD"_s).isEmpty());
    }

    // The columns in the order asked, by names in any case, with widths in pixels.
    void reportOptions()
    {
        const CliRun r = runProgram({u"--data"_s, at(u"cat"_s), u"report"_s, u"--disc"_s, u"Rock Disc"_s,
                                     u"--columns"_s, u"name,Size,PATH"_s, u"--widths"_s, u"80,80,120"_s, u"--html"_s,
                                     u"--no-time"_s, u"-o"_s, at(u"r.txt"_s)});
        QCOMPARE(r.code, 0);
        const QByteArray html = readFile(at(u"r.txt"_s));
        QVERIFY2(html.startsWith("<html>") && html.contains("width = \"80\"") && html.contains("<b>Size</b>") &&
                     html.indexOf("<b>Size</b>") < html.indexOf("<b>Path</b>") && !html.contains("Created with"),
                 html.constData());
        // Without --html, the file's name decides, as in the dialog.
        QCOMPARE(
            runProgram({u"--data"_s, at(u"cat"_s), u"report"_s, u"--disc"_s, u"Rock Disc"_s, u"-o"_s, at(u"r.HTML"_s)})
                .code,
            0);
        QVERIFY(readFile(at(u"r.HTML"_s)).startsWith("<html>"));
    }

    // The drives' lines; a disc added from a volume takes its label, serial and file system, a folder in it none.
    void volumes()
    {
        FolderVolumeBackend folders;
        const QString c = folders.addVolume(
            {at(u"C"_s), u"SYSTEM"_s, 0x0A1B2C3D, u"NTFS"_s, 500ull << 30, 1 << 30, DriveKind::Fixed, true});
        const QString d =
            folders.addVolume({at(u"D"_s), u""_s, 0x1234, u"UDF"_s, 4831838208ull, 0, DriveKind::CDROM, false});
        const QString e = folders.addVolume(
            {at(u"vol"_s), u"MY\tSTICK"_s, 0xDEADBEEF, u"FAT32"_s, 8ull << 30, 0, DriveKind::Removable, true});
        QVERIFY(QDir().mkpath(at(u"C"_s)) && QDir().mkpath(at(u"D"_s)));
        VolumeBackend::setDefaultBackend(&folders);
        const QStringList data{u"--data"_s, at(u"cat"_s)};
        const CliRun drives = runCli(data + QStringList{u"drives"_s});
        const CliRun added = runCli(data + QStringList{u"add-disc"_s, e, u"--title"_s, u"Stick"_s});
        const CliRun inside = runCli(data + QStringList{u"add-disc"_s, e + u"MUSIC"_s, u"--title"_s, u"M"_s});
        const CliRun empty = runCli(data + QStringList{u"add-disc"_s, d, u"--title"_s, u"Gone"_s});
        // Verifying the stick from another volume's root compares the files, and says so.
        const CliRun other = runCli(data + QStringList{u"verify"_s, u"Stick"_s, c});
        // Its own root, however spelled, is its own volume.
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(at(u""_s));
        const CliRun own = runCli(data + QStringList{u"verify"_s, u"Stick"_s, u"vol"_s});
        QDir::setCurrent(cwd);
        VolumeBackend::setDefaultBackend(nullptr);
        QVERIFY2(own.code == 0, own.err.constData());
        QCOMPARE(QString::fromUtf8(drives.out), c + u"\tFixed\tpresent\tSYSTEM\t0A1B2C3D\tNTFS\t536870912000\n"_s + d +
                                                    u"\tCDROM\tempty\t\t\t\t\n"_s + e +
                                                    u"\tRemovable\tpresent\tMY STICK\tDEADBEEF\tFAT32\t8589934592\n"_s);
        QVERIFY2(added.out.startsWith("Stick|MY\tSTICK|DEADBEEF|FAT32|305|"), added.out.constData());
        QVERIFY2(inside.code == 1 && inside.err.contains("--serial"), inside.err.constData());
        QVERIFY2(empty.code == 1 && empty.err.startsWith("Disc not present"), empty.err.constData());
        QVERIFY2(other.code == 3 && other.err.endsWith("\nThe folder read is the root of another volume (serial "
                                                       "0A1B2C3D), not the one catalogued (serial DEADBEEF).\n"),
                 other.err.constData());
    }

    // verify's exit status: 0 when the disc reads as catalogued, 3 when its bytes rotted.
    void verify()
    {
        const QStringList data{u"--data"_s, at(u"new"_s)};
        const QString song = at(u"vol/MUSIC/song.mp3"_s);
        const QStringList add{u"add-disc"_s, at(u"vol"_s), u"--serial"_s, u"0000000A"_s, u"--title"_s, u"Vol"_s};
        QCOMPARE(runProgram(data + add + QStringList{u"--checksums"_s}).code, 0);
        CliRun r = runProgram(data + QStringList{u"verify"_s, u"Vol"_s, at(u"vol"_s)});
        QCOMPARE(r.out + r.err, "2 files matched; 0 missing, 0 new, 0 changed, 0 corrupt, 0 unreadable.\n");
        QCOMPARE(r.code, 0);
        writeFile(song, QByteArray(299, 's') + 't', QFileInfo(song).lastModified());
        r = runProgram(data + QStringList{u"verify"_s, u"0000000a"_s, at(u"vol"_s)});
        QVERIFY2(r.out.startsWith("corrupt\t\\MUSIC\\song.mp3\tchecksum ") && r.out.count('\n') == 1,
                 r.out.constData());
        QVERIFY2(r.err.startsWith("1 file matched; 0 missing, 0 new, 0 changed, 1 corrupt"), r.err.constData());
        QCOMPARE(r.code, 3);

        // A disc added from an image is verified against an image: the same one, one whose file
        // rotted under its old size and date, and a file that holds no volume.
        const QString image = m_home.filePath(u"disc.iso"_s), rotten = at(u"rotten.iso"_s);
        QCOMPARE(
            runProgram(data + QStringList{u"add-disc"_s, u"--image"_s, image, u"--title"_s, u"Img"_s, u"--checksums"_s})
                .code,
            0);
        r = runProgram(data + QStringList{u"verify"_s, u"Img"_s, image});
        QCOMPARE(r.out + r.err, "1 file matched; 0 missing, 0 new, 0 changed, 0 corrupt, 0 unreadable.\n");
        QCOMPARE(r.code, 0);
        writeFile(at(u"rotten/notes.txt"_s), "12346", QFileInfo(m_home.filePath(u"image/notes.txt"_s)).lastModified());
        QVERIFY(::runProgram(u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-J"_s, u"-V"_s, u"IMG"_s, u"-o"_s,
                                            rotten, at(u"rotten"_s)})
                    .code == 0);
        r = runProgram(data + QStringList{u"verify"_s, u"Img"_s, rotten});
        QVERIFY2(r.out.startsWith("corrupt\t\\notes.txt\tchecksum ") && r.code == 3, r.out.constData());
        // An image of another volume than the disc's is said to be one.
        r = runProgram(data + QStringList{u"verify"_s, u"Vol"_s, image});
        QVERIFY2(r.code == 3 && r.err.contains("\nThe image holds another volume (serial ") &&
                     r.err.endsWith("), not the one catalogued (serial 0000000A).\n"),
                 r.err.constData());
        r = runProgram(data + QStringList{u"verify"_s, u"Img"_s, song});
        QVERIFY2(r.code == 1 && r.out.isEmpty() && r.err.contains("holds no ISO 9660 or UDF volume"),
                 r.err.constData());
    }

    // A real medium: an ext4 image mounted through a loop device, catalogued with checksums, then
    // changed on the medium (a file removed, one added, one cut short, one's bytes rotted under
    // its old size and date) and verified by its serial alone, as the drives give it.
    void verifyALoopMountedMedium()
    {
        const QString mkfs = QStandardPaths::findExecutable(u"mkfs.ext4"_s, {u"/usr/sbin"_s, u"/sbin"_s});
        const QString image = at(u"medium.img"_s), point = at(u"medium"_s);
        QVERIFY(QDir().mkpath(point));
        QFile img(image);
        QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(16 << 20));
        img.close();
        if (mkfs.isEmpty() || ::runProgram(mkfs, {u"-q"_s, u"-F"_s, u"-L"_s, u"ARCHIVE"_s, image}).code != 0 ||
            QProcess::execute(u"mount"_s, {u"-o"_s, u"loop"_s, image, point}) != 0)
            QSKIP("this machine may not make or loop-mount an ext4 image");
        const auto unmount = qScopeGuard([&point] { QProcess::execute(u"umount"_s, {point}); });
        const QDateTime when(QDate(2024, 5, 1), QTime(9, 30));
        for (const char *name : {"keep.txt", "gone.txt", "short.txt", "docs/rot.bin"})
            writeFile(point + u'/' + QLatin1String(name), QByteArray(name).repeated(50), when);
        const QStringList data{u"--data"_s, at(u"new"_s)};
        const CliRun added =
            runProgram(data + QStringList{u"add-disc"_s, point, u"--title"_s, u"Archive"_s, u"--checksums"_s});
        QVERIFY2(added.code == 0 && added.out.startsWith("Archive|ARCHIVE|"), added.err.constData());

        QVERIFY(QFile::remove(point + u"/gone.txt"_s));
        writeFile(point + u"/new.txt"_s, "new", when);
        QFile cut(point + u"/short.txt"_s);
        QVERIFY(cut.open(QIODevice::ReadWrite) && cut.resize(10));
        cut.close();
        writeFile(point + u"/docs/rot.bin"_s, "X" + QByteArray("docs/rot.bin").repeated(50).mid(1), when);
        const CliRun r = runProgram(data + QStringList{u"verify"_s, u"Archive"_s});
        QStringList kinds;
        for (const QByteArray &line : r.out.trimmed().split('\n'))
            kinds << QString::fromUtf8(line.split('\t').mid(0, 2).join('\t'));
        QCOMPARE(kinds, (QStringList{u"corrupt\t\\docs\\rot.bin"_s, u"missing\t\\gone.txt"_s, u"new\t\\new.txt"_s,
                                     u"changed\t\\short.txt"_s}));
        QVERIFY2(r.err.startsWith("1 file matched; 1 missing, 1 new, 1 changed, 1 corrupt, 0 unreadable."),
                 r.err.constData());
        QVERIFY2(r.err.contains("Read from " + QFile::encodeName(point)), r.err.constData());
        QCOMPARE(r.code, 3);

        // A block-for-block copy mounted beside it has the same serial: the answer says so.
        const QString twin = at(u"twin"_s);
        QVERIFY(QDir().mkpath(twin) && QFile::copy(image, at(u"twin.img"_s)));
        QVERIFY(QProcess::execute(u"mount"_s, {u"-o"_s, u"loop"_s, at(u"twin.img"_s), twin}) == 0);
        const auto unmountTwin = qScopeGuard([&twin] { QProcess::execute(u"umount"_s, {twin}); });
        const CliRun both = runProgram(data + QStringList{u"verify"_s, u"Archive"_s});
        QVERIFY2(both.err.contains("hold a volume of the same serial too"), both.err.constData());
    }

    // A catalogue on a read-only medium takes no lock: it is exported as it stands, as it is read.
    void exportOfAReadOnlyCatalogue()
    {
        const QString ro = at(u"ro"_s);
        QVERIFY(QDir().mkpath(ro));
        if (QProcess::execute(u"mount"_s, {u"--bind"_s, at(u"cat"_s), ro}) != 0)
            QSKIP("this machine may not bind-mount a folder");
        const auto unmount = qScopeGuard([&ro] { QProcess::execute(u"umount"_s, {ro}); });
        QCOMPARE(QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,bind,ro"_s, ro}), 0);
        const CliRun r = runProgram({u"--data"_s, ro, u"export"_s, at(u"backup.cab"_s)});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(runProgram({u"--data"_s, at(u"cat"_s), u"export"_s, at(u"locked.cab"_s)}).code, 0);
        QCOMPARE(cabextractNames(at(u"backup.cab"_s)), cabextractNames(at(u"locked.cab"_s)));
    }

    // A btrfs subvolume is part of the volume, though its device number is its own; another file
    // system mounted inside is not.
    void subvolumesArePartOfTheVolume()
    {
        const QString mkfs = QStandardPaths::findExecutable(u"mkfs.btrfs"_s, {u"/usr/sbin"_s, u"/sbin"_s});
        const QString image = at(u"b.img"_s), point = at(u"b"_s);
        QFile img(image);
        QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(128 << 20));
        img.close();
        QVERIFY(QDir().mkpath(point));
        if (mkfs.isEmpty() || ::runProgram(mkfs, {u"-q"_s, image}).code != 0 ||
            QProcess::execute(u"mount"_s, {u"-o"_s, u"loop"_s, image, point}) != 0)
            QSKIP("this machine may not make or loop-mount a btrfs image");
        const auto unmount = qScopeGuard([&point] {
            QProcess::execute(u"umount"_s, {point + u"/other"_s});
            QProcess::execute(u"umount"_s, {point});
        });
        QCOMPARE(::runProgram(u"btrfs"_s, {u"-q"_s, u"subvolume"_s, u"create"_s, point + u"/sv"_s}).code, 0);
        writeFile(point + u"/sv/in.txt"_s, "12");
        QVERIFY(QDir().mkpath(point + u"/other"_s));
        QCOMPARE(QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"none"_s, point + u"/other"_s}), 0);
        writeFile(point + u"/other/out.txt"_s, "3");
        const QStringList data{u"--data"_s, at(u"new"_s)};
        QCOMPARE(runProgram(data + QStringList{u"add-disc"_s, point, u"--title"_s, u"B"_s}).code, 0);
        QVERIFY(runProgram(data + QStringList{u"ls"_s, u"B"_s, u"\\sv\\"_s}).out.startsWith("in.txt\t"));
        QCOMPARE(runProgram(data + QStringList{u"ls"_s, u"B"_s, u"\\other\\"_s}).out, QByteArray());
    }

    // Today's media with a first run's preferences: the library readers' lines, the video category; a JPEG,
    // whose own filter starts unticked, gets none.
    void firstScanOfMedia()
    {
        QVERIFY(QFile::remove(at(u"config/Tarnwick/Quillory!.conf"_s)) && QDir().mkpath(at(u"media"_s)));
        for (const char *name : {"tagged.flac", "exif.jpg", "h264-aac.mp4", "small.iso"})
            QVERIFY(QFile::copy(QStringLiteral(QUILLORY_TEST_DATA "/media/library/") + QLatin1String(name),
                                at(u"media/"_s + QLatin1String(name))));
        const QStringList data{u"--data"_s, at(u"new"_s)};
        const CliRun added = runProgram(
            data + QStringList{u"add-disc"_s, at(u"media"_s), u"--title"_s, u"Media"_s, u"--serial"_s, u"0000ABCD"_s});
        QVERIFY2(added.code == 0, added.err.constData());
        const CliRun lists = runProgram(data + QStringList{u"cat-lists"_s, u"0000ABCD"_s});
        for (const char *line : {"Title: Flac Title", "Sample rate: 8000 hz", "Video: AVC", "Audio: AAC, 2 channels",
                                 "Volume: PHOTOS_2021 (CDFS)"})
            QVERIFY2(lists.out.contains(QByteArray(line) + "\r\n"), line);
        QVERIFY2(!lists.out.contains("Camera: "), lists.out.constData());
        const CliRun video = runProgram(data + QStringList{u"search"_s, u"--category"_s, u"6"_s});
        QVERIFY2(video.out.startsWith("h264-aac.mp4\t") && video.out.count('\n') == 1, video.out.constData());
    }

    // An answer of megabytes goes out in blocks, each block's memory used again: whole, in order,
    // nothing twice.
    void answerOfManyBlocks()
    {
        const QString data = at(u"many"_s);
        const QString when = TestCatalogue::date(2024, 5, 1);
        QByteArray expected;
        TestCatalogue::packDisc(
            DataPaths::dbFolder(data), u"0000CAFE"_s, [&](ContentsListWriter &, ContentsListWriter &files) {
                for (int i = 0; i < 30000; ++i) {
                    const QString name = u"file %1 of a disc whose answer fills several blocks of output.txt"_s.arg(i);
                    files.writeFileRecord(name, u"\\"_s, 1 + i, when);
                    expected +=
                        "Many:\\" + name.toUtf8() + '\t' + QByteArray::number(1 + i) + '\t' + when.toUtf8() + '\n';
                }
            });
        writeFile(DataPaths::dbFolder(data) + u"groups.tree"_s, "R\r\n\tMany|L|0000CAFE|UDF|1|||1|x|\r\n");
        QVERIFY(expected.size() > 2 * (1 << 20));
        const CliRun r = runProgram({u"--data"_s, data, u"single-copies"_s, u"--disc"_s, u"Many"_s});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out == expected);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
