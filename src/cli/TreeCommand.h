#pragma once

#include "CliCommand.h"

class TreeCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("tree"); }
    QString usage() const override { return QStringLiteral("tree"); }
    QString summary() const override
    {
        return QStringLiteral("Prints the group tree: groups by name, discs as Title, Serial, FileSystem, Size and "
                              "BorrowedTo separated by TABs.");
    }
    int run(CliContext &ctx, const QStringList &args) override;
};
