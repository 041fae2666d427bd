#include "TerminalOutput.h"

#include <QByteArray>

TerminalOutput::TerminalOutput(QIODevice *terminal) : m_terminal(terminal)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TerminalOutput::writeData(const char *data, qint64 size)
{
    QByteArray shown;
    shown.reserve(size);
    for (qint64 i = 0; i < size; ++i) {
        const auto c = static_cast<uchar>(data[i]);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7f) {
            shown += '?';
        } else if (c == 0xc2 && i + 1 < size && static_cast<uchar>(data[i + 1]) >= 0x80 &&
                   static_cast<uchar>(data[i + 1]) <= 0x9f) {
            // U+0080 to U+009F in UTF-8: the C1 controls, which many terminals obey as ESC
            // sequences (U+009B is CSI).
            shown += '?';
            ++i;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return m_terminal->write(shown) == shown.size() ? size : -1;
}
