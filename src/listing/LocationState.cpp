#include "LocationState.h"

void LocationState::columnClicked(ExplorerColumn column)
{
    // Out of an answer's own order, the column starts ascending, whatever it was before.
    ascending = answerOrder || !(sortKey == column && ascending);
    sortKey = column;
    answerOrder = false;
}

void LocationState::arrange(ExplorerColumn column)
{
    sortKey = column;
    ascending = true;
    answerOrder = false;
}

QString LocationState::labelFor(const QString &title)
{
    return title + u':';
}

QString LocationState::titleOf(const QString &label)
{
    return label.endsWith(u':') ? label.chopped(1) : label;
}

QString LocationState::parentPath(const QString &path)
{
    QString p = path.trimmed();
    if (p.endsWith(u'\\'))
        p.chop(1);
    const qsizetype cut = p.lastIndexOf(u'\\');
    if (cut < 0)
        return QStringLiteral("\\");
    return p.left(cut + 1);
}
