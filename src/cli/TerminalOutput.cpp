#include "TerminalOutput.h"

#include <QByteArray>

TerminalOutput::TerminalOutput(QIODevice *terminal) : m_terminal(terminal)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TerminalOutput::writeData(const char *data, qint64 size)
{
    QByteArray shown(data, size);
    for (char &c : shown)
        if ((static_cast<uchar>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7f)
            c = '?';
    return m_terminal->write(shown) == shown.size() ? size : -1;
}
