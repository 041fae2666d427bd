#pragma once

// Shared by the command-line tests: one run of the commands in this process on buffers, or of the real program.

#include "RunProgram.h"
#include "cli/CliApp.h"

#include <QBuffer>

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

// The built program in a process of its own, with input on standard input and these variables
// set ("NAME=value"); code -1 when it could not be run or did not end by itself.
inline CliRun runProgram(const QStringList &args, const QByteArray &input = QByteArray(),
                         const QStringList &env = QStringList())
{
    const ProgramRun r = runProgram(qEnvironmentVariable("QUILLORY_CLI"), args, input, QString(), env);
    return {r.code, r.out, r.err};
}
