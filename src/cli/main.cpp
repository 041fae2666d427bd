#include "CliApp.h"
#include "TerminalOutput.h"
#include "core/SafeSaveFile.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SafeSaveFile::failWritesPastTheSizeLimit();
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillory!"));
    QFile out, err, in;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(stdin, QIODevice::ReadOnly);
    TerminalOutput outShown(&out), errShown(&err);
    CliIo io{::isatty(STDOUT_FILENO) ? static_cast<QIODevice *>(&outShown) : &out,
             ::isatty(STDERR_FILENO) ? static_cast<QIODevice *>(&errShown) : &err, &in};
    CliApp cli;
    cli.setProcessEndsAfterRun(true);
    const int status = cli.run(QCoreApplication::arguments().mid(1), io);
    // An answer that did not reach its reader (a full disk, a closed stream) is no answer. The
    // stream's buffer is emptied here, while the failure can still be told.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err.write(QStringLiteral("quillory-cli: the answer could not be written to standard output: %1\n")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)))
                      .toUtf8());
        return 1;
    }
    return status;
}
