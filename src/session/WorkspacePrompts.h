#pragma once

#include <QString>

// What opening and closing a catalogue must tell the user or ask: the window answers with
// message boxes, the command line with lines on standard error.
class WorkspacePrompts
{
public:
    virtual ~WorkspacePrompts() = default;
    virtual void information(const QString &text) = 0;
    virtual void warning(const QString &text) = 0;
    // A failure of a lower layer (a file that cannot be read or written).
    virtual void error(const QString &text) = 0;
    // An information box with Yes and No; true for Yes.
    virtual bool askYesNo(const QString &text) = 0;
    // A warning with Yes and No whose Yes gives the user's work up, so No is the default; true for Yes.
    virtual bool askBeforeLoss(const QString &text) = 0;
};
