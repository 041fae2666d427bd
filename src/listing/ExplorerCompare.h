#pragma once

#include "ContentsEntry.h"

#include <QByteArrayView>
#include <QtGlobal>

// What the list's comparison needs of one entry, prepared once per sort.
struct ExplorerSortItem {
    bool isUp = false;      // the ".." entry
    bool isFolder = false;  // Type column "Folder"
    bool isGroup = false;   // Type column "Group"
    QByteArrayView caption; // UTF-8
    QByteArrayView text;    // UTF-8 key text for Name, Type and Path
    qint64 number = 0;      // IntSize for Size; the calendar day for Date
    bool hasNumber = true;  // false: the Date column did not convert
};

// Letters a-z compared without case, everything else by UTF-8 bytes (code point order).
int CompareNoCase(QByteArrayView a, QByteArrayView b);
// The first eight bytes of a text as CompareNoCase sees them, as one number: two texts whose
// numbers differ compare as their numbers do; equal numbers tell nothing.
quint64 NoCasePrefix(QByteArrayView text);

// The contents list's order: ".." first, folders before everything whatever the direction,
// groups first when ascending and last when descending, then the key in the direction,
// then the caption in the direction. Negative: a comes first.
int ExplorerCompare(const ExplorerSortItem &a, const ExplorerSortItem &b, ExplorerColumn key, bool ascending);
