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

    void aDiscAlreadyInIsFoundWithoutAPrompt()
    {
        FolderVolumeBackend backend;
        const QString root = backend.addVolume(ScanFixture::volume(m_dir.path(), 0x2A2A2A2A));
        QCOMPARE(WaitForCD(nullptr, u"2A2A2A2A"_s, u"Holiday 2003"_s, &backend), root);
        QVERIFY(AppDialogs::shown().isEmpty());
    }

    void cancelGivesNothing()
    {
        FolderVolumeBackend backend;
        backend.addVolume(ScanFixture::volume(m_dir.path(), 0x2A2A2A2A));
        AppDialogs::pushAnswer(QMessageBox::Cancel);
        QCOMPARE(WaitForCD(nullptr, u"2A2A2A2B"_s, u"Holiday 2003"_s, &backend), QString());
        QCOMPARE(AppDialogs::shown().size(), 1);
        const AppDialogs::Shown box = AppDialogs::shown().first();
        QCOMPARE(box.kind, AppDialogs::Information);
        QCOMPARE(box.text, Prompt);
        QCOMPARE(box.answer, u"Cancel"_s);
    }

    void okLooksAgainUntilTheDiscIsIn()
    {
        InsertingBackend backend;
        backend.root = backend.addVolume(ScanFixture::volume(m_dir.path(), 0x2A2A2A2A));
        backend.setPresent(backend.root, false);
        backend.insertAfter = 2; // in after the second prompt
        AppDialogs::pushAnswer(QMessageBox::Ok);
        AppDialogs::pushAnswer(QMessageBox::Ok);
        QCOMPARE(WaitForCD(nullptr, u"2A2A2A2A"_s, u"Holiday 2003"_s, &backend), backend.root);
        QCOMPARE(AppDialogs::shownTexts(), QStringList({Prompt, Prompt}));
    }
};

QTEST_MAIN(TestWaitForCD)
#include "tst_waitforcd.moc"
