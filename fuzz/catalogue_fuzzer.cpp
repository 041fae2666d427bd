// libFuzzer target for the catalogue's own text files: the bytes are read as "groups.tree"
// (outline, disc records) and as a contents list (records, folder index). Anything but a
// QuilloryError for bad input is a finding.
#include "store/ContentsList.h"
#include "store/GroupTree.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/TreeFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        GroupTree tree;
        ParseOutline(tree, TextCodec::splitLines(TextCodec::decode(bytes)));
        tree.sort();
        (void)DoGroup(tree.root());
        // What was read must write back to lines that read the same again.
        const QStringList lines = TreeToLines(tree);
        GroupTree again;
        ParseOutline(again, lines);
        if (TreeToLines(again) != lines)
            abort();
    } catch (const QuilloryError &) {
    }
    const ContentsList list = ContentsList::fromBytes(bytes);
    for (int r = 0; r < list.recordCount(); ++r) {
        const QStringList lines = list.lines(r);
        if (lines.size() > 1)
            (void)list.recordsIn(lines.at(1));
    }
    return 0;
}
