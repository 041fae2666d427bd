#include "gui/AppDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The real boxes, not the scripted answers: what Enter answers, and how wide an input box is.
class TestAppDialogs : public QObject
{
    Q_OBJECT

    // Runs check on the modal box once it is up.
    template <typename Box> static void whenShown(const std::function<void(Box *)> &check)
    {
        QTimer::singleShot(0, qApp, [check] {
            auto *box = qobject_cast<Box *>(QApplication::activeModalWidget());
            QVERIFY(box);
            check(box);
        });
    }

private Q_SLOTS:
    void initTestCase() { AppDialogs::setScripted(false); }
    void cleanup() { AppDialogs::clearShown(); }

    void enterNeverSaysYesToADestructiveQuestion_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("answer");
        QTest::newRow("confirmation") << int(AppDialogs::Confirmation) << int(QMessageBox::No);
        QTest::newRow("warning") << int(AppDialogs::Warning) << int(QMessageBox::No);
        // The first-run offer of the sample catalogue adds; it keeps Yes.
        QTest::newRow("information") << int(AppDialogs::Information) << int(QMessageBox::Yes);
    }
    void enterNeverSaysYesToADestructiveQuestion()
    {
        QFETCH(int, kind);
        QFETCH(int, answer);
        whenShown<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(
            int(AppDialogs::message(nullptr, AppDialogs::Kind(kind), u"Delete group \"Music\"?"_s, AppDialogs::YesNo)),
            answer);
    }

    void inputBoxShowsItsCaptionAndAName()
    {
        const QString caption = u"Add Group to \"My Music Collection of the Nineties\""_s;
        int width = 0;
        int captionWidth = 0;
        int nameWidth = 0;
        whenShown<QInputDialog>([&](QInputDialog *box) {
            width = box->width();
            captionWidth = box->fontMetrics().horizontalAdvance(caption);
            QLineEdit *edit = box->findChild<QLineEdit *>();
            nameWidth = edit->width() - edit->fontMetrics().horizontalAdvance(u"Concerts and live recordings"_s);
            box->reject();
        });
        QString value;
        QVERIFY(!AppDialogs::inputBox(nullptr, caption, u"Group Name:"_s, value));
        QVERIFY2(width >= 300, qPrintable(QString::number(width)));
        QVERIFY2(width > captionWidth, qPrintable(u"%1 <= %2"_s.arg(width).arg(captionWidth)));
        QVERIFY2(nameWidth > 0, qPrintable(QString::number(nameWidth)));
        QCOMPARE(AppDialogs::shown().last().answer, u"Cancel"_s);
    }
};

QTEST_MAIN(TestAppDialogs)
#include "tst_appdialogs.moc"
