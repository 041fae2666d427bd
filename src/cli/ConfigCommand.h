#pragma once

#include "CliCommand.h"

class ConfigCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("config"); }
    QString usage() const override
    {
        return QStringLiteral("config get [NAME] | config set NAME VALUE | config exclusions [--clear | MASK...]");
    }
    QString summary() const override
    {
        return QStringLiteral("Reads or writes a preference by its stored name (\"Filter 6\", \"EmptyFiles\", "
                              "\"MaxResults\"), or prints or replaces the scan exclusion list.");
    }
    QString details() const override;
    // The preferences live outside the catalogue; the exclusion list lives in the data folder.
    CatalogueUse catalogueUse(const QStringList &args) const override
    {
        if (args.value(0) != QLatin1String("exclusions"))
            return CatalogueUse::None;
        return CatalogueUse::MayCreate;
    }
    int run(CliContext &ctx, const QStringList &args) override;
};
