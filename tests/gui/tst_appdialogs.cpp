#include "ScanFixture.h"
#include "acquire/FolderVolumeBackend.h"
#include "gui/AppDialogs.h"
#include "gui/WaitForCD.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{

// The user puts the disc in while the prompt is up: the medium appears once the drives have been
// looked at a given number of times.
class InsertingBackend : public FolderVolumeBackend
{
public:
    QString root;
    int insertAfter = 1;
    int looks = 0;

    QList<DriveEntry> drives() override
    {
        if (looks++ == insertAfter)
            setPresent(root, true);
        return FolderVolumeBackend::drives();
    }
};

const QString Prompt = u"Please insert disc labeled \"Holiday 2003\" into CD-Drive and press OK."_s;

} // namespace

// The real boxes, not the scripted answers: what Enter answers, and how wide an input box is;
// and, with the answers scripted, waiting for a catalogued disc: the prompt, OK to look again,
// Cancel to give up.
class TestAppDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

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
    void init()
    {
        AppDialogs::setScripted(false);
        AppDialogs::clearShown();
        AppDialogs::clearAnswers();
    }
    void cleanup() { QCOMPARE(AppDialogs::pendingAnswers(), 0); }

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

    // The disc put in after some looks at the drives (-1: never), the answers to the prompt; the
    // drive found (empty for none) and the prompts shown.
    void waits_data()
    {
        QTest::addColumn<int>("insertAfter");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("found");
        QTest::newRow("already in, no prompt") << 0 << QList<int>() << true;
        QTest::newRow("OK looks again until it is in") << 2 << QList<int>{QMessageBox::Ok, QMessageBox::Ok} << true;
        QTest::newRow("Cancel gives up") << -1 << QList<int>{QMessageBox::Cancel} << false;
    }
    void waits()
    {
        QFETCH(int, insertAfter);
        QFETCH(QList<int>, answers);
        QFETCH(bool, found);
        AppDialogs::setScripted(true);
        InsertingBackend backend;
        backend.root = backend.addVolume(ScanFixture::volume(m_dir.path(), 0x2A2A2A2A));
        backend.setPresent(backend.root, false);
        backend.insertAfter = insertAfter;
        for (const int a : answers)
            AppDialogs::pushAnswer(QMessageBox::StandardButton(a));
        QCOMPARE(WaitForCD(nullptr, u"2A2A2A2A"_s, u"Holiday 2003"_s, &backend), found ? backend.root : QString());
        QCOMPARE(AppDialogs::shownTexts(), QStringList(answers.size(), Prompt));
        for (const AppDialogs::Shown &box : AppDialogs::shown())
            QCOMPARE(box.kind, AppDialogs::Information);
    }
};

QTEST_MAIN(TestAppDialogs)
#include "tst_appdialogs.moc"
