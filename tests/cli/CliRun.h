#pragma once

// Shared by the command-line tests: one run of the commands in this process on buffers, or of the real program.

#include "cli/CliApp.h"

#include <QBuffer>
#include <QProcess>

struct CliRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

inline CliRun runCli(const QStringList &args, const QByteArray &input = QByteArray())
{
    QByteArray outBytes, errBytes, inBytes = input;
    QBuffer out(&outBytes), err(&errBytes), in(&inBytes);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    in.open(QIODevice::ReadOnly);
    CliApp app;
    const int code = app.run(args, CliIo{&out, &err, &in});
    return {code, outBytes, errBytes};
}

// The built program in a process of its own; code -1 when it could not be run.
inline CliRun runProgram(const QStringList &args)
{
    QProcess p;
    p.start(qEnvironmentVariable("QUILLORY_CLI"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
