#include "FindColumn.h"
#include "core/AsciiCase.h"

static bool startsWithKey(const QString &line, const QString &key)
{
    return line.size() >= key.size() && SameAZ(QStringView(line).first(key.size()), key);
}

QString FindColumn(const QString &key, const QStringList &lines, bool html)
{
    const QString nbsp = QStringLiteral("&nbsp;");
    for (const QString &line : lines) {
        if (!startsWithKey(line, key))
            continue;
        // Normally ": " follows the key; "Height:480" has no blank, so the value starts
        // right after the colon.
        qsizetype start = key.size() + 2;
        if (line.size() > key.size() && line.at(key.size()) == u':' &&
            (line.size() <= key.size() + 1 || line.at(key.size() + 1) != u' '))
            start = key.size() + 1;
        QString value = start < line.size() ? line.mid(start) : QString();
        if (html && value.trimmed().isEmpty())
            return nbsp;
        return value;
    }
    return html ? nbsp : QString();
}
