#pragma once

#include "ContentsEntry.h"

#include <QString>

// Where the contents list is: a group, a folder of a disc, the inside of an archive or a
// search result, and how it is sorted.
struct LocationState {
    static QString searchResult() { return QStringLiteral("SEARCH RESULT"); }

    QString currentSerial; // empty for a group, "SEARCH RESULT" for a search result
    QString discLabel;     // the disc's Title + ":"; empty for a group
    QString pathLabel;     // "\MUSIC\" on a disc; the group's caption for a group
    bool archiveMode = false;
    ExplorerColumn sortKey = ExplorerColumn::Type;
    bool ascending = true;
    // A comparison's answer listed in its own order (its copies group by group) rather than by
    // sortKey, until a column is chosen; the sort state itself is left as it was.
    bool answerOrder = false;

    bool isDiscListed() const { return !currentSerial.isEmpty() && currentSerial != searchResult(); }
    bool isSearchResult() const { return currentSerial == searchResult(); }
    bool isGroupListed() const { return currentSerial.isEmpty(); }

    // A header click: a fresh column starts ascending, a second click on the same one reverses.
    void columnClicked(ExplorerColumn column);
    // "Arrange Icons": that column, ascending.
    void arrange(ExplorerColumn column);

    // Title with ":" appended, always: a title may end with ":" itself ("Tape 2:").
    static QString labelFor(const QString &title);
    // The title back from a label: without the one ":" labelFor appended.
    static QString titleOf(const QString &label);
    // "\A\B\" -> "\A\"; the root stays "\".
    static QString parentPath(const QString &path);
};
