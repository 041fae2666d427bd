#include "CliApp.h"
#include "TerminalOutput.h"

#include <QCoreApplication>
#include <QFile>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
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
    return cli.run(QCoreApplication::arguments().mid(1), io);
}
