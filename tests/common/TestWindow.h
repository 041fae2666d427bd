#pragma once

// The main window as the program builds it, on a catalogue in a test folder, with the
// dialogs scripted. Shared by the window tests.

#include "TestCatalogue.h"
#include "app/Composition.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/TMainForm.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "listing/Navigator.h"
#include "session/Workspace.h"
#include "store/DataPaths.h"
#include "store/GroupTree.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace TestWindow
{

// For initTestCase: private paths, a fixed locale, every dialog answered by the test. The
// settings file lives under the home folder, which test mode shares between all test programs;
// each program gets a home of its own so that tests running side by side never meet.
inline void setUp()
{
    static QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    AppDialogs::setScripted(true);
}

// For init: no settings left from another test, no boxes or answers either.
inline void reset(const QString &dataFolder)
{
    QFile::remove(DataPaths::settingsFile(dataFolder));
    AppDialogs::clearShown();
    AppDialogs::clearAnswers();
}

// A named control a test goes on to use: its absence ends the test program with the name.
template <typename T = QWidget> T *child(const QObject *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}
inline void click(const QObject *parent, const QString &name)
{
    child<QAbstractButton>(parent, name)->click();
}

struct Window {
    std::unique_ptr<Composition> app;

    // Built and initialised as the splash does it.
    explicit Window(const QString &dataFolder) : app(std::make_unique<Composition>(dataFolder))
    {
        app->window().FormCreate(nullptr);
    }
    TMainForm *operator->() const { return &app->window(); }
    TMainForm &form() const { return app->window(); }
    Navigator &nav() const { return app->navigator(); }
    Workspace &ws() const { return app->workspace(); }
    GroupTree &tree() const { return app->workspace().tree(); }
    QAction *action(const QString &name) const { return form().actions().action(name); }
    template <typename T> T *controller() const { return form().findChild<T *>(); }
    // On screen, for the tests that click at places in it.
    bool show() const
    {
        form().resize(800, 600);
        form().show();
        return QTest::qWaitForWindowExposed(&form());
    }

    TreeNode *node(const QString &name) const { return FindGroup(tree().root(), name); }
    QStringList captions() const
    {
        QStringList out;
        for (int r = 0; r < nav().listing().count(); ++r)
            out.append(nav().listing().caption(r));
        return out;
    }
    int row(const QString &caption) const { return captions().indexOf(caption); }
    ContentsView *view() const { return form().contentsPanel()->view(); }
    // Selects the list's entries with these captions, and only them.
    void select(const QStringList &captions) const
    {
        QItemSelectionModel *selection = view()->selectionModel();
        selection->clearSelection();
        for (const QString &c : captions) {
            QVERIFY2(row(c) >= 0, qPrintable(c));
            selection->select(selection->model()->index(row(c), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
};

// The set-up most window tests share, called from the test's own init() and cleanup(): a data
// folder in a fresh temporary folder holding the prepared catalogue, no settings or dialogs left
// from another test, and at the end no scripted answer left unused.
struct Fixture {
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Window> window;
    QString dataFolder;

    const QString &data() const { return dataFolder; }
    QString db() const { return DataPaths::dbFolder(data()); }
    QString path(const QString &name) const { return dir->path() + u'/' + name; }

    void init(bool prepare = true)
    {
        window.reset();
        dir = std::make_unique<QTemporaryDir>();
        dataFolder = dir->path() + QStringLiteral("/data/");
        reset(data());
        if (prepare)
            TestCatalogue::prepared(data());
    }
    Window &open()
    {
        window.reset();
        window = std::make_unique<Window>(data());
        return *window;
    }
    void cleanup()
    {
        window.reset();
        QCOMPARE(AppDialogs::pendingAnswers(), 0);
    }
};

} // namespace TestWindow
