// The report dialog in the window the program builds: how it opens, the column list's moves and
// widths, the colour boxes, saving (HTML or text by the name's extension) and printing to PDF.

#include "CabTestUtil.h"
#include "TestWindow.h"
#include "reports/ui/ColorShape.h"
#include "reports/ui/ReportCommands.h"
#include "reports/ui/TReportForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using CabTestUtil::readFile;

class TestReportCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    const QString &data() const { return m_fx.data(); }

    // The dialog for a node, opened with F7's action.
    static TReportForm *open(TestWindow::Window &f, const QString &node)
    {
        f.nav().TreeChange(f.node(node));
        f.action(u"Report1"_s)->trigger();
        TReportForm *form = f.controller<ReportCommands>()->form();
        if (form)
            form->setClock([] { return QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9)); });
        return form;
    }
    template <typename T> static T *control(TReportForm *form, const char *name)
    {
        return form->findChild<T *>(QString::fromLatin1(name));
    }
    static QStringList columns(const QList<ReportSettings::Column> &list)
    {
        QStringList out;
        for (const ReportSettings::Column &c : list)
            out.append(u"%1 %2 %3"_s.arg(c.name).arg(c.shown ? 1 : 0).arg(c.width));
        return out;
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void opensForTheSelectedDiscOrGroup()
    {
        TestWindow::Window f(data());
        f.tree().setKind(f.node(u"Rock Disc"_s), KindLent);
        TReportForm *form = open(f, u"Rock Disc"_s);
        QVERIFY(form && form->isVisible() && !f->isEnabled());
        QCOMPARE(form->windowTitle(), u"Create Report for disc \"Rock Disc\""_s);
        QVERIFY(control<QCheckBox>(form, "SubBox")->isHidden());
        QVERIFY(!control<QComboBox>(form, "PrintBox")->isEnabled());

        control<QPushButton>(form, "CancelButton")->click();
        QVERIFY(!form->isVisible() && f->isEnabled());
        QCOMPARE(QDir(data()).entryList(QDir::Files), QStringList());

        // For a group, with its sub-groups box.
        form = open(f, u"Music"_s);
        QCOMPARE(form->windowTitle(), u"Create Report for group \"Music\""_s);
        QVERIFY(!control<QCheckBox>(form, "SubBox")->isHidden());
        form->close();
    }

    void columnsMoveWithTheirMarksAndWidths()
    {
        TestWindow::Window f(data());
        TReportForm *form = open(f, u"Rock Disc"_s);
        auto *list = control<QTreeWidget>(form, "ColumnList");
        auto *width = control<QSpinBox>(form, "WidthEdit");
        auto *up = control<QPushButton>(form, "UpButton");
        auto *down = control<QPushButton>(form, "DownButton");
        width->setValue(300);
        down->click();
        down->click();
        list->currentItem()->setCheckState(0, Qt::Unchecked);
        QCOMPARE(columns(form->settings().columns).first(4),
                 (QStringList{u"Type 1 160"_s, u"Size 1 160"_s, u"Name 0 300"_s, u"Path 0 160"_s}));
        QVERIFY(up->isEnabled());
        // Selecting a column shows its width; the buttons stop at the ends.
        list->setCurrentItem(list->topLevelItem(11));
        QVERIFY(!down->isEnabled());

        // A width counts as it is typed, held within 10 to 999, and the box shows the held
        // value once it is left.
        list->setCurrentItem(list->topLevelItem(0));
        width->selectAll();
        QTest::keyClicks(width, u"5"_s);
        QCOMPARE(form->settings().columns.at(0).width, 10);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(width, &out);
        QCOMPARE(width->text(), u"10"_s);
        width->selectAll();
        QTest::keyClicks(width, u"1234"_s);
        QCOMPARE(form->settings().columns.at(0).width, 123);

        form->close();
    }

    void colourBoxesAskForAColour()
    {
        TestWindow::Window f(data());
        TReportForm *form = open(f, u"Music"_s);
        QList<QColor> offered;
        QList<QColor> answers{QColor(1, 2, 3), QColor(), QColor(4, 5, 6)};
        form->setColourChooser([&](const QColor &initial, QWidget *) {
            offered.append(initial);
            return answers.takeFirst();
        });
        QTest::mouseClick(control<ColorShape>(form, "HeaderShape"), Qt::LeftButton);
        QTest::mouseClick(control<ColorShape>(form, "BgShape"), Qt::LeftButton); // cancelled
        QCOMPARE(offered, (QList<QColor>{QColor(156, 156, 198), QColor(237, 237, 245)}));
        QCOMPARE(form->settings().colours.header, 0x010203u);
        QCOMPARE(form->settings().colours.background, 0xEDEDF5u);
        // From the keyboard too: Tab reaches a box, Space asks.
        auto *border = control<ColorShape>(form, "BorderShape");
        QCOMPARE(border->focusPolicy(), Qt::StrongFocus);
        QTest::keyClick(border, Qt::Key_Space);
        QCOMPARE(offered.size(), 3);
        QCOMPARE(form->settings().colours.border, 0x040506u);
        form->close();
    }

    void savedAsHtmlOnlyForDotHtml()
    {
        TestWindow::Window f(data());
        TReportForm *form = open(f, u"Rock Disc"_s);
        const QString base = m_fx.path(u"Rock Disc Report"_s);
        AppDialogs::pushFileName(base + u".html"_s);
        control<QPushButton>(form, "OpenButton")->click();
        QCOMPARE(AppDialogs::shown().last().text, u"Rock Disc Report"_s);
        auto *file = control<QLineEdit>(form, "FileEdit");
        control<QPushButton>(form, "OkButton")->click();
        QCOMPARE(AppDialogs::shown().last().text, u"Report created succesfully!"_s);
        QVERIFY(!form->isVisible() && f->isEnabled());
        const QByteArray html = readFile(base + u".html"_s);
        QVERIFY(html.startsWith("<html>") && html.contains(">A.mp3</font></td>"));

        // A name without a folder lands in the current folder; the time box is followed.
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(m_fx.dir->path());
        form = open(f, u"Music"_s);
        QCOMPARE(file->text(), base + u".html"_s); // the name is kept for the run
        file->setText(u"group.txt"_s);
        control<QCheckBox>(form, "TimeBox")->setChecked(false);
        control<QPushButton>(form, "OkButton")->click();
        QDir::setCurrent(cwd);
        const QByteArray text = readFile(m_fx.path(u"group.txt"_s));
        QVERIFY(text.startsWith("Report for group \"Music\".") && text.endsWith(QByteArray(64, '-')));
    }

    void badNamesAndBrokenDiscsKeepTheDialogOpen()
    {
        TestWindow::Window f(data());
        TReportForm *form = open(f, u"Photos Disc"_s);
        auto *file = control<QLineEdit>(form, "FileEdit");
        file->setText(m_fx.path(u"missing/r.txt"_s));
        control<QPushButton>(form, "OkButton")->click();
        QCOMPARE(AppDialogs::shownTexts(),
                 QStringList{u"Invalid file name! %1 cannot be created: %2."_s.arg(
                     m_fx.path(u"missing/r.txt"_s), QString::fromLocal8Bit(strerror(ENOENT)))});
        QVERIFY(form->isVisible() && !f->isEnabled());
        // A disc whose contents are gone: the error is shown and no half report is left.
        QVERIFY(QFile::remove(data() + u"DB/5E6F7081.dat"_s));
        AppDialogs::clearShown();
        file->setText(m_fx.path(u"r.txt"_s));
        control<QPushButton>(form, "OkButton")->click();
        QCOMPARE(AppDialogs::shown().size(), 1);
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Error);
        QVERIFY(!QFileInfo::exists(m_fx.path(u"r.txt"_s)));
        QVERIFY(form->isVisible());
    }

    void printsBothFormsToPdf()
    {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed; scripts/install-deps installs it");
        TestWindow::Window f(data());
        const QString pdf = m_fx.path(u"printed.pdf"_s);
        // Each print type is named for what prints it here: the page goes through the
        // browser's print dialog, the plain text straight to the printer.
        for (const QString &type : {u"Print using Web Browser"_s, u"Print Plain Text"_s}) {
            const bool page = type.contains(u"Web Browser"_s);
            TReportForm *form = open(f, u"Rock Disc"_s);
            QList<bool> asked;
            form->printer().setSetup([&](QPrinter &printer, bool askUser) {
                asked.append(askUser);
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(pdf);
                // The page is written while this runs; it goes once printed.
                if (!QFileInfo::exists(data() + u"temp.html"_s))
                    asked.append(false);
                return true;
            });
            // Every column: wider than the paper, yet printed side by side, none cut off or wrapped.
            auto *columns = control<QTreeWidget>(form, "ColumnList");
            for (int i = 0; i < columns->topLevelItemCount(); ++i)
                columns->topLevelItem(i)->setCheckState(0, Qt::Checked);
            control<QRadioButton>(form, "RadioPrint")->click();
            QVERIFY(!control<QLineEdit>(form, "FileEdit")->isEnabled());
            auto *types = control<QComboBox>(form, "PrintBox");
            QVERIFY2(types->findText(type) >= 0, qPrintable(type));
            types->setCurrentIndex(types->findText(type));
            control<QPushButton>(form, "OkButton")->click();
            QCOMPARE(asked, QList<bool>{page});
            QVERIFY(!QFileInfo::exists(data() + u"temp.html"_s));
            QVERIFY(!form->isVisible() && AppDialogs::shown().isEmpty());

            QVERIFY(runProgram(u"pdfinfo"_s, {pdf}).out.contains("Quillory! Report"));
            const QString text = QString::fromUtf8(runProgram(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}).out);
            QVERIFY2(text.contains(u"A.mp3"_s) && text.contains(u"Created with Quillory! on 05/03/2025. at 14:07:09"_s),
                     qPrintable(text));
            // The text form stays aligned when printed: monospace, every cell twenty characters.
            if (!page)
                QVERIFY2(text.contains(u"|        Name        |        Type        |        Size        |"_s),
                         qPrintable(text));
            QVERIFY2(QRegularExpression(u"Name.*Type.*Size.*Path.*Date.*Title.*Height"_s).match(text).hasMatch(),
                     qPrintable(text));
            QFile::remove(pdf);
        }
    }
};

QTEST_MAIN(TestReportCommands)
#include "tst_reportcommands.moc"
