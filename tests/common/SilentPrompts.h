#pragma once

#include "session/Workspace.h"
#include "session/WorkspacePrompts.h"

// A workspace's questions and messages with nobody to see them: every question is answered no.
class SilentPrompts : public WorkspacePrompts
{
public:
    void information(const QString &) override {}
    void warning(const QString &) override {}
    void error(const QString &) override {}
    bool askYesNo(const QString &) override { return false; }
    bool askBeforeLoss(const QString &) override { return false; }
};
