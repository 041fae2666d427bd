#include "TestCatalogue.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "session/Workspace.h"
#include "session/WorkspacePrompts.h"
#include "settings/Preferences.h"
#include "store/Catalogue.h"

#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace
{
// Records what the workspace says and answers its question.
struct RecordingPrompts : WorkspacePrompts {
    QStringList said;
    bool answer = false;
    void information(const QString &text) override { said.append(u"info: "_s + text); }
    void warning(const QString &text) override { said.append(u"warning: "_s + text); }
    void error(const QString &text) override { said.append(u"error: "_s + text); }
    bool askYesNo(const QString &text) override
    {
        said.append(u"ask: "_s + text);
        return answer;
    }
};
} // namespace

class TestWorkspace : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString data() const { return m_dir->path() + u"/data/"_s; }
    QString db() const { return data() + u"DB/"_s; }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QFile::remove(DataPaths::settingsFile(data()));
    }

    // The sample is offered once, before anything else is read; a Yes reads the catalogue
    // from it, and the preferences are read once only.
    void firstRunWithTheSample()
    {
        QDir().mkpath(data());
        QVERIFY(QFile::copy(QStringLiteral(QUILLORY_SOURCE_DIR "/share/sample.cab"), data() + u"sample.cab"_s));
        RecordingPrompts prompts;
        prompts.answer = true;
        Workspace ws(data(), prompts);
        QSignalSpy prefs(&ws, &Workspace::preferencesLoaded);
        QSignalSpy opened(&ws, &Workspace::opened);
        ws.open();
        QCOMPARE(prompts.said, QStringList{u"ask: Welcome to Quillory! Do you want to import sample database?"_s});
        QVERIFY(FindGroup(ws.tree().root(), u"Music"_s));
        QCOMPARE(prefs.size(), 1);
        QCOMPARE(opened.size(), 1);
        ws.reopen();
        QCOMPARE(prefs.size(), 1);
        QCOMPARE(prompts.said.size(), 1);
    }

    void closeWritesPreferencesHistoryAndTree()
    {
        TestCatalogue::prepared(data());
        TextCodec::writeLines(data() + u"search.dat"_s, {u"*.mp3"_s});
        RecordingPrompts prompts;
        {
            Workspace ws(data(), prompts);
            ws.open();
            QVERIFY(!ws.isReadOnly());
            QCOMPARE(ws.searchHistory(), QStringList{u"*.mp3"_s});
            QSignalSpy closing(&ws, &Workspace::aboutToClose);
            connect(&ws, &Workspace::aboutToClose, &ws, [&ws] { ws.preferences().setTreeWidth(123); });
            ws.setSearchHistory({u"*.ogg"_s, u"*.mp3"_s});
            ws.tree().addChild(ws.tree().root(), u"New Group"_s, KindGroup);
            ws.close();
            ws.close(); // once only
            QCOMPARE(closing.size(), 1);
            QVERIFY(ws.stopRequested());
        }
        QVERIFY(prompts.said.isEmpty());
        QCOMPARE(TextCodec::readLines(data() + u"search.dat"_s), (QStringList{u"*.ogg"_s, u"*.mp3"_s}));
        QVERIFY(TextCodec::readLines(db() + u"groups.tree"_s).contains(u"\tNew Group"_s));
        QSettings s(DataPaths::settingsFile(data()), QSettings::IniFormat);
        QCOMPARE(s.value(u"TreeWidth"_s).toInt(), 123);
    }

    // A second program on the same catalogue, the window's way (read-only, told) and the
    // command line's way (refused).
    void aSecondOwnerWritesNothing()
    {
        TestCatalogue::prepared(data());
        RecordingPrompts prompts;
        Workspace first(data(), prompts);
        first.open();
        Workspace second(data(), prompts);
        second.open();
        QVERIFY(second.isReadOnly());
        QCOMPARE(prompts.said.size(), 1);
        QVERIFY(prompts.said.first().startsWith(u"warning: The catalogue is in use by another Quillory! program"_s));
        QCOMPARE(second.tree().root()->childCount(), 3); // still shown
        second.tree().addChild(second.tree().root(), u"Stray"_s, KindGroup);
        second.setSearchHistory({u"stray"_s});
        second.close();
        QVERIFY(!TextCodec::readLines(db() + u"groups.tree"_s).join(u'\n').contains(u"Stray"_s));
        QVERIFY(!QFileInfo::exists(data() + u"search.dat"_s));

        Workspace cli(data(), prompts);
        QVERIFY_THROWS_EXCEPTION(QuilloryError, cli.lock());
    }

    // An interrupted save of the tree leaves the old file, and the session goes on.
    void interruptedSaveKeepsTheOldTree()
    {
        TestCatalogue::prepared(data());
        const QStringList before = TextCodec::readLines(db() + u"groups.tree"_s);
        RecordingPrompts prompts;
        Workspace ws(data(), prompts);
        ws.open();
        ws.tree().addChild(ws.tree().root(), u"Lost"_s, KindGroup);
        TextCodec::setBeforeCommitHook([](const QString &path) {
            if (path.endsWith(u"groups.tree"_s))
                throw QuilloryError(u"disk full"_s);
        });
        ws.close();
        TextCodec::setBeforeCommitHook({});
        QCOMPARE(prompts.said.size(), 1);
        QVERIFY(prompts.said.first().startsWith(u"error: "_s));
        QCOMPARE(TextCodec::readLines(db() + u"groups.tree"_s), before);
    }
};

QTEST_MAIN(TestWorkspace)
#include "tst_workspace.moc"
