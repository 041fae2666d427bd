#pragma once

#include "GroupTree.h"

#include <QString>
#include <functional>

// Messages the load must show the user (the GUI shows information boxes, the CLI prints).
using InfoCallback = std::function<void(const QString &)>;

// Upgrades a "groups.tree" whose disc lines have nine fields. Returns true when it did.
bool CheckTreeFormat(const QString &dbFolder, const InfoCallback &info);

// Replaces the tree with database folder + "groups.tree" (which must exist): format check,
// outline, node kinds and records, discs without a contents file dropped, sorted. Discs
// whose serial cannot name a contents file are dropped too, and info names them.
// On any failure the tree is left as it was and QuilloryError is thrown.
void LoadTree(GroupTree &tree, const QString &dbFolder, const InfoCallback &info);

// Reads outline lines into an empty scratch tree: nodes, kinds and records, nothing checked
// on disk. Throws QuilloryError for a bad level, a bad number, or an absurd depth.
void ParseOutline(GroupTree &scratch, const QStringList &lines);

// Writes the whole tree to database folder + "groups.tree", atomically.
void SaveTree(const GroupTree &tree, const QString &dbFolder);

// The outline as lines, without touching the disk.
QStringList TreeToLines(const GroupTree &tree);
