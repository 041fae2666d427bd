#pragma once

#include "gui/DialogPrompts.h"

#include <QString>
#include <memory>

class Navigator;
class TMainForm;
class Workspace;

// The composition root: the workspace, the navigator, the main window and every controller
// that gives the window its commands. A new feature is one more line in the constructor.
class Composition
{
public:
    explicit Composition(const QString &dataFolder);
    ~Composition();

    Workspace &workspace() const { return *m_workspace; }
    Navigator &navigator() const { return *m_navigator; }
    TMainForm &window() const { return *m_window; }

private:
    DialogPrompts m_prompts;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<Navigator> m_navigator;
    std::unique_ptr<TMainForm> m_window;
};
