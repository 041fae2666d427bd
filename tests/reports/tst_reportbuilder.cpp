// Whole reports written from real catalogues (lists packed into real cabinets) and compared
// byte for byte: disc and group, TXT and HTML, with and without sub-groups and the closing line.

#include "TestCatalogue.h"
#include "listing/FileTypes.h"
#include "core/QuilloryError.h"
#include "reports/ReportBuilder.h"
#include "reports/ReportStream.h"
#include "store/GroupTree.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestReportBuilder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    GroupTree m_tree;
    TreeNode *m_music = nullptr;
    TreeNode *m_disc = nullptr;
    TreeNode *m_empty = nullptr;
    const QDateTime m_clock{QDate(2025, 3, 5), QTime(14, 7, 9)};

    QByteArray report(const TreeNode *node, ReportBuilder::Form form, const ReportSettings &settings,
                      const QDateTime &when = {})
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ReportStream out(&buffer);
        ReportBuilder(m_db, settings, out).writeDocument(node, form, when);
        return bytes;
    }

    static ReportSettings defaults(ReportSettings::Kind kind, bool recurse = true)
    {
        ReportSettings s;
        s.columns = ReportSettings::defaultColumns(kind);
        s.recurse = recurse;
        return s;
    }

    // A text row of 20-character cells, as the default widths give.
    static QString cells(const QStringList &values)
    {
        QString line = u"|"_s;
        for (const QString &v : values)
            line += v.leftJustified(20, u' ', true) + u'|';
        return line + u"\r\n"_s;
    }

    static QString type(const QString &name) { return FileTypes::GetFileType(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_db = m_dir.path() + u"/DB/"_s;
        using TestCatalogue::date;
        TestCatalogue::packDisc(m_db, u"0000000A"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(
                u"A.mp3"_s, u"\\"_s, 2048, date(2024, 2, 1),
                {u"Title: Song"_s, u"Artist: Band"_s, u"Duration: 00:03:25"_s, u"Bit rate: CBR 128kbps"_s});
            files.writeFileRecord(u"photo.png"_s, u"\\PICS\\"_s, 1536, date(2024, 2, 2),
                                  {u"Width: 640"_s, u"Height:480"_s});
            files.writeFileRecord(u"pack.zip"_s, u"\\"_s, 500, date(2024, 2, 3), {u"Compressed Folder"_s});
            files.writeArchiveEntry(u"inner.txt"_s, u"\\pack.zip\\"_s, 50, date(2024, 2, 4), u"docs\\"_s);
            files.writeFileRecord(u"index.html"_s, u"\\WEB\\"_s, 1000, date(2024, 2, 5), {u"Title: Home page"_s});
        });
        TestCatalogue::packDisc(m_db, u"0000000E"_s, [](ContentsListWriter &, ContentsListWriter &) {});

        auto cd = [](const QString &title, const QString &serial, const QString &genre, int number,
                     const QString &borrowedTo = {}) {
            return TCD{title,  title.left(5).toUpper(),   serial,    u"CDFS"_s, 1048576, u"Two~!lines"_s, genre,
                       number, u"6/1/2024 12:00:00 PM"_s, borrowedTo};
        };
        TreeNode *root = m_tree.addChild(m_tree.top(), u"My Collection"_s, KindRoot);
        m_music = m_tree.addChild(root, u"Music"_s, KindGroup);
        m_disc = m_tree.addDisc(m_music, cd(u"Music Disc"_s, u"0000000A"_s, u"Rock"_s, 1));
        TreeNode *live = m_tree.addChild(m_music, u"Live"_s, KindGroup);
        m_tree.addDisc(live, cd(u"Live Disc"_s, u"0000000C"_s, u"Jazz"_s, 3));
        m_tree.addDisc(m_music, cd(u"Lent Disc"_s, u"0000000B"_s, QString(), 2, u"Ann"_s));
        m_empty = m_tree.addDisc(root, cd(u"Empty Disc"_s, u"0000000E"_s, QString(), 4));
    }

    void textDiscReport()
    {
        const QString sep(64, u'-');
        const QString head = u"Report for disc \"Music Disc\".\r\n\r\n"
                             u"|        Name        |        Type        |        Size        |\r\n"_s +
                             sep + u"\r\n"_s;
        const QString rows = cells({u"A.mp3"_s, type(u"A.mp3"_s), u"2.00 KB"_s}) +
                             cells({u"photo.png"_s, type(u"photo.png"_s), u"1.50 KB"_s}) +
                             cells({u"pack.zip"_s, type(u"pack.zip"_s), u"500.00 Bytes"_s}) +
                             cells({u"inner.txt"_s, type(u"inner.txt"_s), u"50.00 Bytes"_s}) +
                             cells({u"index.html"_s, type(u"index.html"_s), u"1,000.00 Bytes"_s});
        const ReportSettings s = defaults(ReportSettings::DiscReport);
        QCOMPARE(QString::fromUtf8(report(m_disc, ReportBuilder::Txt, s)), head + rows + sep);
        QCOMPARE(QString::fromUtf8(report(m_disc, ReportBuilder::Txt, s, m_clock)),
                 head + rows + sep + u"\n\nCreated with Quillory! on 05/03/2025. at 14:07:09\r\n"_s);
        // A disc without files: header, separator and the closing separator.
        QCOMPARE(QString::fromUtf8(report(m_empty, ReportBuilder::Txt, s)),
                 u"Report for disc \"Empty Disc\".\r\n\r\n"
                 u"|        Name        |        Type        |        Size        |\r\n"_s +
                     sep + u"\r\n"_s + sep);
    }

    void textColumnsAndWidths()
    {
        // Order, marks and widths as chosen: a narrow column cuts, unmarked ones are left out,
        // the detail lines fill their columns only where a record has them.
        ReportSettings s;
        s.columns = {{u"Name"_s, true, 40},  {u"Size"_s, false, 160}, {u"Height"_s, true, 80},
                     {u"Title"_s, true, 96}, {u"Path"_s, true, 999},  {u"Bit rate"_s, true, 10}};
        auto row = [&](const char *name, const char *height, const char *title, const QString &path, const char *bit) {
            return u"|%1|%2|%3|%4|%5|\r\n"_s.arg(QString::fromUtf8(name), QString::fromUtf8(height),
                                                 QString::fromUtf8(title), path.leftJustified(124, u' '),
                                                 QString::fromUtf8(bit));
        };
        const QString sep(1 + 6 + 11 + 13 + 125 + 2, u'-');
        const QString expected = u"Report for disc \"Music Disc\".\r\n\r\n| Name|  Height  |    Title   |"_s +
                                 QString(60, u' ') + u"Path"_s + QString(60, u' ') + u"|B|\r\n"_s + sep + u"\r\n"_s +
                                 row("A.mp3", "          ", "Song        ", u"\\"_s, "C") +
                                 row("photo", "480       ", "            ", u"\\PICS\\"_s, " ") +
                                 row("pack.", "          ", "            ", u"\\"_s, " ") +
                                 row("inner", "          ", "            ", u"\\pack.zip\\"_s, " ") +
                                 row("index", "          ", "Home page   ", u"\\WEB\\"_s, " ") + sep;
        QCOMPARE(QString::fromUtf8(report(m_disc, ReportBuilder::Txt, s)), expected);
    }

    void htmlDiscReport()
    {
        ReportSettings s;
        s.columns = {{u"Name"_s, true, 200}, {u"Type"_s, false, 160}, {u"Height"_s, true, 50}, {u"Title"_s, true, 160}};
        s.colours.font = 0x102030;
        const QString cell =
            u"<td bgcolor=\"#D9D9E9\"><font size=\"2\" color = \"#102030\" face=\"Tahoma\">%1</font></td>"_s;
        auto row = [&](const char *a, const char *b, const char *c) {
            return u"<tr>\r\n"_s + cell.arg(QString::fromUtf8(a)) + cell.arg(QString::fromUtf8(b)) +
                   cell.arg(QString::fromUtf8(c)) + u"</tr>\r\n"_s;
        };
        const QString head =
            u"<html>\r\n<title>Quillory! report</title>\r\n<body bgcolor=\"#EDEDF5\">\r\n"
            u"<table border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\" bordercolor=\"#7979B0\">\r\n"
            u"<tr>\r\n"
            u"<td width = \"200\" bgcolor=\"#9C9CC6\"><font size=\"2\" color = \"#102030\" "
            u"face=\"Tahoma\"><center><b>Name</b></center></font></td>"
            u"<td width = \"50\" bgcolor=\"#9C9CC6\"><font size=\"2\" color = \"#102030\" "
            u"face=\"Tahoma\"><center><b>Height</b></center></font></td>"
            u"<td width = \"160\" bgcolor=\"#9C9CC6\"><font size=\"2\" color = \"#102030\" "
            u"face=\"Tahoma\"><center><b>Title</b></center></font></td>"
            u"</tr>\r\n"_s;
        const QString rows = row("A.mp3", "&nbsp;", "Song") + row("photo.png", "480", "&nbsp;") +
                             row("pack.zip", "&nbsp;", "&nbsp;") + row("inner.txt", "&nbsp;", "&nbsp;") +
                             row("index.html", "&nbsp;", "Home page");
        QCOMPARE(QString::fromUtf8(report(m_disc, ReportBuilder::Html, s)),
                 head + rows + u"</table>\r\n</body>\r\n</html>\r\n"_s);
        QCOMPARE(QString::fromUtf8(report(m_disc, ReportBuilder::Html, s, m_clock)),
                 head + rows +
                     u"</table>\r\n<center><font face=\"Tahoma\" size = \"2\"><i>Created with <b>Quillory!</b> on "
                     u"05/03/2025. at 14:07:09</i></font></center>\r\n</body>\r\n</html>\r\n"_s);
    }

    void textGroupReport()
    {
        const QString head = u"Report for group \"Music\".\r\n\r\n"
                             u"|        Title       |        Genre       |     Description    |\r\n"_s +
                             QString(64, u'-') + u"\r\n"_s;
        const QString music = cells({u"Music Disc"_s, u"Rock"_s, u"Two~!lines"_s});
        const QString live = cells({u"Live Disc"_s, u"Jazz"_s, u"Two~!lines"_s});
        const QString lent = cells({u"Lent Disc"_s, QString(), u"Two~!lines"_s});
        QCOMPARE(QString::fromUtf8(report(m_music, ReportBuilder::Txt, defaults(ReportSettings::GroupReport, false))),
                 head + music + lent + QString(64, u'-'));
        QCOMPARE(QString::fromUtf8(report(m_music, ReportBuilder::Txt, defaults(ReportSettings::GroupReport), m_clock)),
                 head + music + live + lent + QString(64, u'-') +
                     u"\n\nCreated with Quillory! on 05/03/2025. at 14:07:09\r\n"_s);

        // Every group column, read from the lines a disc row is made of.
        ReportSettings all = defaults(ReportSettings::GroupReport);
        for (ReportSettings::Column &c : all.columns) {
            c.shown = c.name != u"Title"_s && c.name != u"Genre"_s && c.name != u"Description"_s;
            c.width = 120;
        }
        const QByteArray rows = report(m_music, ReportBuilder::Txt, all).split('\n').at(4);
        QCOMPARE(QString::fromUtf8(rows),
                 u"|1              |Music          |MUSIC          |0000000A       |1.00 MB        "
                 u"|CDFS           |6/1/2024 12:00:|\r"_s);
    }

    void htmlGroupReport()
    {
        ReportSettings s = defaults(ReportSettings::GroupReport, false);
        s.columns[1].shown = false;
        s.columns[4].shown = true; // Location
        s.columns[4].width = 90;
        auto cell = [](int width, const QString &colour, const QString &text) {
            return u"<td nowrap width = \"%1\" bgcolor=\"%2\"><font size=\"2\" color = \"#000000\" face=\"Tahoma\">%3"
                   u"</font></td>\r\n"_s.arg(width)
                       .arg(colour, text);
        };
        auto header = [&](int width, const QString &name) {
            return cell(width, u"#9C9CC6"_s, u"<center><b>"_s + name + u"</b></center>"_s);
        };
        auto row = [&](const QString &title, const QString &location) {
            return u"<tr>\r\n"_s + cell(160, u"#D9D9E9"_s, title) + cell(160, u"#D9D9E9"_s, u"Two~!lines"_s) +
                   cell(90, u"#D9D9E9"_s, location) + u"</tr>\r\n"_s;
        };
        const QString frame =
            u"<html>\r\n<title>Quillory! report</title>\r\n<body bgcolor=\"#EDEDF5\">\r\n"
            u"<table border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\" bordercolor=\"#7979B0\">\r\n"_s;
        const QString head = u"<tr>\r\n"_s + header(160, u"Title"_s) + header(160, u"Description"_s) +
                             header(90, u"Location"_s) + u"</tr>\r\n"_s;
        const QString end = u"</table>\r\n</body>\r\n</html>\r\n"_s;
        QCOMPARE(QString::fromUtf8(report(m_music, ReportBuilder::Html, s)),
                 frame + head + row(u"Music Disc"_s, u"Music"_s) + row(u"Lent Disc"_s, u"Music"_s) + end);
        s.recurse = true;
        QCOMPARE(QString::fromUtf8(report(m_music, ReportBuilder::Html, s)),
                 frame + head + row(u"Music Disc"_s, u"Music"_s) + row(u"Live Disc"_s, u"Live"_s) +
                     row(u"Lent Disc"_s, u"Music"_s) + end);
    }

    void htmlValuesEscaped()
    {
        // Names that are markup show as written in an HTML parser; the text form keeps them.
        const QString db = m_db;
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"<Root> & co"_s, KindRoot);
        TestCatalogue::packDisc(db, u"0000000F"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"<b>bold</b>.txt"_s, u"\\"_s, 1, TestCatalogue::date(2024, 1, 1));
            files.writeFileRecord(u"a & b.txt"_s, u"\\<dir>\\"_s, 2, TestCatalogue::date(2024, 1, 1));
            files.writeFileRecord(u"&nbsp;"_s, u"\\"_s, 3, TestCatalogue::date(2024, 1, 1));
            files.writeFileRecord(u"<script>alert(1)</script>"_s, u"\\"_s, 4, TestCatalogue::date(2024, 1, 1));
        });
        TreeNode *disc =
            tree.addDisc(root, TCD{u"x<y"_s, u"L"_s, u"0000000F"_s, u"UDF"_s, 0, u"\"quoted\" & <i>"_s, {}, 1, {}, {}});
        ReportSettings discCols;
        discCols.columns = {{u"Name"_s, true, 160}, {u"Path"_s, true, 160}};
        ReportSettings groupCols;
        groupCols.columns = {{u"Title"_s, true, 160}, {u"Description"_s, true, 160}, {u"Location"_s, true, 160}};

        const QStringList discCells = htmlCells(report(disc, ReportBuilder::Html, discCols));
        QCOMPARE(discCells,
                 (QStringList{u"Name"_s, u"Path"_s, u"<b>bold</b>.txt"_s, u"\\"_s, u"a & b.txt"_s, u"\\<dir>\\"_s,
                              u"&nbsp;"_s, u"\\"_s, u"<script>alert(1)</script>"_s, u"\\"_s}));
        const QStringList groupCells = htmlCells(report(root, ReportBuilder::Html, groupCols));
        QCOMPARE(groupCells, (QStringList{u"Title"_s, u"Description"_s, u"Location"_s, u"x<y"_s, u"\"quoted\" & <i>"_s,
                                          u"<Root> & co"_s}));
        QVERIFY(report(disc, ReportBuilder::Txt, discCols).contains("|<b>bold</b>.txt     |"));
    }

    void creationTimeFollowsLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QByteArray bytes = report(m_empty, ReportBuilder::Txt, defaults(ReportSettings::DiscReport), m_clock);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(bytes.endsWith("\n\nCreated with Quillory! on 05.03.2025. at 14:07:09\r\n"), bytes.constData());
    }

    void failures()
    {
        // A size that is not a number ends the report with the rows before it written.
        TestCatalogue::packDisc(m_db, u"0000000D"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"good.txt"_s, u"\\"_s, 1, TestCatalogue::date(2024, 1, 1));
            files.writeRecord({u"bad.txt"_s, u"\\"_s, u"12x"_s, TestCatalogue::date(2024, 1, 1)});
        });
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"Root"_s, KindRoot);
        TreeNode *bad = tree.addDisc(root, TCD{u"Bad"_s, {}, u"0000000D"_s, {}, 0, {}, {}, 0, {}, {}});
        TreeNode *missing = tree.addDisc(root, TCD{u"Gone"_s, {}, u"0000000G"_s, {}, 0, {}, {}, 0, {}, {}});
        const ReportSettings s = defaults(ReportSettings::DiscReport);

        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            ReportStream out(&buffer);
            ReportBuilder builder(m_db, s, out);
            QVERIFY_THROWS_EXCEPTION(QuilloryError, builder.writeDocument(bad, ReportBuilder::Txt));
        }
        QVERIFY(bytes.contains("|good.txt"));
        QVERIFY(!bytes.contains("bad.txt"));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, report(missing, ReportBuilder::Html, s));

        // A device that takes nothing.
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        ReportStream out(&readOnly);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ReportBuilder(m_db, s, out).writeDocument(m_music, ReportBuilder::Txt));
    }

    void progress()
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ReportStream out(&buffer);
        const ReportSettings s = defaults(ReportSettings::GroupReport);
        ReportBuilder builder(m_db, s, out);
        QList<QPair<qint64, qint64>> seen;
        builder.setProgress([&](qint64 done, qint64 total) { seen.append({done, total}); });
        builder.writeDocument(m_tree.root(), ReportBuilder::Txt);
        QCOMPARE(seen.first(), (QPair<qint64, qint64>(0, 4)));
        QCOMPARE(seen.last(), (QPair<qint64, qint64>(4, 4)));
    }

    void formByFileName()
    {
        QCOMPARE(ReportBuilder::formForFileName(u"/tmp/r.html"_s), ReportBuilder::Html);
        QCOMPARE(ReportBuilder::formForFileName(u"R.HtMl"_s), ReportBuilder::Html);
        QCOMPARE(ReportBuilder::formForFileName(u"r.htm"_s), ReportBuilder::Txt);
        QCOMPARE(ReportBuilder::formForFileName(u"r.html.txt"_s), ReportBuilder::Txt);
        QCOMPARE(ReportBuilder::formForFileName(u"a.html/report"_s), ReportBuilder::Txt);
    }

private:
    // The text of every table cell as an HTML parser reads it.
    static QStringList htmlCells(const QByteArray &html)
    {
        const char *script = R"(
import html.parser, sys, json
class P(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.cells, self.inside = [], False
    def handle_starttag(self, tag, attrs):
        if tag == 'td':
            self.inside = True
            self.cells.append('')
    def handle_endtag(self, tag):
        if tag == 'td':
            self.inside = False
    def handle_data(self, data):
        if self.inside:
            self.cells[-1] += data
p = P()
p.feed(sys.stdin.buffer.read().decode('utf-8'))
print(json.dumps(p.cells))
)";
        QProcess python;
        python.start(u"python3"_s, {u"-c"_s, QString::fromUtf8(script)});
        python.write(html);
        python.closeWriteChannel();
        if (!python.waitForFinished(30000))
            return {u"python3 did not finish"_s};
        const QByteArray out = python.readAllStandardOutput();
        QStringList cells;
        for (const QVariant &v : QJsonDocument::fromJson(out).array().toVariantList())
            cells.append(v.toString().replace(QChar(0xA0), u' '));
        return cells;
    }
};

QTEST_GUILESS_MAIN(TestReportBuilder)
#include "tst_reportbuilder.moc"
