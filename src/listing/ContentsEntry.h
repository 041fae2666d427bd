#pragma once

#include "EntryPlace.h"

#include <QString>
#include <QStringList>

// One entry of the contents list in full: caption, image index, where it lies, its size in
// bytes, column texts (Type, Path, Size, Date, then any further ones) and its object-info lines
// ("Type: Folder", "SN: ..."), which are display text only: nothing reads a place or a size
// back from them. Large listings never hold these per row; ContentsListing builds one when asked.
struct ContentsEntry {
    enum Kind : quint8 { Up, Folder, File, Archive, Group, Disc };

    Kind kind = File;
    QString caption;
    int image = 0;
    EntryPlace place; // empty for a group
    qint64 size = 0;
    QStringList columns; // from the Type column on
    QStringList info;
    QString checksum; // a file's 32 hex digits, when its disc was scanned with checksums

    QString column(int i) const { return i < columns.size() ? columns.at(i) : QString(); }
    // The line the object info and Object Properties show for the checksum; empty without one.
    QString checksumLine() const { return checksum.isEmpty() ? QString() : QStringLiteral("Checksum: ") + checksum; }
};

// Column positions of the contents list.
enum class ExplorerColumn : int { Name = 0, Type = 1, Path = 2, Size = 3, Date = 4 };
constexpr int ExplorerColumnCount = 5;
