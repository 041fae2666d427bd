#pragma once

#include "CliCommand.h"

class CatListsCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("cat-lists"); }
    QString usage() const override { return QStringLiteral("cat-lists SERIAL"); }
    QString summary() const override
    {
        return QStringLiteral("Prints the disc's folder list, a line holding a single TAB, then its file list, "
                              "byte for byte as stored in its contents file.");
    }
    int run(CliContext &ctx, const QStringList &args) override;
};
