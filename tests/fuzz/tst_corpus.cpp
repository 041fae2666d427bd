// Every input the fuzzers kept (fuzz/corpus/<folder>/: seeds, damaged files, finds and former
// crashers alike) put through its fuzz target's own check, as an ordinary test.
#include "FuzzChecks.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace
{

using Check = std::function<QString(QByteArrayView bytes, const QString &folder)>;

// A media input goes through every reader, not only its own: a reader meets whatever a disc holds.
QString everyReader(QByteArrayView bytes, const QString &)
{
    for (const auto &[kind, name] : FuzzChecks::mediaReaders()) {
        const QString problem = FuzzChecks::media(kind, bytes);
        if (!problem.isEmpty())
            return QLatin1String(name) + u" reader: "_s + problem;
    }
    return QString();
}

struct Corpus {
    QString folder;
    int atLeast; // a corpus gone missing is a failure, not a pass
    Check check;
};

const QList<Corpus> &corpora()
{
    static const QList<Corpus> list = [] {
        QList<Corpus> l{
            {u"cab"_s, 10, FuzzChecks::cabinet},
            {u"catalogue"_s, 10, CatalogueInputCheck::check},
            {u"zip"_s, 9, [](QByteArrayView bytes, const QString &) { return FuzzChecks::zip(bytes); }},
        };
        for (const auto &reader : FuzzChecks::mediaReaders())
            l.append({QLatin1String(reader.second), 2, everyReader});
        return l;
    }();
    return list;
}

} // namespace

class TestCorpus : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void input_data()
    {
        QTest::addColumn<int>("corpus");
        QTest::addColumn<QString>("path");
        const QDir root(QStringLiteral(QUILLORY_SOURCE_DIR "/fuzz/corpus"));
        for (int c = 0; c < corpora().size(); ++c) {
            const QDir dir(root.filePath(corpora()[c].folder));
            const QStringList files = dir.entryList(QDir::Files, QDir::Name);
            QVERIFY2(files.size() >= corpora()[c].atLeast, qPrintable(dir.path() + u" is missing"_s));
            for (const QString &name : files)
                QTest::addRow("%s/%s", qPrintable(corpora()[c].folder), qPrintable(name)) << c << dir.filePath(name);
        }
    }

    void input()
    {
        QFETCH(int, corpus);
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString problem = corpora()[corpus].check(f.readAll(), m_tmp.path() + u'/');
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
