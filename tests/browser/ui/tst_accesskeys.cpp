// Every menu and command of the window has an access key of its own within its menu, so the
// keyboard reaches all of them (once Alt+F, X did not exit), and keeps it when its caption is
// made while the program runs.
#include "TestWindow.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

using namespace Qt::Literals::StringLiterals;

class TestAccessKeys : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

    // The menu's items that must have a key, with the key or "none": the submenus and the
    // window's commands (not the lists of drives, skins and favourite places).
    static QStringList keysOf(const QMenu *menu, const ActionRegistry &registry)
    {
        QStringList keys;
        for (const QAction *a : menu->actions()) {
            if (a->isSeparator() || (!a->menu() && !registry.action(a->objectName())))
                continue;
            const QKeySequence key = QKeySequence::mnemonic(a->text());
            keys << (key.isEmpty() ? u"none: "_s + a->text() : key.toString());
        }
        return keys;
    }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void everyItemHasAKeyOfItsOwn()
    {
        const TestWindow::Window &f = m_fx.open();
        const ActionRegistry &registry = f.form().actions();
        QList<const QMenu *> menus;
        for (const QAction *top : f->menuBar()->actions()) {
            QVERIFY2(!QKeySequence::mnemonic(top->text()).isEmpty(), qPrintable(top->text()));
            menus << top->menu();
        }
        for (const char *name : {"TreeMenu", "EntryMenu", "BackgroundMenu", "FavoritesMenu", "ViewButtonMenu"})
            menus << registry.menu(QString::fromLatin1(name));
        for (qsizetype i = 0; i < menus.size(); ++i) {
            const QStringList keys = keysOf(menus.at(i), registry);
            QVERIFY2(!keys.join(u' ').contains(u"none"_s), qPrintable(menus.at(i)->objectName() + keys.join(u',')));
            QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), keys.size());
            for (const QAction *a : menus.at(i)->actions())
                if (a->menu())
                    menus << a->menu();
        }
    }

    void altFThenXExits()
    {
        TestWindow::Window &f = m_fx.open();
        QVERIFY(f.show());
        QTest::keyClick(&f.form(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_X);
        QTRY_VERIFY(!f->isVisible());
    }

    void madeCaptionsKeepTheirKey_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("an ampersand in a name")
            << u"Report1"_s << u"Create Report for group \"R&B\""_s << u"&Create Report for group \"R&&B\""_s;
        QTest::newRow("the letter in either case")
            << u"BorrowCD1"_s << u"Ann has returned disc"_s << u"Ann has re&turned disc"_s;
    }
    void madeCaptionsKeepTheirKey()
    {
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        TestWindow::Window &f = m_fx.open();
        f.form().actions().setCaption(action, text);
        QCOMPARE(f.action(action)->text(), caption);
    }
};

QTEST_MAIN(TestAccessKeys)
#include "tst_accesskeys.moc"
