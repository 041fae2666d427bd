#pragma once

#include "CliCommand.h"

class CheckMaskCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("check-mask"); }
    QString usage() const override { return QStringLiteral("check-mask MASK NAME..."); }
    QString summary() const override
    {
        return QStringLiteral("Prints yes or no for each NAME, one a line: whether the whole name fits MASK.");
    }
    CatalogueUse catalogueUse(const QStringList &) const override { return CatalogueUse::None; }
    int run(CliContext &ctx, const QStringList &args) override;
};
