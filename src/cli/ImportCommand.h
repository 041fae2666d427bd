#pragma once

#include "CliCommand.h"

class ImportCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("import"); }
    QString usage() const override { return QStringLiteral("import FILE [--yes]"); }
    QString summary() const override
    {
        return QStringLiteral("Restores the catalogue from the cabinet FILE, all or nothing: its group tree and "
                              "contents files replace the files of the same name in DB, other files stay.");
    }
    QString details() const override
    {
        return QStringLiteral("  --yes   do not ask before overwriting (otherwise the answer is read from standard "
                              "input; y or yes goes on)");
    }
    CatalogueUse catalogueUse(const QStringList &) const override { return CatalogueUse::MayCreate; }
    int run(CliContext &ctx, const QStringList &args) override;
};
