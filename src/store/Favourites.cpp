#include "Favourites.h"

#include "GroupTree.h"
#include "core/AsciiCase.h"
#include "core/TextCodec.h"
#include "store/DataPaths.h"

#include <QFileInfo>
#include <QHash>

QString Favourites::line(const Location &location)
{
    return location.serial + u'|' + location.discLabel + u'|' + location.path;
}

Favourites::Location Favourites::parse(const QString &line)
{
    Location l;
    const qsizetype first = line.indexOf(u'|');
    if (first < 0) {
        l.serial = line;
        return l;
    }
    l.serial = line.left(first);
    const qsizetype second = line.indexOf(u'|', first + 1);
    if (second < 0) {
        l.discLabel = line.mid(first + 1);
        return l;
    }
    l.discLabel = line.mid(first + 1, second - first - 1);
    l.path = line.mid(second + 1);
    return l;
}

QString Favourites::caption(const QString &line)
{
    const Location l = parse(line);
    return l.discLabel + l.path;
}

void Favourites::load(const QString &file)
{
    m_lines.clear();
    if (QFileInfo::exists(file))
        m_lines = TextCodec::readLines(file);
}

void Favourites::save(const QString &file) const
{
    TextCodec::writeLines(file, m_lines);
}

void Favourites::add(const Location &location)
{
    m_lines.append(line(location));
}

bool Favourites::remove(const Location &location)
{
    const QString wanted = line(location);
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (SameAZ(m_lines.at(i), wanted)) {
            m_lines.removeAt(i);
            return true;
        }
    }
    return false;
}

bool Favourites::matches(const Location &location) const
{
    // The path must follow the disc label's "|": a path text that also occurs earlier in the
    // line (inside the label) does not count.
    for (const QString &l : m_lines) {
        if (!l.startsWith(location.serial))
            continue;
        const qsizetype label = l.indexOf(location.discLabel);
        if (label < 0)
            continue;
        if (l.indexOf(location.path) == label + location.discLabel.size() + 1)
            return true;
    }
    return false;
}

namespace
{
// Every disc below start by its serial; of two with one serial, the first in the tree's order,
// as FindCD finds it. One walk for all the favourites: a walk each cost thousands of them seconds.
void collectDiscs(const TreeNode *start, QHash<QString, const TreeNode *> &discs)
{
    for (int i = 0; i < start->childCount(); ++i) {
        const TreeNode *c = start->child(i);
        if (!c->isDisc())
            collectDiscs(c, discs);
        else if (c->cd() && !discs.contains(c->cd()->Serial))
            discs.insert(c->cd()->Serial, c);
    }
}
} // namespace

bool Favourites::follow(TreeNode *root, const std::function<QString(const QString &title)> &labelOf,
                        const std::function<bool(const QString &serial)> &held)
{
    QHash<QString, const TreeNode *> discs;
    if (root && !m_lines.isEmpty())
        collectDiscs(root, discs);
    QStringList kept;
    for (const QString &l : std::as_const(m_lines)) {
        Location location = parse(l);
        const TreeNode *disc = discs.value(location.serial);
        if (!disc) {
            if (held(location.serial))
                kept.append(l);
            continue;
        }
        location.discLabel = labelOf(disc->cd()->Title);
        kept.append(line(location));
    }
    if (kept == m_lines)
        return false;
    m_lines = std::move(kept);
    return true;
}
