#pragma once

#include <QString>

struct TCD;

// Names of groups and discs as the tree shows and stores them.
namespace TreeNames
{

// A name of 21 characters or more is cut to 20 and "..." follows; for menu captions.
QString ShortName(const QString &name);

// Why a node name cannot be stored in "groups.tree": a "|", a line break, or a leading
// blank or tab would be read back as another record or another level. Empty when the name
// is fine.
QString Problem(const QString &name);

// The tree's hint for a disc: "Titile: ", the number, and the description, genre and
// borrower when they are set; lines joined by "\n".
QString DiscHint(const TCD &cd);
} // namespace TreeNames
