#include "CliApp.h"

#include "CliArgs.h"
#include "CliError.h"
#include "core/Version.h"
#include "session/Workspace.h"
#include "session/WorkspacePrompts.h"
#include "store/Catalogue.h"
#include "store/DataPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <new>
#include <sys/stat.h>
#include <system_error>

QString CliIo::readLine() const
{
    if (!in)
        return QString();
    QByteArray line = in->readLine();
    if (line.isEmpty() && in->atEnd())
        return QString();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

namespace
{

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

// Where a folder must be: refused when a file stands there, or a link that leads nowhere.
void refuseNonFolder(const QString &path, const QString &what)
{
    const QFileInfo info(QDir::cleanPath(path));
    if (info.isSymLink() && !info.exists())
        throw QuilloryError(QStringLiteral("The %1 \"%2\" is a link to \"%3\", which does not exist.")
                                .arg(what, shown(path), info.symLinkTarget()));
    if (info.exists() && !info.isDir())
        throw QuilloryError(QStringLiteral("The %1 \"%2\" is a file, not a folder.").arg(what, shown(path)));
}

// The data folder as the command needs it: a folder (or nothing yet, for a command that may
// make the catalogue), with a DB folder or nothing in its place.
void checkDataFolder(const QString &dataFolder, CatalogueUse use)
{
    if (use == CatalogueUse::None)
        return;
    refuseNonFolder(dataFolder, QStringLiteral("data folder"));
    if (use == CatalogueUse::Reads && !QFileInfo(QDir::cleanPath(dataFolder)).isDir())
        throw QuilloryError(
            QStringLiteral("There is no catalogue in \"%1\": the folder does not exist.").arg(shown(dataFolder)));
    refuseNonFolder(DataPaths::dbFolder(dataFolder), QStringLiteral("database folder"));
    // A mistyped --data (the DB folder itself, a home folder) would otherwise read as an
    // empty catalogue, and an export of it would replace a good backup.
    const QString db = QDir::cleanPath(DataPaths::dbFolder(dataFolder));
    struct stat st;
    if (use == CatalogueUse::Reads && ::stat(QFile::encodeName(db).constData(), &st) != 0 && errno != ENOENT)
        throw QuilloryError(QStringLiteral("The catalogue in \"%1\" cannot be read: %2")
                                .arg(shown(dataFolder), qt_error_string(errno)));
    if (use == CatalogueUse::Reads && !QFileInfo(db).isDir())
        throw QuilloryError(QStringLiteral("There is no catalogue in \"%1\": it holds no database folder \"%2\".")
                                .arg(shown(dataFolder), QFileInfo(db).fileName()));
}

} // namespace

// Whatever the workspace has to say goes to standard error; nothing is asked.
class CliPrompts : public WorkspacePrompts
{
public:
    explicit CliPrompts(const CliIo &io) : m_io(io) {}
    void information(const QString &text) override { m_io.error(text); }
    void warning(const QString &text) override { m_io.error(text); }
    void error(const QString &text) override { m_io.error(text); }
    bool askYesNo(const QString &) override { return false; }
    bool askBeforeLoss(const QString &) override { return false; }

private:
    CliIo m_io;
};

CliContext::CliContext(const CliIo &io, const QString &dataFolder, CatalogueUse use)
    : m_io(io), m_dataFolder(dataFolder), m_use(use), m_prompts(std::make_unique<CliPrompts>(io)),
      m_workspace(std::make_unique<Workspace>(dataFolder, *m_prompts))
{
}

CliContext::~CliContext() = default;

QString CliContext::dataFolder() const
{
    if (!m_checked) {
        checkDataFolder(m_dataFolder, m_use);
        m_checked = true;
    }
    return m_dataFolder;
}

Catalogue &CliContext::lockedCatalogue()
{
    dataFolder();
    const bool isNew = !QFileInfo(m_workspace->dbFolder()).isDir();
    m_workspace->lock();
    if (isNew)
        m_io.error(QStringLiteral("A new catalogue was made in \"%1\".").arg(shown(m_dataFolder)));
    return m_workspace->catalogue();
}

Catalogue &CliContext::catalogue()
{
    Catalogue &cat = lockedCatalogue();
    // A tree read before the lock was taken may have been saved over since.
    if (m_loaded != Loaded::Locked) {
        m_workspace->loadTree();
        m_loaded = Loaded::Locked;
    }
    return cat;
}

const Catalogue &CliContext::readCatalogue()
{
    dataFolder();
    if (m_loaded == Loaded::No) {
        m_workspace->readTree();
        m_loaded = Loaded::ForReading;
    }
    return m_workspace->catalogue();
}

void CliContext::abandonReadTree()
{
    if (m_loaded == Loaded::ForReading)
        (void)m_workspace->tree().takeTop().release();
}

CliApp::CliApp() : m_commands(AllCommands()) {}

CliApp::~CliApp() = default;

void CliApp::printUsage(const CliIo &io, QIODevice *to) const
{
    QString text = QStringLiteral("Usage: quillory-cli [--data DIR] COMMAND [ARGS]\n\n"
                                  "  --data DIR       the folder that holds the catalogue's DB folder\n"
                                  "  -v, --version    the program's version\n"
                                  "  -h, --help       this list\n\nCommands:\n");
    for (const auto &c : m_commands)
        text += QStringLiteral("  %1\n      %2\n").arg(c->usage(), c->summary());
    text += QStringLiteral("\nEvery command takes --help.\n");
    (void)io;
    to->write(text.toUtf8());
}

int CliApp::run(const QStringList &arguments, const CliIo &io)
{
    const auto usage = [&io](const QString &message) {
        io.error(QStringLiteral("quillory-cli: %1 (see quillory-cli --help)").arg(message));
        return 2;
    };
    QString dataFolder;
    bool dataGiven = false;
    int i = 0;
    for (; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--data") || a.startsWith(QLatin1String("--data="))) {
            if (dataGiven)
                return usage(QStringLiteral("option --data is given twice"));
            dataGiven = true;
            if (a == QLatin1String("--data")) {
                if (i + 1 >= arguments.size() || CliArgs::looksLikeOption(arguments.at(i + 1)))
                    return usage(QStringLiteral("option --data needs a folder"));
                dataFolder = arguments.at(++i);
            } else {
                dataFolder = a.mid(7);
            }
            if (dataFolder.isEmpty())
                return usage(QStringLiteral("option --data needs a folder, not an empty name"));
        } else if (CliArgs::isHelp(a)) {
            printUsage(io, io.out);
            return 0;
        } else if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            // The line the window's own --version prints.
            io.print(QStringLiteral("Quillory! %1\n").arg(QuilloryVersion()));
            return 0;
        } else {
            break;
        }
    }
    if (i >= arguments.size()) {
        printUsage(io, io.err);
        return 2;
    }
    const QString name = arguments.at(i);
    const QStringList rest = arguments.mid(i + 1);
    CliCommand *cmd = nullptr;
    for (const auto &c : m_commands)
        if (c->name() == name)
            cmd = c.get();
    if (!cmd)
        return usage(QStringLiteral("unknown command \"%1\"").arg(name));
    const auto printHelp = [&] {
        QString help = QStringLiteral("Usage: quillory-cli [--data DIR] %1\n%2\n").arg(cmd->usage(), cmd->summary());
        if (!cmd->details().isEmpty())
            help += u'\n' + cmd->details() + u'\n';
        io.print(help);
        return 0;
    };
    // --help anywhere asks for help, unless it stands where an option's value belongs: then the
    // command's parser refuses the missing value, or takes it as help after a flag.
    for (qsizetype k = 0; k < rest.size(); ++k)
        if (CliArgs::isHelp(rest.at(k)) &&
            (k == 0 || !CliArgs::looksLikeOption(rest.at(k - 1)) || rest.at(k - 1).contains(u'=')))
            return printHelp();
    if (dataFolder.isEmpty())
        dataFolder = DataPaths::defaultDataFolder();
    else
        dataFolder = DataPaths::withSlash(QFileInfo(dataFolder).absoluteFilePath());
    try {
        CliContext ctx(io, dataFolder, cmd->catalogueUse(rest));
        const int status = cmd->run(ctx, rest);
        if (m_processEndsAfterRun)
            ctx.abandonReadTree();
        return status;
    } catch (const CliHelpRequested &) {
        return printHelp();
    } catch (const CliUsageError &e) {
        io.error(QStringLiteral("quillory-cli %1: %2").arg(name, e.message()));
        io.error(QStringLiteral("Usage: quillory-cli [--data DIR] %1").arg(cmd->usage()));
        return 2;
    } catch (const QuilloryError &e) {
        // One line: multi-line library messages are joined.
        QString msg = e.message();
        msg.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
        io.error(msg);
        return 1;
    } catch (const std::bad_alloc &) {
        io.error(QStringLiteral("quillory-cli %1: out of memory").arg(name));
        return 1;
    } catch (const std::system_error &e) {
        // A thread the system would not start, under a memory or process limit.
        io.error(QStringLiteral("quillory-cli %1: the system refused what the command needs: %2")
                     .arg(name, QString::fromLocal8Bit(e.what())));
        return 1;
    } catch (const std::exception &e) {
        io.error(QStringLiteral("quillory-cli %1: %2").arg(name, QString::fromUtf8(e.what())));
        return 1;
    }
}
