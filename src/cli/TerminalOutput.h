#pragma once

#include <QIODevice>

// What the command line writes to a terminal: control characters a file or tag may hold (an
// escape sequence in a name would recolour or rewrite the user's screen) show as "?", as ls
// shows them. TAB and line ends, which the output itself is made of, pass. A pipe or a file gets
// every byte as stored.
class TerminalOutput : public QIODevice
{
public:
    explicit TerminalOutput(QIODevice *terminal);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    QIODevice *m_terminal;
};
