#pragma once

#include "CliCommand.h"

class AddDiscCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("add-disc"); }
    QString usage() const override
    {
        return QStringLiteral("add-disc (ROOT | --image FILE) --title T [--group NAME] [--genre G] [--number N] "
                              "[--description TEXT] [--serial XXXXXXXX [--label L] [--fs NAME]] [--checksums] [--replace]");
    }
    QString summary() const override
    {
        return QStringLiteral("Scans the volume at ROOT, or a disc image, into the catalogue, as Add Disc does, and "
                              "prints the new disc's record line.");
    }
    QString details() const override;
    CatalogueUse catalogueUse(const QStringList &) const override { return CatalogueUse::MayCreate; }
    int run(CliContext &ctx, const QStringList &args) override;
};
