#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class TreeNode;

// The favourite locations, in the order they were added. Each is one line of "favorites.dat":
// the disc's serial, its label (title + ":") and the folder's path on the disc, joined by "|",
// as in 1A2B3C4D|Concert 1998:|\MUSIC\ROCK\. The file is read at start and written whole
// after each change.
class Favourites
{
public:
    struct Location {
        QString serial;
        QString discLabel;
        QString path;
    };

    static QString line(const Location &location);
    // Split at the first two "|"; a line without them leaves the later fields empty.
    static Location parse(const QString &line);
    // The menu item's caption: the disc label followed by the path.
    static QString caption(const QString &line);

    const QStringList &lines() const { return m_lines; }
    int count() const { return static_cast<int>(m_lines.size()); }

    // A missing file is an empty list. Throws QuilloryError when the file cannot be read.
    void load(const QString &file);
    // Replaces the file, an empty list giving an empty file. Throws QuilloryError.
    void save(const QString &file) const;

    // Appends the location, even when it is a favourite already.
    void add(const Location &location);
    // Removes the first favourite equal to the location, letters a-z compared without case.
    bool remove(const Location &location);
    // Whether "Remove Current Location" has something to remove for this location.
    bool matches(const Location &location) const;
    // Drops, silently, every favourite whose disc is no longer in the catalogue: not under root,
    // and not held (its contents file gone with it). A disc only missing from the tree (a lost
    // or damaged tree file, which an import may bring back) keeps its favourites. The others take
    // the label their disc has now (labelOf its title), so that a renamed disc's favourites
    // follow it. True when a favourite changed.
    bool follow(TreeNode *root, const std::function<QString(const QString &title)> &labelOf,
                const std::function<bool(const QString &serial)> &held);

private:
    QStringList m_lines;
};
