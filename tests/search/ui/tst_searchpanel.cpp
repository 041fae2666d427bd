// The search band in the real main window on a real catalogue, dialogs scripted.

#include "TestWindow.h"
#include "core/FormatSize.h"
#include "search/ui/SearchPanel.h"
#include "settings/Preferences.h"
#include "store/ContentsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

class TestSearchPanel : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;

    SearchPanel *panel() const { return m_f->form().findChild<SearchPanel *>(); }
    template <typename T> T *control(const QString &name) const { return panel()->findChild<T *>(name); }
    QWidget *tree() const { return m_f->form().findChild<QWidget *>(u"Tree"_s); }

    void search(const QString &mask)
    {
        control<QComboBox>(u"SearchEdit"_s)->setEditText(mask);
        control<QPushButton>(u"DoSearchButton"_s)->click();
    }
    // A group of three discs of 20,000 files each, for searches long enough to stop.
    void bigGroup()
    {
        const QString db = m_fx.db();
        TreeNode *g = m_f->tree().addChild(m_f->tree().root(), u"Big"_s, KindGroup);
        for (int d = 0; d < 3; ++d) {
            const TCD cd{.Title = u"Big %1"_s.arg(d), .Serial = u"B1G0000%1"_s.arg(d)};
            m_f->tree().addDisc(g, cd);
            TestCatalogue::packDisc(db, cd.Serial, [](ContentsListWriter &, ContentsListWriter &files) {
                for (int i = 0; i < 20000; ++i)
                    files.writeFileRecord(u"file%1.dat"_s.arg(i), u"\\"_s, 10, TestCatalogue::date(2020, 1, 1));
            });
        }
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }

    void init()
    {
        m_fx.init();
        m_fx.open();
    }
    void cleanup() { m_fx.cleanup(); }

    // A bound's controls are enabled by its box; a size keeps its last valid value.
    void theBounds()
    {
        m_f->action(u"Search1"_s)->trigger();
        QVERIFY(!panel()->isHidden());
        auto *number = control<QLineEdit>(u"StartSize"_s);
        QVERIFY(!number->isEnabled());
        control<QCheckBox>(u"LargerBox"_s)->setChecked(true);
        QVERIFY(number->isEnabled() && control<QWidget>(u"StartSizeBox"_s)->isEnabled());
        number->setText(u"3"_s);
        control<QComboBox>(u"StartSizeBox"_s)->setCurrentIndex(2);
        number->setText(u"-"_s);
        QCOMPARE(panel()->MinSize(), qint64(3) * 1048576);
        number->setText(u"-2"_s);
        QCOMPARE(panel()->MinSize(), qint64(-2) * 1048576);
        QCOMPARE(panel()->MaxSize(), 0);
        number->setText(u"8796093022208"_s); // 2^63 bytes: beyond any size, not wrapped round to below every one
        QCOMPARE(panel()->MinSize(), std::numeric_limits<qint64>::max());
        number->setText(u"-2"_s);
        // Only digits after an optional minus can be typed; a box left without a whole number
        // shows the number in use again.
        QTest::keyClicks(number, u"q"_s);
        QCOMPARE(number->text(), u"-2"_s);
        number->selectAll();
        QTest::keyClick(number, Qt::Key_Backspace);
        QCOMPARE(panel()->MinSize(), qint64(-2) * 1048576);
        QTest::keyClick(number, Qt::Key_Return);
        QCOMPARE(number->text(), u"-2"_s);
    }

    void searchListsHitsAsTheSearchResult()
    {
        search(u"mp3"_s);
        QCOMPARE(m_f->form().statusText(), u" 0 directories and 3 files found, total size 4.93 KB"_s);
        QCOMPARE(m_f->form().findChild<QLabel *>(u"NameLabel"_s)->text(), u"Search results..."_s);
        // A mask the history holds in another case is not added again; the newest comes first,
        // and the workspace has it at the close.
        // Tab passing through the tree leaves the result listed; a click on the tree lists its node.
        m_f->form().show();
        QVERIFY(QTest::qWaitForWindowActive(&m_f->form()));
        tree()->setFocus(Qt::TabFocusReason);
        QVERIFY(tree()->hasFocus() && m_f->nav().location().isSearchResult());
        control<QComboBox>(u"SearchEdit"_s)->setFocus(Qt::TabFocusReason);
        tree()->setFocus(Qt::MouseFocusReason);
        QVERIFY(!m_f->nav().location().isSearchResult());
        search(u"MP3"_s);
        search(u"pic"_s);
        QCOMPARE(panel()->history(), QStringList({u"pic"_s, u"mp3"_s}));
        // Enter searches for what was typed, not for a longer mask of the history.
        QLineEdit *mask = control<QComboBox>(u"SearchEdit"_s)->lineEdit();
        mask->setFocus();
        mask->clear();
        QTest::keyClicks(mask, u"m"_s);
        QTest::keyClick(mask, Qt::Key_Return);
        QCOMPARE(mask->text(), u"m"_s);
        QCOMPARE(panel()->history(), QStringList({u"m"_s, u"pic"_s, u"mp3"_s}));
        m_f->form().close();
        QCOMPARE(m_f->ws().searchHistory(), QStringList({u"m"_s, u"pic"_s, u"mp3"_s}));
    }

    // Whatever the search says instead of hits, the window stays usable for the next one.
    void messagesInsteadOfHits_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("listed");
        QTest::newRow("no result") << u"no such name"_s << 0 << u"Search did not give any result!"_s << true;
        QTest::newRow("two wildcards, declined")
            << u"*.*"_s << int(QMessageBox::No)
            << u"Using more than one wildcard can cause long search and many results. Proceed?"_s << false;
        QTest::newRow("invalid mask") << u"[x"_s << 0 << u"'[x' is an invalid mask at ("_s << true;
    }
    void messagesInsteadOfHits()
    {
        QFETCH(QString, mask);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, listed);
        if (answer)
            AppDialogs::pushAnswer(QMessageBox::StandardButton(answer));
        search(mask);
        QCOMPARE(AppDialogs::shown().size(), 1);
        QVERIFY2(AppDialogs::shown().first().text.startsWith(message), qPrintable(AppDialogs::shown().first().text));
        QCOMPARE(m_f->nav().location().isSearchResult(), listed);
        QVERIFY(tree()->isEnabled() && !panel()->isSearching());
        AppDialogs::clearShown();
        search(u"song"_s);
        QCOMPARE(m_f->captions(), QStringList({u"song.mp3"_s}));
    }

    void datePickersCarryTheirTimeOfDay()
    {
        // b.txt is dated 1 Feb 2024 09:00, A.mp3 the same day at 18:00; the pickers' 16:57:14
        // falls between them.
        control<QCheckBox>(u"YoungerBox"_s)->setChecked(true);
        control<QDateEdit>(u"EndDate"_s)->setDate(QDate(2024, 2, 1));
        control<QComboBox>(u"TypeBox"_s)->setCurrentIndex(1);
        search(u"."_s);
        QVERIFY(m_f->captions().contains(u"A.mp3"_s) && !m_f->captions().contains(u"b.txt"_s));
        control<QCheckBox>(u"YoungerBox"_s)->setChecked(false);
        control<QCheckBox>(u"OlderBox"_s)->setChecked(true);
        control<QDateEdit>(u"StartDate"_s)->setDate(QDate(2024, 2, 1));
        search(u"."_s);
        QVERIFY(m_f->captions().contains(u"b.txt"_s) && !m_f->captions().contains(u"A.mp3"_s));
    }

    // The limit of the preferences; then, from the tree's menu, the selected disc is the scope.
    void theLimitAndSearchHere()
    {
        m_f->ws().preferences().setUnlimited(false);
        m_f->ws().preferences().setMaxResults(4);
        search(QString());
        QCOMPARE(m_f->captions().size(), 4);
        QCOMPARE(m_f->form().findChild<QLabel *>(u"PathLabel"_s)->text(),
                 u"the first 4, the result limit set in Preferences"_s);
        m_f->ws().preferences().setUnlimited(true);
        m_f->nav().TreeChange(m_f->node(u"Rock Disc"_s));
        m_f->action(u"SearchHere2"_s)->trigger();
        QCOMPARE(control<QLabel>(u"SearchLabel"_s)->text(), u"Search mask (look in disc \"Rock Disc\"):"_s);
        search(u"p"_s);
        // A.mp3, pack.zip, deep.png, song.mp3, live.mp3; not the other disc's pic.jpg
        QCOMPARE(m_f->captions().size(), 5);
        QCOMPARE(m_f->form().findChild<QLabel *>(u"PathLabel"_s)->text(), QString());
    }

    void stopMidSearchLeavesNoUnpackedList()
    {
        bigGroup();
        m_f->nav().TreeChange(m_f->node(u"Big"_s));
        // Stop is pressed as soon as the search first lets the window handle events.
        QTimer::singleShot(0, control<QPushButton>(u"StopButton"_s), &QPushButton::click);
        search(QString());
        const int found = m_f->captions().size();
        QVERIFY(found > 0 && found < 60000);
        QCOMPARE(m_f->form().statusText(),
                 u" 0 directories and %1 files found, total size "_s.arg(found) + FormatSize(qint64(found) * 10));
        QVERIFY(tree()->isEnabled() && !control<QPushButton>(u"StopButton"_s)->isEnabled());
        const QDir db(m_fx.db());
        for (const QString &f : db.entryList(QDir::Files))
            QVERIFY2(!ContentsFile::isUnpackedList(f), qPrintable(f));
    }

    void theTreeChangingMidSearchDoesNotDisturbIt()
    {
        bigGroup();
        TreeNode *big = m_f->node(u"Big"_s);
        m_f->nav().TreeChange(big);
        // While the search lets the window run, the group's discs leave the tree.
        QTimer::singleShot(0, this, [this, big] {
            while (big->childCount())
                m_f->tree().removeNode(big->child(0));
        });
        search(u"file1"_s);
        QVERIFY(!panel()->isSearching());
        QCOMPARE(m_f->captions().size(), 3 * 11111);
    }
};

QTEST_MAIN(TestSearchPanel)
#include "tst_searchpanel.moc"
