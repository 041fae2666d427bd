// Verify Disc from the window, on a folder standing in for the drive that holds "Rock Disc":
// the differences listed with the summary, Switch to Location, the report saved, and the entry
// replaced only when the user says so, and Stop.
#include "ScanFixture.h"
#include "TestWindow.h"
#include "acquire/FolderVolumeBackend.h"
#include "acquire/ui/TVerifyForm.h"
#include "acquire/ui/VerifyCommands.h"
#include "gui/TBusyForm.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

class TestVerifyCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<FolderVolumeBackend> m_backend;

    static void click(QWidget *form, const QString &name) { form->findChild<QPushButton *>(name)->click(); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_fx.init();
        // Rock Disc as catalogued, but for its song, which is gone, and a new file.
        const QString cd = m_fx.path(u"cd"_s);
        const QDateTime when(QDate(2024, 3, 2), QTime(12, 0));
        QVERIFY(ScanFixture::writeFile(cd + u"/b.txt"_s, QByteArray(100, 'b'), QDateTime(QDate(2024, 2, 1), QTime(9, 0))));
        QVERIFY(ScanFixture::writeFile(cd + u"/ROCK/LIVE/live.mp3"_s, QByteArray(1000, 'l'),
                                       QDateTime(QDate(2024, 3, 1), QTime(12, 0))));
        QVERIFY(ScanFixture::writeFile(cd + u"/ROCK/new.txt"_s, "new", when));
        m_backend = std::make_unique<FolderVolumeBackend>();
        m_backend->addVolume(ScanFixture::volume(cd, 0x1A2B3C4D));
        VolumeBackend::setDefaultBackend(m_backend.get());
    }
    void cleanup()
    {
        m_fx.cleanup();
        VolumeBackend::setDefaultBackend(nullptr);
        m_backend.reset();
    }

    void differencesListedSwitchedToSavedAndTakenIn()
    {
        TestWindow::Window &f = m_fx.open();
        QVERIFY(!f.action(u"VerifyDisc1"_s)->isEnabled());
        // In the tree's menu of a disc, not of a group.
        QMenu *menu = f->actions().menu(u"TreeMenu"_s);
        QStringList offered;
        for (const QString &node : {u"Music"_s, u"Rock Disc"_s}) {
            QTimer::singleShot(0, menu, [&] {
                offered << node + u": "_s + (f.action(u"VerifyDisc2"_s)->isVisible() ? u"yes"_s : u"no"_s);
                menu->close();
            });
            f.nav().requestNodeMenu(f.node(node), QPoint(10, 10));
        }
        QCOMPARE(offered, (QStringList{u"Music: no"_s, u"Rock Disc: yes"_s}));
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        QVERIFY(f.action(u"VerifyDisc1"_s)->isEnabled());
        const QByteArray contentsBefore = [&] {
            QFile c(m_fx.db() + u"1A2B3C4D.dat"_s);
            return c.open(QIODevice::ReadOnly) ? c.readAll() : QByteArray();
        }();

        f.action(u"VerifyDisc1"_s)->trigger();
        TVerifyForm *form = f.controller<VerifyCommands>()->form();
        QVERIFY(form && form->isVisible());
        QVERIFY(f->findChild<TBusyForm *>()->findChild<QPushButton *>(u"StopButton"_s));
        QCOMPARE(form->windowTitle(), u"Verify Disc \"Rock Disc\""_s);
        auto *list = form->findChild<QTreeView *>(u"DifferencesList"_s);
        QStringList rows;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            rows << list->model()->index(r, 1).data().toString() + u' ' + list->model()->index(r, 0).data().toString() +
                        u' ' + list->model()->index(r, 2).data().toString();
        QCOMPARE(rows, (QStringList{u"missing A.mp3 Rock Disc:\\"_s, u"missing Docs Rock Disc:\\"_s,
                                    u"missing pack.zip Rock Disc:\\"_s, u"new new.txt Rock Disc:\\ROCK\\"_s,
                                    u"missing song.mp3 Rock Disc:\\ROCK\\"_s}));
        QCOMPARE(form->findChild<QLabel *>(u"SummaryLabel"_s)->text(),
                 u"2 files matched; 4 missing, 1 new, 0 changed, 0 corrupt, 0 unreadable."_s);
        QVERIFY(form->findChild<QLabel *>(u"VerifyHeader"_s)->text().contains(u"Contents could not be checked"_s));

        // Switch to Location: the disc and the folder become current in the main window.
        f.nav().TreeChange(f.node(u"Empty Group"_s));
        list->setCurrentIndex(list->model()->index(4, 0));
        click(form, u"SwitchButton"_s);
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
        QCOMPARE(f.nav().location().pathLabel, u"\\ROCK\\"_s);
        QVERIFY(f.captions().contains(u"song.mp3"_s));

        // The report as the command line prints it.
        const QString saved = m_fx.path(u"report.txt"_s);
        AppDialogs::pushFileName(saved);
        click(form, u"SaveButton"_s);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), form->report().text());

        // Verifying wrote nothing; "Update from this scan" does, once the user agrees.
        QFile c(m_fx.db() + u"1A2B3C4D.dat"_s);
        QVERIFY(c.open(QIODevice::ReadOnly));
        QCOMPARE(c.readAll(), contentsBefore);
        c.close();
        AppDialogs::pushAnswer(QMessageBox::No);
        click(form, u"UpdateButton"_s);
        QVERIFY(form->isVisible());
        AppDialogs::pushAnswer(QMessageBox::Yes);
        click(form, u"UpdateButton"_s);
        QVERIFY(!form->isVisible());
        QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));
        QCOMPARE(f.node(u"Rock Disc"_s)->parent(), f.node(u"Music"_s));
        f.nav().LoadCD(u"Rock Disc"_s, u"1A2B3C4D"_s, false, u"\\ROCK\\"_s);
        QCOMPARE(f.captions(), (QStringList{u".."_s, u"LIVE"_s, u"new.txt"_s}));
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(form->report().allMatched());

        // Stop: no results and no error box.
        form->close();
        AppDialogs::clearShown();
        QTimer::singleShot(0, f->findChild<TBusyForm *>()->findChild<QPushButton *>(u"StopButton"_s),
                           &QPushButton::click);
        f.action(u"VerifyDisc1"_s)->trigger();
        QVERIFY(!form->isVisible());
        QCOMPARE(AppDialogs::shownTexts(), QStringList());
    }
};

QTEST_MAIN(TestVerifyCommands)
#include "tst_verifycommands.moc"
