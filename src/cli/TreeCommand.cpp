#include "TreeCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "store/Catalogue.h"

#include <charconv>

namespace
{

// One line per node, indented two spaces a level, written out a block at a time: a large
// catalogue prints tens of thousands of lines at start-up, and a text of them all would
// cost more memory than the tree itself. The depth is carried along rather than counted
// up the parents.
class TreePrinter
{
public:
    explicit TreePrinter(const CliIo &io) : m_io(io) { m_text.reserve(kBlock + 1024); }

    void print(const TreeNode *n, int level)
    {
        m_text.resize(m_text.size() + 2 * level, u' ');
        if (n->isDisc() && n->cd()) {
            const TCD &cd = *n->cd();
            char size[24];
            const auto end = std::to_chars(size, size + sizeof size, cd.Size).ptr; // 24 hold any qint64
            m_text += cd.Title;
            m_text += u'\t';
            m_text += cd.Serial;
            m_text += u'\t';
            m_text += cd.FileSystem;
            m_text += u'\t';
            m_text += QLatin1StringView(size, end - size);
            m_text += u'\t';
            m_text += cd.BorrowedTo;
        } else {
            m_text += n->text();
        }
        m_text += u'\n';
        if (m_text.size() >= kBlock)
            flush();
        for (int i = 0; i < n->childCount(); ++i)
            print(n->child(i), level + 1);
    }

    void flush()
    {
        m_io.print(m_text);
        m_text.resize(0);
    }

private:
    static constexpr qsizetype kBlock = 32 * 1024;
    const CliIo &m_io;
    QString m_text;
};

} // namespace

int TreeCommand::run(CliContext &ctx, const QStringList &args)
{
    CliArgs parsed(args, {}, {});
    if (!parsed.positional().isEmpty())
        throw CliUsageError(QStringLiteral("unexpected argument \"%1\"").arg(parsed.positional().first()));
    const Catalogue &cat = ctx.readCatalogue();
    const TreeNode *top = cat.tree().top();
    TreePrinter printer(ctx.io());
    for (int i = 0; i < top->childCount(); ++i)
        printer.print(top->child(i), 0);
    printer.flush();
    return 0;
}
