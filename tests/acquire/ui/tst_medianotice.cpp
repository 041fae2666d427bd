// A media notice opens Add Disc by itself only for a disc that came into a removable or optical
// drive, and proposes that drive; a volume of the system's own, or a notice about something
// else, never opens it.
#include "ScanFixture.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/MediaWatcher.h"
#include "acquire/ui/DiscCommands.h"
#include "acquire/ui/TNewForm.h"
#include "gui/TBusyForm.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>

using namespace Qt::Literals::StringLiterals;

class TestMediaNotice : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void noticeOpensAddDisc_data()
    {
        QTest::addColumn<QString>("arriving");  // the drive whose medium comes, "" for a notice about none
        QTest::addColumn<bool>("questionOpen"); // a modal box waits for its answer
        QTest::addColumn<bool>("opens");

        QTest::newRow("disc in the optical drive") << "cd" << false << true;
        QTest::newRow("stick plugged in") << "stick" << false << true;
        QTest::newRow("system volume mounted") << "data" << false << false;
        QTest::newRow("notice about another device") << "" << false << false;
        // Seen at the first run: the dialog came up over the offer of the sample catalogue.
        QTest::newRow("disc while a question waits") << "cd" << true << false;
    }

    void noticeOpensAddDisc()
    {
        QFETCH(QString, arriving);
        QFETCH(bool, questionOpen);
        QFETCH(bool, opens);

        // The system's root comes first in the list, as it does on Linux.
        FolderVolumeBackend backend;
        QHash<QString, QString> texts;
        quint32 serial = 0x11110000;
        for (const auto &[name, kind] : {std::pair{u"root"_s, DriveKind::Fixed},
                                         {u"data"_s, DriveKind::Fixed},
                                         {u"cd"_s, DriveKind::CDROM},
                                         {u"stick"_s, DriveKind::Removable}}) {
            QVERIFY(ScanFixture::writeFile(m_fx.path(name) + u"/f.txt"_s, "f"));
            FolderVolume v = ScanFixture::volume(m_fx.path(name), ++serial, kind);
            v.present = name == u"root"_s;
            texts.insert(name, backend.addVolume(v));
        }
        VolumeBackend::setDefaultBackend(&backend);
        {
            TestWindow::Window f(m_fx.data());
            f->show();
            auto *commands = f.controller<DiscCommands>();
            commands->watcher()->setSettleTime(10);
            QDialog question(&f.form());
            question.setWindowModality(Qt::ApplicationModal);
            if (questionOpen)
                question.show();
            if (arriving.isEmpty())
                commands->watcher()->report(MediaWatcher::Event::Arrival);
            else
                backend.setPresent(texts.value(arriving), true);
            QTest::qWait(200); // the notice, after the watcher's settle time
            TNewForm *form = f->findChild<TNewForm *>();
            QCOMPARE(form && form->isVisible(), opens);
            if (opens) {
                QCOMPARE(form->findChild<QComboBox *>(u"DrivesBox"_s)->currentText(), texts.value(arriving));
                form->close();
            }
        }
        VolumeBackend::setDefaultBackend(nullptr);
    }
};

QTEST_MAIN(TestMediaNotice)
#include "tst_medianotice.moc"
