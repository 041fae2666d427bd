#include "TreeCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "store/Catalogue.h"

int TreeCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (!parsed.positional().isEmpty())
        throw CliUsageError(QStringLiteral("unexpected argument \"%1\"").arg(parsed.positional().first()));
    const Catalogue &cat = ctx.readCatalogue();
    QString out;
    cat.tree().forEachPreOrder([&out](TreeNode *n) {
        out += QString(2 * n->level(), u' ');
        if (n->isDisc() && n->cd()) {
            const TCD &cd = *n->cd();
            out += cd.Title + u'\t' + cd.Serial + u'\t' + cd.FileSystem + u'\t' + QString::number(cd.Size) + u'\t' +
                   cd.BorrowedTo;
        } else {
            out += n->text();
        }
        out += u'\n';
    });
    ctx.io().print(out);
    return 0;
}
