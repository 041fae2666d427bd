#include "CabTestUtil.h"

#include "cabinet/TSTCabWriter.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "store/Catalogue.h"
#include "store/CatalogueSwitch.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"
#include "store/TreeFile.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace CabTestUtil;

// The real quillory-cli killed at every rename it makes (strace's fault injection), during an
// import, an add-disc and an export. After each kill the catalogue is the old one or the new
// one, never a mix; a committed import may still be waiting for its switch to be carried
// through, and the next command that takes the catalogue does that and leaves DB holding
// only the catalogue.
class TestKillAnywhere : public QObject
{
    Q_OBJECT

    QString m_cli;
    QString m_strace;
    std::unique_ptr<QTemporaryDir> m_dir;

    struct Run {
        bool killed = false;
        int code = -1;
        QByteArray err;
    };

    // The program, or the program killed at the n-th call of syscall.
    Run run(const QStringList &args, const QString &syscall = QString(), int n = 0) const
    {
        QProcess p;
        if (syscall.isEmpty()) {
            p.start(m_cli, args);
        } else {
            p.start(m_strace, QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, u"trace="_s + syscall,
                                          u"-e"_s, u"inject=%1:signal=KILL:when=%2"_s.arg(syscall).arg(n), m_cli} +
                                  args);
        }
        Run r;
        if (!p.waitForFinished(60000))
            return r;
        r.killed = p.exitStatus() == QProcess::CrashExit || p.exitCode() == 128 + SIGKILL;
        r.code = p.exitCode();
        r.err = p.readAllStandardError();
        return r;
    }

    // The catalogue as a user sees it: the tree (without the time a disc was added, which
    // differs from run to run) and every disc's two lists.
    static QStringList state(const QString &data)
    {
        const QString db = DataPaths::dbFolder(data);
        if (!QFileInfo::exists(db + QLatin1String(TreeFileName)))
            return {u"<no tree>"_s};
        GroupTree tree;
        try {
            LoadTree(tree, db, {}, TreeWrite::Never);
        } catch (const QuilloryError &e) {
            return {u"<unreadable> "_s + e.message()};
        }
        QStringList out;
        tree.forEachPreOrder([&](TreeNode *n) {
            QString line = QString(n->level(), u'\t') + n->text();
            if (n->isDisc() && n->cd()) {
                TCD cd = *n->cd();
                cd.Date.clear();
                line = QString(n->level(), u'\t') + CDToStr(cd);
                try {
                    const ContentsFile::Lists lists = ContentsFile::read(db, cd.Serial);
                    line +=
                        u' ' + QString::fromLatin1(QCryptographicHash::hash(lists.folderList + '\0' + lists.fileList,
                                                                            QCryptographicHash::Sha1)
                                                       .toHex());
                } catch (const QuilloryError &e) {
                    line += u" <damaged> "_s + e.message();
                }
            }
            out << line;
        });
        return out;
    }

    // DB at rest: the tree and contents files, nothing a kill or a scan left.
    static QStringList strays(const QString &data)
    {
        QStringList out;
        const QDir db(DataPaths::dbFolder(data));
        for (const QString &name : db.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (name != QLatin1String(TreeFileName) && ContentsFile::serialOfContentsFile(name).isEmpty())
                out << name;
        return out;
    }

    static void copyFolder(const QString &from, const QString &to)
    {
        QDir().mkpath(to);
        for (const QFileInfo &fi : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (fi.isDir())
                copyFolder(fi.absoluteFilePath(), to + u'/' + fi.fileName());
            else
                QVERIFY(QFile::copy(fi.absoluteFilePath(), to + u'/' + fi.fileName()));
        }
    }

    static void packDisc(const QString &db, const QString &serial, const QByteArray &text)
    {
        ContentsFile::packBytes(db, serial, "d " + text, "f " + text);
    }

    // A catalogue of three discs.
    QString original() const { return m_dir->path() + u"/original"_s; }

    // The operation killed at every rename, each syscall of the family in turn; check() looks
    // at each interrupted catalogue, then the next command must take it and leave it whole.
    void killEverywhere(const QStringList &operation, const std::function<void(const QString &data)> &check,
                        const QStringList &oldState, const QStringList &newState)
    {
        int kills = 0;
        for (const QString &syscall : {u"rename"_s, u"renameat"_s, u"renameat2"_s}) {
            for (int n = 1;; ++n) {
                QVERIFY2(n < 100, "the operation never finished");
                const QString data = m_dir->path() + u"/run-%1-%2"_s.arg(syscall).arg(n);
                copyFolder(original(), data);
                const Run r = run(QStringList{u"--data"_s, data} + operation, syscall, n);
                if (!r.killed) {
                    QVERIFY2(r.code == 0, r.err.constData());
                    QCOMPARE(state(data), newState);
                    QVERIFY(QDir(data).removeRecursively());
                    break;
                }
                ++kills;
                check(data);
                // The next command takes the catalogue, finishes or undoes what was under way,
                // and works.
                const Run next = run({u"--data"_s, data, u"export"_s, m_dir->path() + u"/next.cab"_s});
                QVERIFY2(next.code == 0 && !next.killed, next.err.constData());
                const QStringList after = state(data);
                QVERIFY2(after == oldState || after == newState, qPrintable(after.join(u'\n')));
                QCOMPARE(strays(data), QStringList());
                QVERIFY(QDir(data).removeRecursively());
            }
        }
        QVERIFY2(kills > 0, "no rename was interrupted");
        qInfo("%d kills", kills);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_cli = qEnvironmentVariable("QUILLORY_CLI");
        if (m_cli.isEmpty())
            QSKIP("QUILLORY_CLI not set");
        m_strace = QStandardPaths::findExecutable(u"strace"_s);
        if (m_strace.isEmpty())
            QSKIP("strace is not installed (scripts/install-deps)");
        QProcess probe;
        probe.start(m_strace, {u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"true"_s});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            QSKIP("strace cannot trace here (ptrace not permitted)");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString db = DataPaths::dbFolder(original());
        QDir().mkpath(db);
        for (const char *s : {"AAAA0001", "BBBB0002", "CCCC0003"})
            packDisc(db, QLatin1String(s), QByteArray("old ") + s);
        TextCodec::writeLines(db + QLatin1String(TreeFileName),
                              {u"My Collection"_s, u"\tMusic"_s, u"\t\tRock|ROCK|AAAA0001|CDFS|10|||1|d|"_s,
                               u"\t\tJazz|JAZZ|BBBB0002|CDFS|20|||2|d|"_s, u"\tPhotos|PICS|CCCC0003|UDF|30|||3|d|"_s});
    }

    void import()
    {
        // The archive replaces two discs' contents, drops one disc from the tree and adds one.
        const QString source = m_dir->path() + u"/source/DB/"_s;
        QDir().mkpath(source);
        for (const char *s : {"AAAA0001", "BBBB0002", "DDDD0004"})
            packDisc(source, QLatin1String(s), QByteArray("new ") + s);
        const QString archive = m_dir->path() + u"/backup.cab"_s;
        {
            TSTCabWriter cab;
            cab.CompressionType = cctMsZip;
            cab.Open(archive);
            for (const char *s : {"AAAA0001", "BBBB0002", "DDDD0004"})
                cab.AddFile(ContentsFile::contentsFileName(source, QLatin1String(s)),
                            ContentsFile::contentsFileName(QString(), QLatin1String(s)));
            cab.AddBytes(TextCodec::joinLines({u"Restored"_s, u"\tRock|ROCK|AAAA0001|CDFS|11|||1|d|"_s,
                                               u"\tJazz|JAZZ|BBBB0002|CDFS|21|||2|d|"_s,
                                               u"\tNew|NEW|DDDD0004|CDFS|40|||4|d|"_s}),
                         QLatin1String(TreeFileName), QDateTime::currentDateTime());
            cab.Close(true);
        }
        const QStringList oldState = state(original());
        const QString reference = m_dir->path() + u"/reference"_s;
        copyFolder(original(), reference);
        QCOMPARE(run({u"--data"_s, reference, u"import"_s, archive, u"--yes"_s}).code, 0);
        const QStringList newState = state(reference);
        QVERIFY(newState != oldState);

        killEverywhere(
            {u"import"_s, archive, u"--yes"_s},
            [&](const QString &data) {
                // Until the next owner carries a committed switch through, new contents may
                // stand beside the old tree; without the journal, DB must be the old catalogue.
                const QStringList now = state(data);
                if (!CatalogueSwitch::isPending(DataPaths::dbFolder(data)))
                    QVERIFY2(now == oldState || now == newState, qPrintable(now.join(u'\n')));
            },
            oldState, newState);
    }

    void addDisc()
    {
        const QString volume = m_dir->path() + u"/volume"_s;
        for (int i = 0; i < 5; ++i)
            writeFile(volume + u"/folder/file%1.txt"_s.arg(i), QByteArray(i + 1, 'x'));
        const QStringList args{u"add-disc"_s, volume, u"--title"_s, u"Added"_s, u"--serial"_s, u"EEEE0005"_s};
        const QStringList oldState = state(original());
        const QString reference = m_dir->path() + u"/reference"_s;
        copyFolder(original(), reference);
        QCOMPARE(run(QStringList{u"--data"_s, reference} + args).code, 0);
        const QStringList newState = state(reference);
        QVERIFY(newState != oldState);
        killEverywhere(
            args,
            [&](const QString &data) {
                const QStringList now = state(data);
                QVERIFY2(now == oldState || now == newState, qPrintable(now.join(u'\n')));
            },
            oldState, newState);
    }

    void exportArchive()
    {
        const QString archive = m_dir->path() + u"/export.cab"_s;
        const QByteArray older = "an older backup";
        const QStringList oldState = state(original());
        const QString reference = m_dir->path() + u"/reference"_s;
        copyFolder(original(), reference);
        QCOMPARE(run({u"--data"_s, reference, u"export"_s, m_dir->path() + u"/reference.cab"_s}).code, 0);
        const QStringList members = cabextractNames(m_dir->path() + u"/reference.cab"_s);
        QCOMPARE(members.size(), 4);
        writeFile(archive, older);
        killEverywhere(
            {u"export"_s, archive},
            [&](const QString &data) {
                QCOMPARE(state(data), oldState);
                // The archive is the older one or a whole new one.
                if (readFile(archive) != older) {
                    QVERIFY(cabextractAccepts(archive));
                    QCOMPARE(cabextractNames(archive), members);
                }
                writeFile(archive, older);
            },
            oldState, oldState);
    }
};

QTEST_GUILESS_MAIN(TestKillAnywhere)
#include "tst_killanywhere.moc"
