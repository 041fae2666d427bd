#include "store/ContentsList.h"
#include "store/GroupTree.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/TreeFile.h"

#include <QDir>
#include <QtTest>

// Every input the catalogue fuzzer kept, read again as a tree file and as a contents list:
// bad input may only end in QuilloryError.
class TestStoreCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void corpus()
    {
        const QDir dir(QStringLiteral(QUILLORY_SOURCE_DIR "/fuzz/corpus/catalogue"));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(files.size() > 10);
        int trees = 0;
        for (const QString &name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            try {
                GroupTree tree;
                ParseOutline(tree, TextCodec::splitLines(TextCodec::decode(bytes)));
                tree.sort();
                // What was read writes back to lines that read the same again.
                const QStringList lines = TreeToLines(tree);
                GroupTree again;
                ParseOutline(again, lines);
                QCOMPARE(TreeToLines(again), lines);
                ++trees;
            } catch (const QuilloryError &) {
            }
            const ContentsList list = ContentsList::fromBytes(bytes);
            for (int r = 0; r < list.recordCount(); ++r)
                QVERIFY(list.lineCount(r) >= 0);
        }
        QVERIFY(trees > 0);
    }
};

QTEST_GUILESS_MAIN(TestStoreCorpus)
#include "tst_storecorpus.moc"
