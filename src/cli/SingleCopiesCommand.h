#pragma once

#include "CliCommand.h"

class SingleCopiesCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("single-copies"); }
    QString usage() const override
    {
        return QStringLiteral("single-copies (--disc NAME | --in NODE) [--min-size N[KB|MB|GB]]");
    }
    QString summary() const override
    {
        return QStringLiteral(
            "Lists the files of a disc (or of every disc below NODE) that exist on no other disc of the catalogue, by "
            "the rules of duplicates: what would be lost if that disc died. One line each: Title:\\path\\name, size "
            "in bytes and date separated by TABs; the count and total size go to standard error.");
    }
    QString details() const override;
    int run(CliContext &ctx, const QStringList &args) override;
};
