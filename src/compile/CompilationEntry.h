#pragma once

#include <QString>

// One file or folder gathered from a catalogued disc, as the contents list described it when it
// was taken: its name, its icon, where it lies (Path: the disc's title, ":", the folder inside
// the disc, from "\" to "\"), the disc's serial and its size in bytes as text.
struct CompilationEntry {
    QString Name;
    int Icon = 0;
    QString Path;
    QString SN;
    QString IntSize;

    qint64 size() const { return IntSize.toLongLong(); }
    bool isFolder() const { return Icon == 0; }
};
