// What the window's commands tell about their keys: a tool button's hint names the key that runs
// the command (once "About (F2)" named the key that renames).
#include "gui/ActionRegistry.h"

#include <QAction>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

class TestActionKeys : public QObject
{
    Q_OBJECT

    QWidget m_window;
    ActionRegistry m_actions{&m_window};

private Q_SLOTS:
    void hintsNameTheCommandsOwnKey_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("hint");
        QTest::newRow("F10, not Preferences' F11") << u"ToggleObjectInfo1"_s << u"Toggle Object Info (F10)"_s;
        QTest::newRow("no key, not rename's F2") << u"About1"_s << u"About"_s;
        QTest::newRow("modifier") << u"Delete1"_s << u"Delete Object (Shift + Del)"_s;
        QTest::newRow("the list's key") << u"BackButton"_s << u"Go Up (Backspace)"_s;
    }
    void hintsNameTheCommandsOwnKey()
    {
        QFETCH(QString, action);
        QFETCH(QString, hint);
        QCOMPARE(m_actions.action(action)->toolTip(), hint);
    }
};

QTEST_MAIN(TestActionKeys)
#include "tst_actionkeys.moc"
