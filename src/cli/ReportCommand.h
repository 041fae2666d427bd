#pragma once

#include "CliCommand.h"

class ReportCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("report"); }
    QString usage() const override
    {
        return QStringLiteral("report (--disc NAME | --group NAME) [--html] [--columns A,B,C] [--widths N,N,N] "
                              "[--recurse] [--no-time] -o FILE");
    }
    QString summary() const override
    {
        return QStringLiteral("Writes the report of a disc (one row per file) or of a group (one row per disc) to "
                              "FILE, as the Create Report dialog saves it.");
    }
    QString details() const override;
    int run(CliContext &ctx, const QStringList &args) override;
};
