// The core's small parts: fields read from a block of bytes (the readers of media, volumes and
// archives are fed truncated and hostile bytes and must neither read outside it nor stop), the
// name masks and the one fold of names, catalogue text, the one writer of whole files, and the
// layers of the sources.

#include "CabTestUtil.h"
#include "FileSizeLimit.h"
#include "core/AsciiCase.h"
#include "core/ByteReader.h"
#include "core/LatestWorker.h"
#include "core/QuilloryError.h"
#include "core/SafeSaveFile.h"
#include "core/SizeSum.h"
#include "core/SortOnTwoCores.h"
#include "core/TMask.h"
#include "core/TextCodec.h"

#include <QDirIterator>
#include <QLibraryInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using CabTestUtil::readFile;

// Every include of src/ points down the layer table (see docs/ARCHITECTURE.md): a layer that
// reaches up, or two folders that include each other, soon make every change a change to
// everything. The headless layers must not pull in widgets: the CLI and core tests link QtCore only.
namespace
{

// Lowest first. An entry may include the ones before it.
const QStringList coreLayers = {u"core"_s,   u"cabinet"_s, u"store"_s,   u"settings"_s, u"acquire"_s, u"listing"_s, u"browser"_s,
                                u"search"_s, u"compile"_s, u"reports"_s, u"backup"_s,   u"session"_s};

const QStringList widgetModules = {u"QtGui"_s,        u"QtWidgets"_s, u"QtPrintSupport"_s, u"QtSvg"_s,
                                   u"QtSvgWidgets"_s, u"QtOpenGL"_s,  u"QtOpenGLWidgets"_s};

// Empty when `from` may include `to`; otherwise the rule that forbids it.
QString brokenRule(const QString &from, const QString &to)
{
    if (from == to)
        return {};
    for (const QString &f : {from, to}) {
        const bool featureUi = f.endsWith(u"/ui"_s) && coreLayers.contains(f.chopped(3));
        if (!featureUi && !coreLayers.contains(f) && f != u"gui"_s && f != u"app"_s && f != u"cli"_s)
            return u"src/%1/ has no place in the layer table; give it one before it includes or is included"_s.arg(f);
    }
    const qsizetype toRank = coreLayers.indexOf(to);
    if (const qsizetype fromRank = coreLayers.indexOf(from); fromRank >= 0) {
        if (toRank < 0)
            return u"%1 is a core layer and may not include windows (gui/, */ui/, app/, cli/)"_s.arg(from);
        if (toRank > fromRank)
            return u"points up the layer table: %1 may include only %2"_s.arg(
                from, fromRank == 0 ? u"itself"_s : coreLayers.first(fromRank).join(u", "_s));
        return {};
    }
    if (from == u"app"_s)
        return to == u"cli"_s ? u"app may include anything but cli/"_s : QString();
    if (from == u"cli"_s || from == u"gui"_s)
        return toRank >= 0 ? QString() : u"%1 may include core layers only"_s.arg(from);
    // A feature's ui folder.
    if (toRank >= 0 || to == u"gui"_s)
        return {};
    return u"a ui folder may include core layers, gui/ and itself, not %1/"_s.arg(to);
}

QString folderOf(const QString &pathUnderSrc)
{
    return pathUnderSrc.left(std::max<qsizetype>(0, pathUnderSrc.lastIndexOf(u'/')));
}

// The folder under src/ that an include lands in, resolved the way the compiler does: next to
// the including file first, then from src/. A name under a src/ folder that does not exist there
// (a generated header such as core/Version.h) still belongs to that folder. Empty for system and
// Qt headers.
QString targetFolder(const QDir &src, const QString &from, const QString &name, bool angled)
{
    const QString local = QDir::cleanPath(from + u'/' + name);
    if (!angled && !local.startsWith(u"../"_s) && QFileInfo::exists(src.filePath(local)))
        return folderOf(local);
    if (!angled && !name.contains(u'/'))
        return from;
    if (name.contains(u'/') && QFileInfo(src.filePath(name.section(u'/', 0, 0))).isDir())
        return folderOf(name);
    return {};
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

    static void writeOld(const QString &path)
    {
        CabTestUtil::writeFile(path, "the older file");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    }

private Q_SLOTS:
    void byteFields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QByteArray>("fields"); // one letter a field: b u8, l leU16, L leU32, q leU64, m beU16, M beU32
        QTest::addColumn<QList<quint64>>("values");
        QTest::addColumn<bool>("ranOut");
        const QByteArray bytes = QByteArray::fromHex("0102030405060708090A");
        QTest::newRow("each width, little-endian")
            << bytes << qint64(0) << QByteArray("blL") << QList<quint64>{0x01, 0x0302, 0x07060504} << false;
        QTest::newRow("each width, big-endian")
            << bytes << qint64(1) << QByteArray("mM") << QList<quint64>{0x0203, 0x04050607} << false;
        QTest::newRow("64 bits") << bytes << qint64(2) << QByteArray("q") << QList<quint64>{0x0A09080706050403}
                                 << false;
        QTest::newRow("the last byte") << bytes << qint64(9) << QByteArray("b") << QList<quint64>{0x0A} << false;
        // A field cut off by the end keeps the bytes there and reads the rest as 0.
        QTest::newRow("cut little-endian") << bytes << qint64(8) << QByteArray("L") << QList<quint64>{0x0A09} << true;
        QTest::newRow("cut big-endian") << bytes << qint64(9) << QByteArray("M") << QList<quint64>{0x0A000000} << true;
        // Past the end, before the start, and far away: 0, and the position still moves on.
        QTest::newRow("past the end") << bytes << qint64(10) << QByteArray("bl") << QList<quint64>{0, 0} << true;
        QTest::newRow("before the start") << bytes << qint64(-2) << QByteArray("lb") << QList<quint64>{0, 0x01} << true;
        QTest::newRow("far away") << bytes << (qint64(1) << 40) << QByteArray("q") << QList<quint64>{0} << true;
        QTest::newRow("empty block") << QByteArray() << qint64(0) << QByteArray("L") << QList<quint64>{0} << true;
    }
    void byteFields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, start);
        QFETCH(QByteArray, fields);
        QFETCH(QList<quint64>, values);
        QFETCH(bool, ranOut);
        ByteReader reader(bytes, start);
        QList<quint64> read;
        for (const char f : std::as_const(fields))
            read << (f == 'b'   ? reader.u8()
                     : f == 'l' ? reader.leU16()
                     : f == 'L' ? reader.leU32()
                     : f == 'q' ? reader.leU64()
                     : f == 'm' ? reader.beU16()
                                : reader.beU32());
        QCOMPARE(read, values);
        QCOMPARE(reader.ranOut(), ranOut);
    }

    void byteHolds()
    {
        const QByteArray bytes("RIFF\0\0\0\0WAVE", 12); // the reader only looks at them
        const ByteReader reader(bytes);
        QVERIFY(reader.at(0).holds("RIFF") && reader.at(8).holds("WAVE"));
        // Other bytes, cut off by the end, before the start, far away.
        QVERIFY(!reader.at(8).holds("WAVF") && !reader.at(10).holds("VEx") && !reader.at(-1).holds("RIFF") &&
                !reader.at(qint64(1) << 40).holds("R"));
    }

    // A name against a mask: whether it fits, or the mask's refusal.
    void masks_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("answer");
        const auto row = [](const QByteArray &m, const QByteArray &n, bool f) {
            QTest::addRow("%s ~ %s", m.constData(), n.constData())
                << QString::fromUtf8(m) << QString::fromUtf8(n) << (f ? u"fits"_s : u"no"_s);
        };
        const auto invalid = [](const QString &m, int at) {
            QTest::addRow("%s invalid", qPrintable(m)) << m << QString() << u"'%1' is an invalid mask at (%2)"_s.arg(m).arg(at);
        };
        row("a*b", "AxxB", true);
        row("a*b", "ab", true);
        row("a*b", "xab", false);
        row("a*b", "abx", false);
        row("*.mp3", "song.mp3.bak", false);
        row("*.mp3", "a.mp3.mp3", true); // needs backtracking past the first ".mp3"
        row("???", "ABC", true);
        row("???", "AB", false);
        row("*??x", "x", true); // "?" after "*" is dropped
        row("a?*", "a", false);
        row("a?*", "ab", true);
        row("[a-c]*", "Bravo", true);
        row("[a-c]*", "delta", false);
        row("[!a-c]*", "Bravo", false);
        row("[!a-c]*", "", false);
        row("temp\\", "TEMP\\", true);
        row("temp\\", "temp", false);
        row("*", "", true);
        row("", "", true);
        row("", "x", false);
        row("**a", "a", true);
        row("*a*b*c", "xxaxxbxxcxx", false);
        row("*a*b*c*", "xxaxxbxxcxx", true);
        row("ä*", "Ä", false);   // only a-z ignore case
        row("[a-]]", "]", true); // the range runs from A to "]"
        // A character beyond the first 65,536 is one character, though UTF-16 writes it as two.
        row("emoji?.mp3", "emoji\xf0\x9f\x98\x80.mp3", true);
        row("??.mp3", "\xf0\x9f\x98\x80.mp3", false);
        row("*\xf0\x9f\x98\x80", "x\xf0\x9f\x98\x80", true);
        row("[\xf0\x9f\x98\x80-\xf0\x9f\x98\x8f]", "\xf0\x9f\x98\x85", true);
        // Thirty runs are the most a mask may hold.
        const QByteArray runs = QByteArray("*x").repeated(30);
        row(runs, QByteArray(30, 'x'), true);
        row(runs, QByteArray(29, 'x'), false);
        invalid(u"*x"_s.repeated(31), 62);
        invalid(u"[abc"_s, 5);
        invalid(u"a[]"_s, 3);
        invalid(u"[-a]"_s, 2);
        invalid(u"[!]"_s, 3);
        invalid(u"[a-"_s, 4);
    }
    void masks()
    {
        QFETCH(QString, mask);
        QFETCH(QString, name);
        QFETCH(QString, answer);
        QString fits;
        const QString why = CabTestUtil::refusal([&] { fits = TMask(mask).Matches(name) ? u"fits"_s : u"no"_s; });
        QCOMPARE(fits.isNull() ? why : fits, answer);
    }

    // The one fold of names, shared by masks and every name comparison: a-z only, text and bytes.
    void foldTouchesOnlyAToZ()
    {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        const QByteArray folded = FoldedAZ(all);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(uchar(folded[i]), uchar(i >= 'a' && i <= 'z' ? i - 32 : i));
        QVERIFY(SameAZ(u"Ärger Zone", u"Ärger zONE") && !SameAZ(u"ärger", u"ÄRGER") && !SameAZ(u"ab", u"abc"));
    }

    // Catalogue text: UTF-8 written, UTF-8 or Windows-1252 read, CR LF or LF.
    void catalogueText()
    {
        QVERIFY(TextCodec::isValidUtf8("M\xc3\xbcsik"));
        // Latin-1, overlong, a surrogate, cut short.
        for (const char *bad : {"M\xfcsik", "\xc0\xaf", "\xed\xa0\x80", "ends badly \xe2\x82"})
            QVERIFY2(!TextCodec::isValidUtf8(bad), bad);
        QCOMPARE(TextCodec::decode("\x93quoted\x94 \x80"), QStringLiteral("\u201Cquoted\u201D \u20AC"));
        // A file name's bytes outside UTF-8 read as Windows-1252, so such names stay apart.
        QCOMPARE(TextCodec::fileNameToUtf8("caf\xc3\xa9"), QByteArray("caf\xc3\xa9"));
        QCOMPARE(QString::fromUtf8(TextCodec::fileNameToUtf8("\xe9t\xc3\xa9 \x80\xed\xa0\x80")),
                 QStringLiteral("\u00E9t\u00E9 \u20AC\u00ED\u00A0\u20AC"));
        QVERIFY(TextCodec::fileNameToUtf8("a\xe9") != TextCodec::fileNameToUtf8("a\xe8"));

        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\nb\nc")), (QStringList{"a", "b", "c"}));
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
        // CR alone ends a line too (old Mac editors), also right before a CR LF.
        QCOMPARE(TextCodec::splitLines(QStringLiteral("a\rb\r\r\nc\r")), (QStringList{"a", "b", "", "c"}));
        const QByteArray bytes("a\rb\r\nc\n\nd");
        QStringList viaBytes;
        qsizetype pos = 0;
        QByteArrayView line;
        while (TextCodec::nextLine(bytes, pos, line))
            viaBytes.append(QString::fromLatin1(line));
        QCOMPARE(viaBytes, (QStringList{"a", "b", "c", "", "d"}));
        QCOMPARE(TextCodec::joinLines({QStringLiteral("ä"), QString()}), QByteArray("\xc3\xa4\r\n\r\n"));
        QCOMPARE(TextCodec::sanitizeLine(QStringLiteral("a\r\nb\rc")), QStringLiteral("a??b?c"));
    }

    // A disk full at any point leaves the older file and nothing beside it; what fits replaces it.
    void safeSaveOnAFullDisk_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QList<int>>("writes");
        QTest::addColumn<bool>("fits");
        const int k = 1024;
        QTest::newRow("nothing fits") << 0 << QList<int>{10} << false;
        QTest::newRow("small writes cut at the commit") << 1000 << QList<int>(10, 200) << false;
        QTest::newRow("small writes cut while gathering") << 300 * k << QList<int>(5, 100 * k) << false;
        QTest::newRow("a large write cut short") << k * k + 5 << QList<int>{2 * k * k} << false;
        QTest::newRow("one byte over") << 4096 << QList<int>{4000, 97} << false;
        QTest::newRow("exactly the limit") << 4096 << QList<int>{4000, 96} << true;
        QTest::newRow("exactly the limit, large") << 300 * k << QList<int>{300 * k} << true;
    }
    void safeSaveOnAFullDisk()
    {
        QFETCH(int, limit);
        QFETCH(QList<int>, writes);
        QFETCH(bool, fits);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"report.txt"_s);
        writeOld(path);
        QByteArray bytes;
        bool written = true, committed = false;
        SafeSaveFile file(path);
        QVERIFY(file.open());
        {
            const FileSizeLimit full(limit);
            for (int size : writes) {
                const QByteArray part(size, char('a' + bytes.size() % 26));
                bytes += part;
                written = file.write(part) == size && written;
            }
            committed = file.commit();
        }
        QCOMPARE(committed, fits);
        QVERIFY(!fits || written);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"report.txt"_s});
        QCOMPARE(readFile(path), fits ? bytes : QByteArray("the older file"));
        if (fits) // the replaced file's permissions pass on
            QCOMPARE(QFile::permissions(path), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                   QFileDevice::ReadGroup);
        else
            QCOMPARE(file.errorString() + QString::number(file.systemError()),
                     QString::fromLocal8Bit(strerror(EFBIG)) + QString::number(EFBIG));
    }

    // A link is written through; a name at the system's limit still gets its partial file.
    void safeSaveThroughLinksAndLongNames()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath(u"real.m3u"_s);
        writeOld(real);
        QVERIFY(QFile::link(real, dir.filePath(u"link.m3u"_s)));
        const QString longName = dir.filePath(QString(127, u'\u00e9'));
        for (const QString &path : {dir.filePath(u"link.m3u"_s), longName}) {
            SafeSaveFile file(path);
            QVERIFY2(file.open(), qPrintable(file.errorString()));
            file.write("new");
            QVERIFY(file.commit());
        }
        QCOMPARE(readFile(real) + readFile(longName), QByteArray("newnew"));
        QVERIFY(QFileInfo(dir.filePath(u"link.m3u"_s)).isSymLink());
        QVERIFY(SafeSaveFile::isPartialName(QFileInfo(SafeSaveFile::partialName(longName)).fileName()));
    }

    // What is no file (a pipe, a device, a folder) is not replaced, and a folder that is not
    // there is not made: refused before a byte is written, with the reason.
    void safeSaveRefusesWhatIsNoFile()
    {
        QTemporaryDir dir;
        const QString pipe = dir.filePath(u"pipe"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString &path : {pipe, u"/dev/null"_s, dir.path(), dir.filePath(u"missing/x.txt"_s)}) {
            SafeSaveFile file(path);
            QVERIFY2(!file.open(), qPrintable(path));
            QVERIFY(!file.errorString().isEmpty());
            QCOMPARE(SafeSaveFile::targetProblem(path), file.errorString());
        }
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(pipe).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{u"pipe"_s});
        QCOMPARE(SafeSaveFile::targetProblem(dir.filePath(u"new.txt"_s)), QString());
    }

    // Either side of the length where the second core joins, with many equal keys: sorted, nothing lost or doubled.
    void sortOnTwoCoresSortsWhole()
    {
        QRandomGenerator rng(7);
        for (const int length : {0, 1, (1 << 16) - 1, 1 << 16, (1 << 16) + 1, 200001}) {
            std::vector<int> values(static_cast<size_t>(length));
            for (int &v : values)
                v = int(rng.bounded(1000));
            std::vector<int> expected = values;
            std::sort(expected.begin(), expected.end());
            sortOnTwoCores(values.begin(), values.end(), std::less<int>());
            QVERIFY2(values == expected, qPrintable(QString::number(length)));
        }
    }

    // Totals of sizes (folders, groups, selections, search results, copies) stop at the largest
    // size the lists can hold, from either side, and come back down when a loss is added.
    void sizeSumsStopAtTheLargest()
    {
        constexpr qint64 most = std::numeric_limits<qint64>::max();
        for (const auto &[total, size, sum] : std::initializer_list<std::array<qint64, 3>>{
                 {1, 2, 3}, {most - 1, 1, most}, {most - 1, 2, most}, {most, most, most}, {most, -1, most - 1}}) {
            qint64 signedSum = total;
            addCapped(signedSum, size);
            QCOMPARE(signedSum, sum);
            if (size < 0)
                continue;
            quint64 unsignedSum = quint64(total);
            addCapped(unsignedSum, quint64(size));
            QCOMPARE(unsignedSum, quint64(sum));
        }
        quint64 past = LargestSize + 5; // a total already past it stays at it
        addCapped(past, 1);
        QCOMPARE(past, LargestSize);
    }

    // The parsers that follow a decompressor skip the arrivals they fall behind on, but must
    // see the last one before stop() returns, and must run again after a stop.
    void latestWorkerHandsTheLastValue()
    {
        std::vector<int> handed; // written by the worker only, read after stop()
        LatestWorker<int> worker([&handed](const int &v) { handed.push_back(v); });
        for (int round = 0; round < 2; ++round) {
            handed.clear();
            worker.start();
            for (int v = 1; v <= 10000; ++v)
                worker.post(v);
            worker.stop();
            QVERIFY(!worker.running());
            QVERIFY(!handed.empty());
            QCOMPARE(handed.back(), 10000);
            QVERIFY(std::is_sorted(handed.begin(), handed.end()));
        }
    }

    void includesPointDownTheLayers()
    {
        const QDir src(QStringLiteral(QUILLORY_SOURCE_DIR "/src"));
        const QDir qtHeaders(QLibraryInfo::path(QLibraryInfo::HeadersPath));
        QVERIFY2(qtHeaders.exists(u"QtWidgets/QWidget"_s),
                 qPrintable(u"Qt's headers are not at %1; cannot tell widget headers apart"_s.arg(qtHeaders.path())));
        static const QRegularExpression includeLine(u"^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"_s);
        QStringList faults;
        int crossFolder = 0;
        QDirIterator it(src.path(), {u"*.h"_s, u"*.cpp"_s, u"*.in"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString underSrc = src.relativeFilePath(it.next());
            const QString from = folderOf(underSrc);
            QFile file(it.filePath());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(it.filePath()));
            for (int lineNo = 1; !file.atEnd(); ++lineNo) {
                const auto m = includeLine.match(QString::fromUtf8(file.readLine()));
                if (!m.hasMatch())
                    continue;
                const QString name = m.captured(2);
                const QString to = targetFolder(src, from, name, m.captured(1) == u"<"_s);
                const QString where = u"src/%1:%2: #include %3"_s.arg(underSrc).arg(lineNo).arg(name);
                crossFolder += !to.isEmpty() && to != from;
                if (const QString rule = to.isEmpty() ? QString() : brokenRule(from, to); !rule.isEmpty())
                    faults << u"%1 (%2 -> %3): %4"_s.arg(where, from, to, rule);
                const bool headless = coreLayers.contains(from) || from == u"cli"_s;
                const bool widgets = std::any_of(widgetModules.cbegin(), widgetModules.cend(), [&](const QString &w) {
                    return name.startsWith(w + u'/') || (!name.contains(u'/') && qtHeaders.exists(w + u'/' + name));
                });
                if (to.isEmpty() && headless && widgets)
                    faults << u"%1: %2 links QtCore only; widgets, images and printing belong in gui/ or a ui/ folder"_s
                                  .arg(where, from);
            }
        }
        // A scanner that silently matched nothing would pass every check.
        QVERIFY2(crossFolder >= 20, qPrintable(u"only %1 includes across folders found under src/"_s.arg(crossFolder)));
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(u"\n"_s + faults.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
