#pragma once

#include <QString>
#include <QStringList>

// The value of one key among an entry's object-info lines ("Type: File", "Height:480").
// Keys match by prefix, letters a-z without regard to case; the first matching line wins.
// With html set, a missing, empty or blank value reads as "&nbsp;".
QString FindColumn(const QString &key, const QStringList &lines, bool html = false);
