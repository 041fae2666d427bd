#include "CabTestUtil.h"
#include "SilentPrompts.h"

#include "core/QuilloryError.h"
#include "core/TextCodec.h"
#include "session/Workspace.h"
#include "session/WorkspacePrompts.h"
#include "store/Catalogue.h"
#include "store/ContentsFile.h"
#include "store/DataPaths.h"
#include "store/TreeFile.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace CabTestUtil;

namespace
{

// Every system call by which the programs write, remove or rename: each is swept on its own,
// so that the gap between two calls of another kind (two renames in a row) is reached too.
const QStringList kSyscalls{u"openat"_s,    u"write"_s,    u"pwrite64"_s,  u"ftruncate"_s, u"fallocate"_s, u"fchmod"_s,
                            u"utimensat"_s, u"mkdir"_s,    u"linkat"_s,    u"fsync"_s,     u"fdatasync"_s, u"syncfs"_s,
                            u"rename"_s,    u"renameat"_s, u"renameat2"_s, u"unlink"_s,    u"unlinkat"_s,  u"rmdir"_s};

// Calls that remove or rename: the calls just before and after one are always swept.
bool isPivot(const QString &syscall)
{
    return syscall.startsWith(u"rename"_s) || syscall.startsWith(u"unlink"_s) || syscall == u"rmdir"_s;
}

// The window's save of the tree, as this test program run again in a mode of its own: the
// catalogue taken as the window takes it, saved as its timed save and its close save it.
int saveChangedTree(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SilentPrompts prompts;
    Workspace workspace(QString::fromLocal8Bit(argv[2]), prompts);
    try {
        workspace.lock();
        workspace.loadTree();
        GroupTree &tree = workspace.tree();
        TreeNode *music = FindGroup(tree.root(), u"Music"_s);
        TreeNode *photos = FindCD(tree.root(), u"CCCC0003"_s);
        if (!music || !photos)
            return 1;
        tree.setText(music, u"Songs"_s);
        tree.moveNode(photos, music);
        workspace.catalogue().save();
    } catch (const QuilloryError &) {
        return 1;
    }
    return 0;
}

} // namespace

// The real programs killed at every call that writes, removes or renames (strace's fault
// injection), during an import, an export, an add-disc of a new disc and of one already
// catalogued, the upgrade of an older tree file and the window's save of the tree. After each
// kill, readers (tree, ls) find the old catalogue or the new one, never a mix; the next command
// that takes the catalogue finishes or undoes what was under way, and DB holds only the
// catalogue.
class TestKillAnywhere : public QObject
{
    Q_OBJECT

    QString m_cli;
    QString m_strace;
    QTemporaryDir m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;

    // An operation: a program and its arguments, the catalogue's folder given as "%DATA%".
    using Operation = QStringList;
    static QStringList withData(QStringList op, const QString &data) { return op.replaceInStrings(u"%DATA%"_s, data); }

    // The program, or the program killed at the n-th call of syscall (strace ends as its program did).
    ProgramRun run(const QStringList &command, const QString &syscall = QString(), int n = 0) const
    {
        if (syscall.isEmpty())
            return runProgram(command.first(), command.mid(1));
        return runProgram(m_strace,
                          QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, u"trace="_s + syscall,
                                      u"-e"_s, u"inject=%1:signal=KILL:when=%2"_s.arg(syscall).arg(n)} +
                              command);
    }
    ProgramRun cli(const QString &data, const QStringList &args) const
    {
        return run(QStringList{m_cli, u"--data"_s, data} + args);
    }

    // Where to kill the operation: for each system call of the list, the numbers of its calls
    // (counted as strace counts them, in the program's main thread) that touch the test's files,
    // from one traced run. The calls that load libraries and read the system's settings come
    // before anything is written and are left out. A kind with more than kMaxKills such calls
    // is swept with a stride, always including the calls next to a rename or a removal.
    QHash<QString, QList<int>> killPoints(const Operation &op, const QString &data) const
    {
        constexpr int kMaxKills = 30;
        const QString trace = m_dir->path() + u"/trace.txt"_s;
        runProgram(m_strace,
                   QStringList{u"-f"_s, u"-qq"_s, u"-y"_s, u"-o"_s, trace, u"-e"_s, u"trace="_s + kSyscalls.join(u',')} +
                       withData(op, data));
        // The calls on the test's files: the system call and its number in the main thread (0 in another).
        QList<QPair<QString, int>> ours;
        QHash<QString, int> counts;
        QString mainThread;
        static const QRegularExpression line(u"^(\\d+)\\s+(\\w+)\\("_s);
        for (const QString &text : QString::fromUtf8(readFile(trace)).split(u'\n')) {
            const QRegularExpressionMatch m = line.match(text);
            if (!m.hasMatch())
                continue; // a call's resumption, a signal, an exit
            if (mainThread.isEmpty())
                mainThread = m.captured(1);
            const int number = m.captured(1) == mainThread ? ++counts[m.captured(2)] : 0;
            if (text.contains(m_dir->path()))
                ours.append({m.captured(2), number});
        }
        QHash<QString, QList<int>> all;
        QSet<QPair<QString, int>> nearPivot;
        for (qsizetype i = 0; i < ours.size(); ++i) {
            if (ours.at(i).second == 0)
                continue;
            all[ours.at(i).first].append(ours.at(i).second);
            for (qsizetype j = qMax<qsizetype>(0, i - 2); j <= qMin(ours.size() - 1, i + 2); ++j)
                if (isPivot(ours.at(j).first))
                    nearPivot.insert(ours.at(i));
        }
        QHash<QString, QList<int>> points;
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            const QList<int> &numbers = it.value();
            const qsizetype stride = (numbers.size() + kMaxKills - 1) / kMaxKills;
            for (qsizetype i = 0; i < numbers.size(); ++i)
                if (i % stride == 0 || i == numbers.size() - 1 || nearPivot.contains({it.key(), numbers.at(i)}))
                    points[it.key()].append(numbers.at(i));
        }
        return points;
    }

    // The catalogue as a user sees it: the tree (without the time a disc was added, which
    // differs from run to run) and every disc's two lists, read straight from DB.
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
                    const ContentsFile::Lists l = ContentsFile::read(db, cd.Serial);
                    const QByteArray both = l.folderList + '\0' + l.fileList;
                    line += u' ' + QLatin1String(QCryptographicHash::hash(both, QCryptographicHash::Sha1).toHex());
                } catch (const QuilloryError &e) {
                    line += u" <damaged> "_s + e.message();
                }
            }
            out << line;
        });
        return out;
    }

    // What the readers print: the tree, each disc's root folder (or that there is no such disc)
    // and the lists of the two discs the operations replace. What a reader says beside a success
    // (that it took over a lock a kill left) is not the catalogue.
    QStringList readers(const QString &data) const
    {
        QList<QStringList> commands{{u"tree"_s}, {u"cat-lists"_s, u"AAAA0001"_s}, {u"cat-lists"_s, u"CCCC0003"_s}};
        for (const QString &s : m_serials)
            commands.append({u"ls"_s, s});
        QStringList out;
        for (const QStringList &args : std::as_const(commands)) {
            const ProgramRun r = cli(data, args);
            out << u"%1 -> %2\n%3%4"_s.arg(args.join(u' '))
                       .arg(r.code)
                       .arg(QString::fromUtf8(r.out), r.code == 0 ? QString() : QString::fromUtf8(r.err));
        }
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

    QString original() const { return m_dir->path() + u"/original"_s; }
    const QStringList m_serials{u"AAAA0001"_s, u"CCCC0003"_s, u"DDDD0004"_s, u"EEEE0005"_s};

    // The operation killed at each of its kill points: the readers must print the old or the new
    // catalogue, and the next command must take it and leave it whole. With archive, the archive
    // it writes over an older one must be the older one or a whole new one.
    void killEverywhere(const Operation &op, const QString &from, bool archive)
    {
        const QString cab = m_dir->path() + u"/export.cab"_s;
        const QByteArray older = "an older backup";
        const auto fresh = [&](const QString &data) {
            QCOMPARE(QProcess::execute(u"cp"_s, {u"-a"_s, from, data}), 0);
            if (archive)
                writeFile(cab, older);
        };
        const QStringList oldState = state(from), oldReaders = readers(from);
        const QString reference = m_dir->path() + u"/reference"_s;
        fresh(reference);
        const ProgramRun done = run(withData(op, reference));
        QVERIFY2(done.code == 0, done.err.constData());
        const QStringList newState = state(reference), newReaders = readers(reference);
        const QStringList members = archive ? cabextractNames(cab) : QStringList();
        QVERIFY(!archive || members.size() == 4);

        const QString traced = m_dir->path() + u"/traced"_s;
        fresh(traced);
        const QHash<QString, QList<int>> points = killPoints(op, traced);
        QVERIFY2(points.contains(u"rename"_s) || points.contains(u"renameat2"_s), "no rename was traced");

        int kills = 0;
        for (const QString &syscall : kSyscalls) {
            for (const int n : points.value(syscall)) {
                const QString data = m_dir->path() + u"/run-%1-%2"_s.arg(syscall).arg(n);
                fresh(data);
                const ProgramRun r = run(withData(op, data), syscall, n);
                const QString where = u"killed at %1 #%2"_s.arg(syscall).arg(n);
                if (!r.signalled && r.code != 128 + SIGKILL) {
                    // This run made fewer calls than the traced one.
                    QVERIFY2(r.code == 0, qPrintable(where + u": "_s + QString::fromUtf8(r.err)));
                    QCOMPARE(state(data), newState);
                } else {
                    ++kills;
                    if (archive && readFile(cab) != older) {
                        QVERIFY2(cabextractAccepts(cab), qPrintable(where));
                        QCOMPARE(cabextractNames(cab), members);
                    }
                    const QStringList read = readers(data);
                    QVERIFY2(read == oldReaders || read == newReaders, qPrintable(where + u'\n' + read.join(u'\n')));
                    // The next command takes the catalogue, finishes or undoes what was under
                    // way, and works.
                    const ProgramRun next = cli(data, {u"export"_s, m_dir->path() + u"/next.cab"_s});
                    QVERIFY2(next.code == 0, qPrintable(where + u": "_s + QString::fromUtf8(next.err)));
                    const QStringList after = state(data);
                    QVERIFY2(after == oldState || after == newState, qPrintable(where + u'\n' + after.join(u'\n')));
                    QVERIFY2(after == newState || read == oldReaders, qPrintable(where));
                    QCOMPARE(strays(data), QStringList());
                }
                QVERIFY(QDir(data).removeRecursively());
            }
        }
        QVERIFY2(kills > 0, "nothing was interrupted");
        qInfo("%d kills", kills);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The programs read preferences of their own, never the user's (an Eject or a filter ticked there), and
        // outside the folder whose calls are killed.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings.filePath(u"config"_s)));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_settings.filePath(u"cache"_s)));
        m_cli = qEnvironmentVariable("QUILLORY_CLI");
        if (m_cli.isEmpty())
            QSKIP("QUILLORY_CLI not set");
        m_strace = QStandardPaths::findExecutable(u"strace"_s);
        if (m_strace.isEmpty())
            QSKIP("strace is not installed (scripts/install-deps)");
        if (runProgram(m_strace, {u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"true"_s}).code != 0)
            QSKIP("strace cannot trace here (ptrace not permitted)");
    }

    // The catalogue of three discs, and what the operations read: an archive that replaces two
    // discs' contents, drops one disc from the tree and adds one; a volume of five files; the
    // catalogue again with its tree in the older format.
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        // A catalogue whose discs' lists say "old" or "new" and their serial.
        const auto catalogue = [](const QString &data, const QByteArray &age, const QStringList &tree) {
            const QString db = DataPaths::dbFolder(data);
            QDir().mkpath(db);
            for (const QString &line : tree)
                if (const QString serial = line.section(u'|', 2, 2); !serial.isEmpty())
                    ContentsFile::packBytes(db, serial, "d " + age + serial.toLatin1(), "f " + age + serial.toLatin1());
            TextCodec::writeLines(db + QLatin1String(TreeFileName), tree);
        };
        QStringList tree{u"My Collection"_s, u"\tMusic"_s, u"\t\tRock|ROCK|AAAA0001|CDFS|10|||1|d|"_s,
                         u"\t\tJazz|JAZZ|BBBB0002|CDFS|20|||2|d|"_s, u"\tPhotos|PICS|CCCC0003|UDF|30|||3|d|"_s};
        catalogue(original(), "old ", tree);
        const QString source = m_dir->path() + u"/source"_s;
        catalogue(source, "new ", {u"Restored"_s, u"\tRock|ROCK|AAAA0001|CDFS|11|||1|d|"_s,
                                   u"\tJazz|JAZZ|BBBB0002|CDFS|21|||2|d|"_s, u"\tNew|NEW|DDDD0004|CDFS|40|||4|d|"_s});
        const ProgramRun exported = cli(source, {u"export"_s, m_dir->path() + u"/backup.cab"_s});
        QVERIFY2(exported.code == 0, exported.err.constData());

        for (int i = 0; i < 5; ++i)
            writeFile(m_dir->path() + u"/volume/folder/file%1.txt"_s.arg(i), QByteArray(i + 1, 'x'));

        catalogue(m_dir->path() + u"/older"_s, "old ", tree.replaceInStrings(QRegularExpression(u"\\|$"_s), QString()));
    }

    // quillory-cli's arguments ("%DIR%" for the test's folder), or none for the window's save,
    // the catalogue it starts from, and whether the archive it writes over an older one is checked:
    // the older one or a whole new one.
    void operations_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("archive");
        const QStringList add{u"add-disc"_s, u"%DIR%/volume"_s, u"--title"_s, u"Added"_s, u"--serial"_s};
        QTest::newRow("import") << QStringList{u"import"_s, u"%DIR%/backup.cab"_s, u"--yes"_s} << u"original"_s
                                << false;
        QTest::newRow("add-disc new") << add + QStringList{u"EEEE0005"_s} << u"original"_s << false;
        QTest::newRow("add-disc replace") << add + QStringList{u"CCCC0003"_s, u"--replace"_s} << u"original"_s << false;
        QTest::newRow("export") << QStringList{u"export"_s, u"%DIR%/export.cab"_s} << u"original"_s << true;
        // A tree file of the older format is rewritten when a writer first takes the catalogue.
        QTest::newRow("tree upgrade") << QStringList{u"export"_s, u"%DIR%/upgraded.cab"_s} << u"older"_s << false;
        QTest::newRow("window save") << QStringList() << u"original"_s << false;
    }
    void operations()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, from);
        QFETCH(bool, archive);
        args.replaceInStrings(u"%DIR%"_s, m_dir->path());
        const Operation op = args.isEmpty()
                                 ? Operation{QCoreApplication::applicationFilePath(), u"--save-tree"_s, u"%DATA%"_s}
                                 : QStringList{m_cli, u"--data"_s, u"%DATA%"_s} + args;
        killEverywhere(op, m_dir->path() + u'/' + from, archive);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--save-tree") == 0)
        return saveChangedTree(argc, argv);
    QCoreApplication app(argc, argv);
    TestKillAnywhere test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killanywhere.moc"
