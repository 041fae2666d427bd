#pragma once

#include "CliCommand.h"

class ExportCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("export"); }
    QString usage() const override { return QStringLiteral("export FILE"); }
    QString summary() const override
    {
        return QStringLiteral("Saves the group tree, then writes the whole catalogue (contents files and "
                              "\"groups.tree\") into the cabinet FILE. Prints nothing on success.");
    }
    int run(CliContext &ctx, const QStringList &args) override;
};
