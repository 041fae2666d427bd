#pragma once

#include "session/WorkspacePrompts.h"

#include <QPointer>
#include <QWidget>

// The workspace's messages as the window's message boxes.
class DialogPrompts : public WorkspacePrompts
{
public:
    explicit DialogPrompts(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    void information(const QString &text) override;
    void warning(const QString &text) override;
    void error(const QString &text) override;
    bool askYesNo(const QString &text) override;
    bool askBeforeLoss(const QString &text) override;

private:
    QPointer<QWidget> m_parent;
};
