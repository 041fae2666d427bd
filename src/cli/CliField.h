#pragma once

#include <QByteArray>
#include <QString>

// The fields of the tab-separated answers. A name from a catalogue another program made (an
// import, a shared folder) may hold a TAB or a line break, which would forge a column or a line
// for the script that reads the answer: in a field they show as "?".
namespace CliField
{

inline void cleanRange(char *begin, char *end)
{
    for (char *c = begin; c != end; ++c)
        if (*c == '\t' || *c == '\n' || *c == '\r')
            *c = '?';
}

inline void cleanFrom(QByteArray &out, qsizetype from)
{
    cleanRange(out.data() + from, out.data() + out.size());
}

inline void append(QByteArray &out, QByteArrayView field)
{
    const qsizetype from = out.size();
    out += field;
    cleanFrom(out, from);
}

inline QString clean(QString field)
{
    for (QChar &c : field)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u'?';
    return field;
}

} // namespace CliField
