#include "DialogPrompts.h"

#include "AppDialogs.h"

void DialogPrompts::information(const QString &text)
{
    AppDialogs::message(m_parent, AppDialogs::Information, text);
}

void DialogPrompts::warning(const QString &text)
{
    AppDialogs::message(m_parent, AppDialogs::Warning, text);
}

void DialogPrompts::error(const QString &text)
{
    AppDialogs::showError(m_parent, text);
}

bool DialogPrompts::askYesNo(const QString &text)
{
    return AppDialogs::message(m_parent, AppDialogs::Information, text, AppDialogs::YesNo) == QMessageBox::Yes;
}

bool DialogPrompts::askBeforeLoss(const QString &text)
{
    // A warning's Yes and No: No is the default, so Enter keeps the window and the changes.
    return AppDialogs::message(m_parent, AppDialogs::Warning, text, AppDialogs::YesNo) == QMessageBox::Yes;
}
