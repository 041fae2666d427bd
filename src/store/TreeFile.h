#pragma once

#include "GroupTree.h"

#include <QString>
#include <functional>

// The group tree's file in DB.
inline constexpr char TreeFileName[] = "groups.tree";

// Messages the load must show the user (the GUI shows information boxes, the CLI prints).
using InfoCallback = std::function<void(const QString &)>;

// Whether a load may rewrite "groups.tree" (the upgrade of the older format). A program that
// does not own the catalogue, and the check of an archive's tree before an import, never write.
enum class TreeWrite { Allowed, Never };

// What a "groups.tree" may hold. Far beyond any real catalogue (thousands of discs make a few
// megabytes), so only a damaged or hostile file meets them; it is refused before it can cost
// much more memory than its own size.
namespace TreeLimits
{
constexpr qint64 MaxFileBytes = qint64(256) << 20;
constexpr qint64 MaxLineBytes = qint64(1) << 20;
constexpr int MaxNodes = 1000000;
// Deeper outlines are not something a person makes; refusing them keeps the recursive walks safe.
constexpr int MaxDepth = 1000;
// Whether a node with `height` levels below it (0 for a disc, 1 for a group that is to hold a disc) may be
// filed under a node at `parentLevel`: the tree file must load again.
constexpr bool fitsUnder(int parentLevel, int height = 0)
{
    return parentLevel + 1 + height <= MaxDepth;
}
} // namespace TreeLimits

// Tells whether the contents file of the disc with this (usable) serial exists.
using ContentsLookup = std::function<bool(const QString &serial)>;

// Replaces the tree with database folder + "groups.tree" (which must exist): outline, node
// kinds and records, discs without a contents file dropped, sorted. Discs whose serial cannot
// name a contents file are dropped too, and info names them. A file in the older nine-field
// format is read upgraded, and only once it has loaded completely is it rewritten (with the
// two messages), when `write` allows. On any failure the tree and the file are left as they
// were and QuilloryError is thrown.
void LoadTree(GroupTree &tree, const QString &dbFolder, const InfoCallback &info, TreeWrite write = TreeWrite::Allowed);

// The same load of any tree file: a disc stays when hasContents finds its contents file.
void LoadTreeFile(GroupTree &tree, const QString &treeFile, const ContentsLookup &hasContents, const InfoCallback &info,
                  TreeWrite write);

// Writes the whole tree to database folder + "groups.tree", atomically.
void SaveTree(const GroupTree &tree, const QString &dbFolder);

// The outline as lines, without touching the disk.
QStringList TreeToLines(const GroupTree &tree);
