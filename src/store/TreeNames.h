#pragma once

#include <QString>

struct TCD;

// Names of groups and discs as the tree shows and stores them. Every name that reaches the
// tree, from any dialog or the command line, is checked here.
namespace TreeNames
{

// A name of 21 characters or more is cut to 20 and "..." follows; for menu captions.
QString ShortName(const QString &name);

// Why a node name cannot be stored in "groups.tree": a "|", a line break, or a leading
// blank or tab would be read back as another record or another level. Empty when the name
// is fine.
QString Problem(const QString &name);
// The same rule for a disc title, with the Add Disc dialog's own words for an empty title and
// a "|". Empty when the title is fine.
QString TitleProblem(const QString &title);

// Why a borrower's name cannot be stored. It is the record's last field, so a "|" in it reads
// back whole; but an empty or blank name would read back as a disc that is present, and a line
// break would end the record. Empty when the name is fine.
QString BorrowerProblem(const QString &name);

// The tree's hint for a disc: "Titile: ", the number, and the description, genre and
// borrower when they are set; lines joined by "\n".
QString DiscHint(const TCD &cd);
} // namespace TreeNames
