#pragma once

#include "CliCommand.h"

// verify DISC [ROOT]: the medium read again and compared with its catalogue entry, never written.
class VerifyCommand : public CliCommand
{
public:
    // The exit status when the medium differs from its entry.
    static constexpr int DifferencesFound = 3;

    QString name() const override { return QStringLiteral("verify"); }
    QString usage() const override { return QStringLiteral("verify DISC [ROOT]"); }
    QString summary() const override
    {
        return QStringLiteral("Reads a catalogued disc again and compares it with its entry: one line per "
                              "difference, the summary on standard error.");
    }
    QString details() const override;
    int run(CliContext &ctx, const QStringList &args) override;
};
