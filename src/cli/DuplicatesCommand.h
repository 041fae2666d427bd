#pragma once

#include "CliCommand.h"

class DuplicatesCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("duplicates"); }
    QString usage() const override { return QStringLiteral("duplicates [--in NODE] [--min-size N[KB|MB|GB]]"); }
    QString summary() const override
    {
        return QStringLiteral(
            "Finds files that are the same on the discs below NODE (a group or a disc title; default the root): of "
            "equal size and checksum where both have one, otherwise of equal name, size and date. One group a block: "
            "its size, copies and rule, then a line for each copy (a TAB, then Title:\\path\\name), then an empty "
            "line; the group wasting the most bytes first. The counts go to standard error.");
    }
    QString details() const override;
    int run(CliContext &ctx, const QStringList &args) override;
};
