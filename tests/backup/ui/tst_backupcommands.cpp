#include "CabTestUtil.h"
#include "TestCatalogue.h"
#include "TestWindow.h"
#include "backup/ui/BackupCommands.h"
#include "browser/ui/ContentsView.h"
#include "core/TextCodec.h"
#include "gui/TBusyForm.h"

#include <QDate>
#include <QTemporaryDir>

using namespace CabTestUtil;
using namespace Qt::Literals::StringLiterals;

class TestBackupCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return data() + u"DB/"_s; }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        TestWindow::reset(data());
        TestCatalogue::prepared(data());
    }
    void cleanup() { QCOMPARE(AppDialogs::pendingAnswers(), 0); }

    void exportThenImportRoundTrip()
    {
        const QString archive = m_dir->path() + u"/backup"_s;
        {
            TestWindow::Window f(data());
            f.tree().addChild(f.tree().root(), u"Added Before Export"_s, KindGroup);
            f.nav().TreeChange(f.node(u"Rock Disc"_s));
            AppDialogs::pushFileName(archive);
            f.action(u"ExportAllData1"_s)->trigger();
            QVERIFY(AppDialogs::shown().at(0).text.endsWith(u"Database Backup "_s +
                                                            QDate::currentDate().toString(u"dd-MM-yyyy"_s)));
            QCOMPARE(AppDialogs::shownTexts().last(), u"Export Database complete."_s);
            QVERIFY(!f.controller<BackupCommands>()->busyForm()->isVisible());
            QVERIFY(f->isEnabled());
            // The tree was read back; the disc is selected again.
            QCOMPARE(f.nav().currentNode(), f.node(u"Rock Disc"_s));

            // Change the catalogue, then bring the archive back.
            AppDialogs::pushAnswer(QMessageBox::Yes);
            f.action(u"Delete2"_s)->trigger();
            QVERIFY(!QFileInfo::exists(db() + u"1A2B3C4D.dat"_s));
            f->close();
        }
        AppDialogs::clearShown();
        TestWindow::Window f(data());
        QVERIFY(!f.node(u"Rock Disc"_s));
        AppDialogs::pushAnswer(QMessageBox::No);
        AppDialogs::pushFileName(archive + u".cab"_s);
        f.action(u"ImportDatabase1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().at(0).text, u"Quillory.cab"_s);
        QCOMPARE(AppDialogs::shown().at(1).kind, AppDialogs::Warning);
        QVERIFY(!f.node(u"Rock Disc"_s));
        f.action(u"Details1"_s)->trigger();
        AppDialogs::pushFileName(archive + u".cab"_s);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        f.action(u"ImportDatabase1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().at(2).text, archive + u".cab"_s); // the last file is proposed again
        // The import reloads the catalogue, not the preferences: the style chosen this run stays.
        QVERIFY(f.action(u"Details1"_s)->isChecked());
        QCOMPARE(AppDialogs::shownTexts().last(), u"Import Database complete."_s);
        QVERIFY(f.node(u"Added Before Export"_s));
        QCOMPARE(f.nav().currentNode(), f.tree().root());
        f.nav().TreeChange(f.node(u"Rock Disc"_s));
        QCOMPARE(f.nav().listing().count(), 6);

        // The core's refusals (here an archive over a catalogue file) reach the user, and
        // nothing changes.
        const QByteArray tree = readFile(db() + u"groups.tree"_s);
        AppDialogs::pushFileName(db() + u"groups.tree"_s);
        f.action(u"ExportAllData1"_s)->trigger();
        QCOMPARE(AppDialogs::shown().last().kind, AppDialogs::Error);
        QVERIFY2(AppDialogs::shownTexts().last().contains(u"inside the database folder"_s),
                 qPrintable(AppDialogs::shownTexts().last()));
        QCOMPARE(readFile(db() + u"groups.tree"_s), tree);
        QVERIFY(f->isEnabled());
    }
};

QTEST_MAIN(TestBackupCommands)
#include "tst_backupcommands.moc"
