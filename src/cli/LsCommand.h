#pragma once

#include "CliCommand.h"

class LsCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("ls"); }
    QString usage() const override { return QStringLiteral("ls DISC [FOLDER]"); }
    QString summary() const override
    {
        return QStringLiteral("Lists one folder of a catalogued disc (DISC a title or a serial; FOLDER such as "
                              "\\MUSIC\\ROCK\\, default \\): folders, then files, as name, type, size in bytes and "
                              "date separated by TABs.");
    }
    int run(CliContext &ctx, const QStringList &args) override;
};
