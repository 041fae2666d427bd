// Waiting for a catalogued disc: the prompt, OK to look again, Cancel to give up.
#include "ScanFixture.h"
#include "acquire/FolderVolumeBackend.h"
#include "gui/AppDialogs.h"
#include "gui/WaitForCD.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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

class TestWaitForCD : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { AppDialogs::setScripted(true); }
    void init()
    {
        AppDialogs::clearShown();
        AppDialogs::clearAnswers();
    }
    void cleanup() { QCOMPARE(AppDialogs::pendingAnswers(), 0); }

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

QTEST_MAIN(TestWaitForCD)
#include "tst_waitforcd.moc"
