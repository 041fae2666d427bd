#pragma once

#include <QString>

// Where a listed entry lies: its disc (title and serial), the folder inside the disc that holds
// it ("\Photos\", from "\" to "\") and, when it lies inside a ZIP archive of the disc, that
// archive's own place ("\DOCS\PACK.ZIP\"; the folder then starts with it). Its text is the
// disc's title, ":" and the folder ("Holiday:\Photos\"); a title may hold anything, so where
// only that text was kept, the first ":" ends the title.
class EntryPlace
{
public:
    // Ends the title in the text form.
    static constexpr char TitleEnd = ':';

    EntryPlace() = default;
    EntryPlace(const QString &title, const QString &serial, const QString &folder, const QString &archive = {});
    // A folder known only as text (a favourite, a path typed in): it lies inside a ZIP archive
    // when one of its folders is named "*.ZIP", in any case.
    static EntryPlace inFolder(const QString &title, const QString &serial, const QString &folder);
    // The text form back: title up to the first ":\", the folder after it.
    static EntryPlace parse(const QString &text, const QString &serial = {});

    const QString &title() const { return m_title; }
    const QString &serial() const { return m_serial; }
    const QString &folder() const { return m_folder; }
    const QString &archive() const { return m_archive; }
    // Title, ":" and folder; empty for no place (a group's entry).
    QString text() const;
    bool isEmpty() const { return m_title.isEmpty() && m_serial.isEmpty() && m_folder.isEmpty(); }

    // An entry inside a ZIP archive is no file of its own on the disc.
    bool insideZip() const { return !m_archive.isEmpty(); }
    // The entry named name inside its disc: "\Photos\" and "beach.jpg" give "\Photos\beach.jpg".
    QString onDisc(const QString &name) const { return m_folder + name; }
    // The place on a mounted medium of a place inside the disc: mediumRoot "/media/u/HOLIDAY/"
    // and "\Photos\beach.jpg" give "/media/u/HOLIDAY/Photos/beach.jpg". Empty for a place no
    // scan gives (a name "..", "." or with a "/", from a list made by hand): it would lead out
    // of the medium.
    static QString onMedium(const QString &mediumRoot, const QString &placeOnDisc);

    bool operator==(const EntryPlace &) const = default;

private:
    QString m_title;
    QString m_serial;
    QString m_folder;
    QString m_archive;
};
