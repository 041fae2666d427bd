#pragma once

#include <QString>
#include <QTextDocument>

// A tooltip takes a text that looks like markup ("a<b>c") for markup. Titles, names and tags from
// the catalogue are shown as they were typed.
inline QString PlainTip(const QString &text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}
