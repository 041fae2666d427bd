// Runs every input of the cabinet fuzzing corpus (fuzz/corpus/cab/: fixtures, damaged
// cabinets and whatever the fuzzer found) through the reader as an ordinary test: each
// must extract or fail with an exception, and never write outside its folder.
#include "cabinet/TSTCabReader.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestCabinetCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void corpus_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(QUILLORY_SOURCE_DIR "/fuzz/corpus/cab"));
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(names.size() >= 10, "the cabinet corpus is missing");
        for (const QString &n : names)
            QTest::newRow(qPrintable(n)) << dir.filePath(n);
    }

    void corpus()
    {
        QFETCH(QString, path);
        QTemporaryDir tmp;
        const QString out = tmp.filePath(u"out"_s);
        QDir().mkpath(out);
        TSTCabReader reader;
        try {
            reader.List(path, false);
        } catch (const QuilloryError &) {
        }
        try {
            reader.ExtractToMemory(path, {}, 64 << 20, true);
        } catch (const QuilloryError &) {
        }
        try {
            reader.Extract(path, out, true);
        } catch (const QuilloryError &) {
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        for (const QFileInfo &fi : QDir(out).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QVERIFY2(fi.isFile(), qPrintable(fi.fileName()));
    }
};

QTEST_GUILESS_MAIN(TestCabinetCorpus)
#include "tst_cabinetcorpus.moc"
