#pragma once

// One run of a program to its end, for the tests that run real tools and the built programs.

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <csignal>

struct ProgramRun {
    int code = -1; // -1 when it could not be started, did not end in time or was ended by a signal
    QByteArray out;
    QByteArray err;
    bool signalled = false;
};

// input goes to standard input; env holds "NAME=value" entries set over this process's own.
inline ProgramRun runProgram(const QString &program, const QStringList &args, const QByteArray &input = QByteArray(),
                             const QString &workDir = QString(), const QStringList &env = QStringList())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    if (!env.isEmpty()) {
        QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
        for (const QString &v : env)
            vars.insert(v.section(u'=', 0, 0), v.section(u'=', 1));
        p.setProcessEnvironment(vars);
    }
    // As from a shell: a file-size limit (FileSizeLimit) reaches the program with its signal in
    // force, which the built programs must turn into a failed write themselves.
    p.setChildProcessModifier([] { std::signal(SIGXFSZ, SIG_DFL); });
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000))
        return {};
    const bool signalled = p.exitStatus() != QProcess::NormalExit;
    return {signalled ? -1 : p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError(), signalled};
}
