#pragma once

#include "CliCommand.h"

class DrivesCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("drives"); }
    QString usage() const override { return QStringLiteral("drives"); }
    QString summary() const override
    {
        return QStringLiteral("Lists the drives that can hold a disc, one per line: text, type, present or empty, "
                              "label, serial, file system and total bytes, separated by TABs.");
    }
    CatalogueUse catalogueUse(const QStringList &) const override { return CatalogueUse::None; }
    int run(CliContext &ctx, const QStringList &args) override;
};
