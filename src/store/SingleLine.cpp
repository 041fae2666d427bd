#include "SingleLine.h"

QString MultiToSingle(const QString &text)
{
    QString s = text;
    for (QChar &c : s) {
        if (c == u'\r')
            c = u'~';
        else if (c == u'\n')
            c = u'!';
    }
    return s;
}

QString SingleToMulti(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'~' && i + 1 < text.size() && text.at(i + 1) == u'!') {
            s += QLatin1String("\r\n");
            ++i;
        } else {
            s += text.at(i);
        }
    }
    return s;
}
