#pragma once

#include "listing/EntryPlace.h"

#include <QString>

// One file or folder gathered from a catalogued disc, as the contents list described it when it
// was taken: its name, its icon, where it lies and its size in bytes.
struct CompilationEntry {
    QString Name;
    int Icon = 0;
    EntryPlace Place;
    qint64 Size = 0;

    bool isFolder() const { return Icon == 0; }
};
