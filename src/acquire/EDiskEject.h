#pragma once

#include "core/QuilloryError.h"

// Raised by TDiskEject: "Could not eject disk!" or "No disk in drive!", the system's reason
// (a busy target) kept beside the text for the box that shows it.
class EDiskEject : public QuilloryError
{
public:
    explicit EDiskEject(QString text, QString reason = {}) : QuilloryError(std::move(text)), m_reason(std::move(reason))
    {
    }
    QString shownText() const { return m_reason.isEmpty() ? message() : message() + u'\n' + m_reason; }

private:
    QString m_reason;
};
