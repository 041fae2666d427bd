// Whole reports written from real catalogues (lists packed into real cabinets) and compared
// byte for byte: disc and group, TXT and HTML, with and without sub-groups and the closing line.

#include "CabTestUtil.h"
#include "TestCatalogue.h"
#include "core/QuilloryError.h"
#include "listing/FileTypes.h"
#include "reports/ReportBuilder.h"
#include "reports/ReportStream.h"
#include "reports/TextWidth.h"
#include "store/GroupTree.h"

#include <QBuffer>
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

    // The report as written; a report that fails leaves what it wrote before in written.
    QByteArray report(const TreeNode *node, ReportBuilder::Form form, const ReportSettings &settings,
                      const QDateTime &when = {}, const ReportBuilder::Progress &progress = {},
                      QByteArray *written = nullptr)
    {
        QByteArray bytes;
        QBuffer buffer(written ? written : &bytes);
        buffer.open(QIODevice::WriteOnly);
        ReportStream out(&buffer);
        ReportBuilder builder(m_db, settings, out);
        if (progress)
            builder.setProgress(progress);
        builder.writeDocument(node, form, when);
        return buffer.data();
    }

    static ReportSettings defaults(ReportSettings::Kind kind, bool recurse = true)
    {
        return {.columns = ReportSettings::defaultColumns(kind), .recurse = recurse};
    }

    // A text row of 20-character cells, as the default widths give.
    static QString cells(const QStringList &values)
    {
        QString line = u"|"_s;
        for (const QString &v : values)
            line += v.leftJustified(20, u' ', true) + u'|';
        return line + u"\r\n"_s;
    }

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

    // The text form whole: header, a row of 20-character cells per file, separators.
    void textDiscReport()
    {
        const QString sep(64, u'-');
        const QString head = u"Report for disc \"Music Disc\".\r\n\r\n"
                             u"|        Name        |        Type        |        Size        |\r\n"_s +
                             sep + u"\r\n"_s;
        const QString rows = cells({u"A.mp3"_s, FileTypes::GetFileType(u"A.mp3"_s), u"2.00 KB"_s}) +
                             cells({u"photo.png"_s, FileTypes::GetFileType(u"photo.png"_s), u"1.50 KB"_s}) +
                             cells({u"pack.zip"_s, FileTypes::GetFileType(u"pack.zip"_s), u"500.00 Bytes"_s}) +
                             cells({u"inner.txt"_s, FileTypes::GetFileType(u"inner.txt"_s), u"50.00 Bytes"_s}) +
                             cells({u"index.html"_s, FileTypes::GetFileType(u"index.html"_s), u"1,000.00 Bytes"_s});
        QCOMPARE(QString::fromUtf8(report(m_disc, ReportBuilder::Txt, defaults(ReportSettings::DiscReport))),
                 head + rows + sep);
    }

    // One line of a report: columns as name:width (negative: hidden; none: defaults), sub-groups,
    // the closing line and its locale. A negative line counts from the end.
    void reportLines_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<bool>("recurse");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("expected");
        const QString dash64(64, u'-');
        const QString narrow = u"Name:40,Height:80,Title:96,Path:999,Bit rate:10"_s;
        QTest::newRow("text closing line, German") << u"empty"_s << false << QString() << true << u"de_DE"_s << -2
                                                   << u"Created with Quillory! on 05.03.2025. at 14:07:09"_s;
        QTest::newRow("html closing line")
            << u"disc"_s << true << u"Name:160"_s << true << u"en_US"_s << -4
            << u"<center><font face=\"Tahoma\" size = \"2\"><i>Created with <b>Quillory!</b> on 05/03/2025. at "
               u"14:07:09</i></font></center>"_s;
        QTest::newRow("disc without files: two separators")
            << u"empty"_s << false << QString() << true << QString() << 4 << dash64;
        // A narrow column cuts; detail lines fill their columns only where a record has them.
        QTest::newRow("narrow columns, detail lines")
            << u"disc"_s << false << narrow << true << QString() << 4
            << u"|A.mp3|          |Song        |"_s + u"\\"_s.leftJustified(124, u' ') + u"|C|"_s;
        QTest::newRow("narrow columns, a missing detail")
            << u"disc"_s << false << narrow << true << QString() << 5
            << u"|photo|480       |            |"_s + u"\\PICS\\"_s.leftJustified(124, u' ') + u"| |"_s;
        QTest::newRow("group: its own discs first") << u"music"_s << false << QString() << false << QString() << 5
                                                    << cells({u"Lent Disc"_s, QString(), u"Two~!lines"_s}).trimmed();
        QTest::newRow("group with sub-groups") << u"music"_s << false << QString() << true << QString() << 5
                                               << cells({u"Live Disc"_s, u"Jazz"_s, u"Two~!lines"_s}).trimmed();
        QTest::newRow("group, every other column")
            << u"music"_s << false
            << u"Disc Number:120,Location:120,Label:120,Serial Number:120,Size:120,File System:120,Entry Date:120"_s
            << true << QString() << 4
            << u"|1              |Music          |MUSIC          |0000000A       |1.00 MB        "
               u"|CDFS           |6/1/2024 12:00:|"_s;
        // A hidden column is left out; a value a file lacks is a blank cell.
        const QString cell =
            u"<td bgcolor=\"#D9D9E9\"><font size=\"2\" color = \"#000000\" face=\"Tahoma\">%1</font></td>"_s;
        QTest::newRow("html header")
            << u"disc"_s << true << u"Name:200,Type:-160,Height:50"_s << true << QString() << 5
            << u"<td width = \"200\" bgcolor=\"#9C9CC6\"><font size=\"2\" color = \"#000000\" "
               u"face=\"Tahoma\"><center><b>"
               u"Name</b></center></font></td><td width = \"50\" bgcolor=\"#9C9CC6\"><font size=\"2\" color = "
               u"\"#000000\" face=\"Tahoma\"><center><b>Height</b></center></font></td></tr>"_s;
        QTest::newRow("html row") << u"disc"_s << true << u"Name:200,Type:-160,Height:50"_s << true << QString() << 7
                                  << cell.arg(u"A.mp3"_s) + cell.arg(u"&nbsp;"_s) + u"</tr>"_s;
        QTest::newRow("html group, a sub-group's location")
            << u"music"_s << true << u"Title:160,Description:160,Location:90"_s << true << QString() << 17
            << u"<td nowrap width = \"90\" bgcolor=\"#D9D9E9\"><font size=\"2\" color = \"#000000\" "
               u"face=\"Tahoma\">Live</font></td>"_s;
    }
    void reportLines()
    {
        QFETCH(QString, node);
        QFETCH(bool, html);
        QFETCH(QString, columns);
        QFETCH(bool, recurse);
        QFETCH(QString, locale);
        QFETCH(int, line);
        QFETCH(QString, expected);
        const TreeNode *n = node == u"music"_s ? m_music : node == u"empty"_s ? m_empty : m_disc;
        ReportSettings s = defaults(n == m_music ? ReportSettings::GroupReport : ReportSettings::DiscReport, recurse);
        if (!columns.isEmpty()) {
            s.columns.clear();
            for (const QString &c : columns.split(u','))
                s.columns.append({c.section(u':', 0, 0), !c.contains(u":-"_s), qAbs(c.section(u':', 1).toInt())});
        }
        if (!locale.isEmpty())
            QLocale::setDefault(QLocale(locale));
        const QByteArray bytes =
            report(n, html ? ReportBuilder::Html : ReportBuilder::Txt, s, locale.isEmpty() ? QDateTime() : m_clock);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
        QVERIFY2(line < lines.size() && -line <= lines.size(), bytes.constData());
        QString got = lines.at(line < 0 ? lines.size() + line : line);
        if (got.endsWith(u'\r'))
            got.chop(1);
        QCOMPARE(got, expected);
    }

    // Names that are markup are written escaped in HTML; the text form keeps them.
    void htmlValuesEscaped()
    {
        GroupTree tree;
        TreeNode *root = tree.addChild(tree.top(), u"<Root> & co"_s, KindRoot);
        TestCatalogue::packDisc(m_db, u"0000000F"_s, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"<b>bold</b>.txt"_s, u"\\<dir>\\"_s, 1, TestCatalogue::date(2024, 1, 1));
            files.writeFileRecord(u"&nbsp;"_s, u"\\"_s, 3, TestCatalogue::date(2024, 1, 1));
        });
        TreeNode *disc =
            tree.addDisc(root, TCD{u"x<y"_s, u"L"_s, u"0000000F"_s, u"UDF"_s, 0, u"\"quoted\" & <i>"_s, {}, 1, {}, {}});
        ReportSettings discCols;
        discCols.columns = {{u"Name"_s, true, 160}, {u"Path"_s, true, 160}};
        ReportSettings groupCols;
        groupCols.columns = {{u"Title"_s, true, 160}, {u"Description"_s, true, 160}, {u"Location"_s, true, 160}};
        const QByteArray html =
            report(disc, ReportBuilder::Html, discCols) + report(root, ReportBuilder::Html, groupCols);
        for (const char *escaped : {">&lt;b&gt;bold&lt;/b&gt;.txt<", ">\\&lt;dir&gt;\\<", ">&amp;nbsp;<", ">x&lt;y<",
                                    ">&quot;quoted&quot; &amp; &lt;i&gt;<", ">&lt;Root&gt; &amp; co<"})
            QVERIFY2(html.contains(escaped), escaped);
        QVERIFY(!html.contains("<b>bold") && !html.contains("& <i>"));
        QVERIFY(report(disc, ReportBuilder::Txt, discCols).contains("|<b>bold</b>.txt     |"));

        QCOMPARE(ReportBuilder::formForFileName(u"R.HtMl"_s), ReportBuilder::Html);
        QCOMPARE(ReportBuilder::formForFileName(u"r.htm"_s), ReportBuilder::Txt);
        QCOMPARE(ReportBuilder::formForFileName(u"r.html.txt"_s), ReportBuilder::Txt);
        QCOMPARE(ReportBuilder::formForFileName(u"a.html/report"_s), ReportBuilder::Txt);
    }

    void failuresAndProgress()
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
        const QString why = CabTestUtil::refusal([&] { report(bad, ReportBuilder::Txt, s, {}, {}, &bytes); });
        QCOMPARE(why, u"'12x' is not a valid integer value (the size of \"bad.txt\" in \"\\\" on disc \"Bad\")"_s);
        QVERIFY(bytes.contains("|good.txt"));
        QVERIFY(!bytes.contains("bad.txt"));
        QVERIFY_THROWS_EXCEPTION(QuilloryError, report(missing, ReportBuilder::Html, s));

        // A device that takes nothing.
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        ReportStream out(&readOnly);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, ReportBuilder(m_db, s, out).writeDocument(m_music, ReportBuilder::Txt));

        QList<QPair<qint64, qint64>> seen;
        report(m_tree.root(), ReportBuilder::Txt, defaults(ReportSettings::GroupReport), {},
               [&](qint64 done, qint64 total) {
                   seen.append({done, total});
               });
        QCOMPARE(seen.first(), (QPair<qint64, qint64>(0, 4)));
        QCOMPARE(seen.last(), (QPair<qint64, qint64>(4, 4)));
    }

    // TXT cells fit by the columns a text takes on a fixed-pitch line, so wide titles stay aligned.
    void fitsByColumns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<QString>("cell");
        QTest::newRow("latin") << u"abc"_s << 5 << false << u"abc  "_s;
        QTest::newRow("latin cut") << u"abcdef"_s << 4 << false << u"abcd"_s;
        QTest::newRow("japanese takes two each") << u"日本語"_s << 8 << false << u"日本語  "_s;
        QTest::newRow("wide char over the edge leaves a blank") << u"日本語"_s << 5 << false << u"日本 "_s;
        QTest::newRow("full-width latin") << u"ＡＢ"_s << 5 << false << u"ＡＢ "_s;
        QTest::newRow("hangul") << u"한국"_s << 4 << false << u"한국"_s;
        QTest::newRow("combining mark takes none") << u"e\u0301t\u00e9"_s << 4 << false << u"e\u0301t\u00e9 "_s;
        QTest::newRow("mark stays with its letter") << u"ae\u0301x"_s << 2 << false << u"ae\u0301"_s;
        // A character outside the 16-bit plane is never split into half a pair.
        QTest::newRow("wide surrogate pair") << u"a\U00020000b"_s << 2 << false << u"a "_s;
        QTest::newRow("centred wide") << u"中文"_s << 8 << true << u"  中文  "_s;
        QTest::newRow("centred odd surplus") << u"中文"_s << 7 << true << u"  中文 "_s;
    }
    void fitsByColumns()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(bool, centred);
        QFETCH(QString, cell);
        const QString got = centred ? ReportBuilder::FitCentre(text, width) : ReportBuilder::FitLeft(text, width);
        QCOMPARE(got, cell);
        QCOMPARE(TextWidth::of(got), width);
    }
};

QTEST_GUILESS_MAIN(TestReportBuilder)
#include "tst_reportbuilder.moc"
