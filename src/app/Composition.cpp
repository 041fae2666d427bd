#include "Composition.h"

#include "HelpCommands.h"
#include "acquire/ui/DiscCommands.h"
#include "acquire/ui/VerifyCommands.h"
#include "backup/ui/BackupCommands.h"
#include "browser/ui/ContentsCommands.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "browser/ui/ExpandedGroups.h"
#include "browser/ui/FavouritesMenu.h"
#include "browser/ui/TMainForm.h"
#include "browser/ui/TreeCommands.h"
#include "browser/ui/TreePanel.h"
#include "compile/ui/CompilationPanel.h"
#include "compile/ui/CompileCommands.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/KeyboardContextMenu.h"
#include "listing/Navigator.h"
#include "reports/ui/ReportCommands.h"
#include "search/ui/DuplicateCommands.h"
#include "search/ui/SearchPanel.h"
#include "session/Workspace.h"
#include "settings/ui/SettingsCommands.h"
#include "settings/ui/SkinCommands.h"
#include "settings/ui/UpdateCommands.h"

Composition::Composition(const QString &dataFolder)
{
    m_workspace = std::make_unique<Workspace>(dataFolder, m_prompts);
    Workspace &ws = *m_workspace;
    // The navigator comes before any view of the tree, so it hears of removed nodes first.
    m_navigator = std::make_unique<Navigator>(ws.tree(), ws.discContents(), ws.dbFolder());
    Navigator &nav = *m_navigator;
    QObject::connect(&ws, &Workspace::opened, &nav, &Navigator::showRoot);

    m_window = std::make_unique<TMainForm>(ws, nav);
    TMainForm &window = *m_window;
    m_prompts.setParent(&window);
    QObject::connect(&nav, &Navigator::problem, &window,
                     [&window](const QString &text) { AppDialogs::message(&window, AppDialogs::Error, text); });

    new ReportCommands(ws, nav, window.actions(), &window);
    new TreeCommands(ws, nav, window);
    new ContentsCommands(ws, nav, window);
    new FavouritesMenu(ws, nav, window);
    new ExpandedGroups(ws, window.treePanel()->view());
    new SettingsCommands(ws, window.actions(), &window, window.positionSave());
    auto *discs = new DiscCommands(ws, nav, window.actions(), &window);
    new VerifyCommands(ws, nav, window.actions(), &window);
    new BackupCommands(ws, nav, window.actions(), &window);
    new HelpCommands(ws, window.actions(), &window);
    window.setSearchBand(new SearchPanel(ws, nav, window.actions()));
    new DuplicateCommands(ws, nav, window.actions(), &window);
    auto *compile = new CompileCommands(ws, nav, window.actions(), window.contentsPanel()->view(),
                                        window.contentsPanel()->view()->selectionModel(), discs->drive(), &window);
    window.setCompilationPanel(compile->panel());
    new UpdateCommands(ws, window.actions(), &window);
    // Last: it gives every control built so far its command icon.
    new SkinCommands(ws, &window);
    new KeyboardContextMenu(&window);

    // Whatever no controller runs yet is shown, but cannot be used.
    window.actions().disableUnclaimed();
}

Composition::~Composition() = default;
