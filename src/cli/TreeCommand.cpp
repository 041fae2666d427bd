#include "TreeCommand.h"

#include "CliArgs.h"
#include "CliError.h"
#include "CliField.h"
#include "store/Catalogue.h"

#include <QStringEncoder>
#include <algorithm>
#include <charconv>
#include <cstring>

namespace
{

// One line per node, indented two spaces a level, encoded straight into a block of bytes
// that is written out when full: a large catalogue prints tens of thousands of lines at
// start-up, and a text of them all would cost more memory than the tree itself. The depth
// is carried along rather than counted up the parents.
class TreePrinter
{
public:
    explicit TreePrinter(const CliIo &io) : m_io(io) { m_bytes.resize(kBlock); }

    void print(const TreeNode *n, int level)
    {
        char *out;
        if (n->isDisc() && n->cd()) {
            const TCD &cd = *n->cd();
            out = line(level, cd.Title.size() + cd.Serial.size() + cd.FileSystem.size() + cd.BorrowedTo.size());
            out = append(out, cd.Title);
            *out++ = '\t';
            out = append(out, cd.Serial);
            *out++ = '\t';
            out = append(out, cd.FileSystem);
            *out++ = '\t';
            out = std::to_chars(out, out + kNumber, cd.Size).ptr;
            *out++ = '\t';
            out = append(out, cd.BorrowedTo);
        } else {
            out = append(line(level, n->text().size()), n->text());
        }
        *out++ = '\n';
        m_used = out - m_bytes.data();
        if (m_used >= kBlock)
            flush();
        for (int i = 0; i < n->childCount(); ++i)
            print(n->child(i), level + 1);
    }

    void flush()
    {
        m_bytes.resize(m_used);
        m_io.writeRaw(m_bytes);
        m_bytes.resize(std::max(m_bytes.capacity(), kBlock));
        m_used = 0;
    }

private:
    static constexpr qsizetype kBlock = 64 * 1024;
    static constexpr qsizetype kNumber = 24; // any qint64
    static constexpr qsizetype kSeparators = 5;

    // Space for a line of the indent and the texts' UTF-16 units; the indent written.
    char *line(int level, qsizetype units)
    {
        const qsizetype need = 2 * qsizetype(level) + m_utf8.requiredSpace(units) + kNumber + kSeparators;
        if (m_used + need > m_bytes.size())
            m_bytes.resize(m_used + need);
        char *out = m_bytes.data() + m_used;
        std::memset(out, ' ', size_t(2 * level));
        return out + 2 * level;
    }
    char *append(char *out, const QString &text)
    {
        char *end = m_utf8.appendToBuffer(out, text);
        CliField::cleanRange(out, end);
        return end;
    }

    const CliIo &m_io;
    // Each text whole: a damaged one cannot carry half a character into the next.
    QStringEncoder m_utf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    QByteArray m_bytes;
    qsizetype m_used = 0;
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
