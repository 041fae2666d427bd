// The print types are named for what prints them on this platform: the HTML page goes through
// the browser's print dialog, the plain text straight to the printer.
#include "TestWindow.h"
#include "reports/ui/ReportCommands.h"
#include "reports/ui/TReportForm.h"

#include <QComboBox>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::Literals::StringLiterals;

class TestPrintTypes : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void printsByTheNamedType_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("dialogAsked");
        QTest::newRow("page") << u"Print using Web Browser"_s << true;
        QTest::newRow("text") << u"Print Plain Text"_s << false;
    }
    void printsByTheNamedType()
    {
        QFETCH(QString, type);
        QFETCH(bool, dialogAsked);
        TestWindow::Window f(m_fx.data());
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        f.action(u"Report1"_s)->trigger();
        TReportForm *form = f.controller<ReportCommands>()->form();
        QList<bool> asked;
        form->printer().setSetup([&](QPrinter &printer, bool askUser) {
            asked.append(askUser);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_fx.path(u"printed.pdf"_s));
            return true;
        });
        form->findChild<QRadioButton *>(u"RadioPrint"_s)->click();
        auto *types = form->findChild<QComboBox *>(u"PrintBox"_s);
        QVERIFY(types->findText(type) >= 0);
        types->setCurrentIndex(types->findText(type));
        form->findChild<QPushButton *>(u"OkButton"_s)->click();
        QCOMPARE(asked, QList<bool>{dialogAsked});
    }
};

QTEST_MAIN(TestPrintTypes)
#include "tst_printtypes.moc"
