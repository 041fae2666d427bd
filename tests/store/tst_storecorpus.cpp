#include "CatalogueInputCheck.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// Every input the catalogue fuzzer kept, put through the fuzzer's own check: read as a tree file
// by the program's loader and as a contents list, bad input may only end in QuilloryError.
class TestStoreCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void corpus()
    {
        const QDir dir(QStringLiteral(QUILLORY_SOURCE_DIR "/fuzz/corpus/catalogue"));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(files.size() > 10);
        QTemporaryDir tmp;
        for (const QString &name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString problem = CatalogueInputCheck::check(f.readAll(), tmp.path() + u'/');
            QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
        }
    }
};

QTEST_GUILESS_MAIN(TestStoreCorpus)
#include "tst_storecorpus.moc"
