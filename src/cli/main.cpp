#include "CliApp.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillory!"));
    QFile out, err, in;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(stdin, QIODevice::ReadOnly);
    CliIo io{&out, &err, &in};
    CliApp cli;
    cli.setProcessEndsAfterRun(true);
    return cli.run(QCoreApplication::arguments().mid(1), io);
}
