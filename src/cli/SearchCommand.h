#pragma once

#include "CliCommand.h"

class SearchCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("search"); }
    QString usage() const override
    {
        return QStringLiteral("search [MASK] [--in NODE] [--category N] [--larger N[KB|MB|GB]] [--smaller N[KB|MB|GB]] "
                              "[--newer DATE[THH:MM:SS]] [--older DATE[THH:MM:SS]] [--limit N]");
    }
    QString summary() const override
    {
        return QStringLiteral("Finds folders and files in every disc below NODE (a group or a disc title; default "
                              "the root), one line each: name, type, location, size in bytes and date separated by "
                              "TABs; the count and total size go to standard error.");
    }
    QString details() const override;
    int run(CliContext &ctx, const QStringList &args) override;
};
