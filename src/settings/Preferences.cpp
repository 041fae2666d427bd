#include "Preferences.h"

#include "core/QuilloryError.h"
#include "core/TMask.h"
#include "core/TextCodec.h"
#include "store/CatalogueLock.h"
#include "store/DataPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryFile>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

// A stored number, the way the registry held it: a 32-bit integer. Null for anything else.
std::optional<int> storedInt(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QString storedText(const QVariant &v)
{
    // An unquoted value holding commas comes back from an INI file as a list.
    if (v.metaType().id() == QMetaType::QStringList)
        return v.toStringList().join(u',');
    return v.toString();
}

// The one form a value is held in, so that a change is told only when there is one: a box
// as 0 or 1, a number as an int, an empty text as unset.
QVariant held(const Preferences::Item &item, const QVariant &v)
{
    if (v.isNull())
        return v;
    switch (item.type) {
    case Preferences::Type::Box:
        return int(v.toBool());
    case Preferences::Type::Number:
        return v.toInt();
    case Preferences::Type::Text:
        return v.toString().isEmpty() ? QVariant() : QVariant(v.toString());
    }
    return v;
}

// A value as the file holds it; none when the file lacks it.
std::optional<QString> stored(const QSettings &settings, const Preferences::Item &item)
{
    return settings.contains(item.name) ? std::optional<QString>(storedText(settings.value(item.name))) : std::nullopt;
}

std::array<Preferences::Item, Preferences::Count> makeItems()
{
    using P = Preferences;
    using T = P::Type;
    using L = P::Load;
    constexpr int Largest = std::numeric_limits<int>::max();
    std::array<P::Item, P::Count> r;
    const auto row = [&r](const P::Item &item) { r[item.id] = item; };
    // The archive and Monkey's Audio filters are ticked on a first run, and the library readers'
    // (from "Filter 10" on).
    for (int i = 0; i < P::FilterCount; ++i)
        row({P::Id(P::Filter0 + i), u"Filter %1"_s.arg(i), T::Box, int(i == 0 || i == 7 || i >= 10), 0, 1, u"Filters"_s,
             L::FirstIfMissing});
    row({P::AutoInsert, u"AutoInsert"_s, T::Box, 1, 0, 1, u"AutoInsert"_s});
    row({P::Eject, u"Eject"_s, T::Box, 1, 0, 1, u"EjectBox"_s});
    // The four double-click actions; a stored one outside them chooses none in the window.
    row({P::Action, u"Action"_s, T::Number, 3, 0, 3, u"ActionCombo"_s});
    row({P::CorrectLabel, u"CorrectLabel"_s, T::Box, 1, 0, 1, u"LabelBox"_s});
    row({P::SavePos, u"SavePos"_s, T::Box, 1, 0, 1, u"WindowBox"_s});
    row({P::Grids, u"Grids"_s, T::Box, 1, 0, 1, u"GridBox"_s});
    row({P::Unlimited, u"Unlimited"_s, T::Box, 1, 0, 1, u"UnlimitedBox"_s});
    // A search without a limit is "Unlimited", not a count of none.
    row({P::MaxResults, u"MaxResults"_s, T::Number, 1000, 1, Largest, u"MaxSearch"_s});
    row({P::EmptyDirs, u"EmptyDirs"_s, T::Box, 0, 0, 1, u"EmptyBox"_s});
    row({P::EmptyFiles, u"EmptyFiles"_s, T::Box, 0, 0, 1, u"EmptyFilesBox"_s});
    row({P::DiscEditDblClick, u"DiscEditDblClick"_s, T::Box, 1, 0, 1, u"DiscEditBox"_s});
    row({P::AutoExpand, u"AutoExpand"_s, T::Box, 1, 0, 1, u"ExpandBox"_s});
    row({P::HiddenFiles, u"HiddenFiles"_s, T::Box, 0, 0, 1, u"HiddenBox"_s, L::AnyNumberTicks});
    // Reading every byte takes as long as copying the disc: off until the user asks for it.
    row({P::Checksums, u"Checksums"_s, T::Box, 0, 0, 1, u"ChecksumsBox"_s});
    // The main window's own state. Only the four view styles exist.
    row({P::ViewStyle, u"ViewStyle"_s, T::Number, {}, 0, 3, {}, L::InRange, true});
    row({P::TreeWidth, u"TreeWidth"_s, T::Number, {}, 0, Largest, {}, L::Applied, true});
    row({P::Theme, u"Theme"_s, T::Text, {}, 0, 0, {}, L::Applied, true});
    // A stored 1 shows the information panel; nothing stored ever hides it.
    row({P::ObjectInfo, u"ObjectInfo"_s, T::Box, 0, 0, 1, {}, L::OnlyTicks, true});
    row({P::AutoExpandGroups, u"AutoExpandGroups"_s, T::Text, u"|"_s, 0, 0, {}, L::Applied, true});
    return r;
}

} // namespace

std::span<const Preferences::Item> Preferences::items()
{
    static const std::array<Item, Count> table = makeItems();
    return table;
}

const Preferences::Item *Preferences::item(const QString &name)
{
    for (const Item &i : items())
        if (i.name == name)
            return &i;
    return nullptr;
}

Preferences::Preferences(QObject *parent) : QObject(parent)
{
    restore(true);
}

void Preferences::reload(const QString &settingsFile)
{
    // Cancel must undo a change even to a value that was never stored, so the choices start
    // from their first-run state. The window's own state (view style, skin, tree width...) is
    // not on the dialog and stays as it stands, whatever the file held at the start.
    restore(false);
    QSettings settings(settingsFile, QSettings::IniFormat);
    load(settings, false);
}

void Preferences::refresh(const QString &settingsFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    for (const Item &item : items()) {
        if (item.windowState || changedHere(item, value(item)))
            continue;
        apply(item, stored(settings, item));
        m_inFile[item.id] = value(item);
    }
}

void Preferences::restore(bool windowStateToo)
{
    for (const Item &item : items())
        if (windowStateToo || !item.windowState)
            m_values[item.id] = held(item, item.first);
    Q_EMIT changed(QString());
}

bool Preferences::changedHere(const Item &item, const QString &text) const
{
    const std::optional<QString> &was = m_inFile[item.id];
    return !was || was->isNull() != text.isNull() || *was != text;
}

void Preferences::set(Id id, const QVariant &v)
{
    const Item &item = items()[id];
    const QVariant h = held(item, v);
    if (m_values[id] == h)
        return;
    m_values[id] = h;
    Q_EMIT changed(item.name);
}

void Preferences::setFilter(int item, bool ticked)
{
    if (item >= 0 && item < FilterCount)
        set(Id(Filter0 + item), ticked);
}

QString Preferences::value(const Item &item) const
{
    // An unset value is written as its first-run one, when it has one.
    const QVariant &v = m_values[item.id].isNull() ? item.first : m_values[item.id];
    if (v.isNull())
        return QString();
    return item.type == Type::Text ? v.toString() : QString::number(v.toInt());
}

QString Preferences::value(const QString &name) const
{
    const Item *i = item(name);
    return i ? value(*i) : QString();
}

bool Preferences::setValue(const QString &name, const QString &text, QString *error)
{
    auto fail = [error](const QString &msg) {
        if (error)
            *error = msg;
        return false;
    };
    const Item *i = item(name);
    if (!i)
        return fail(u"Unknown preference \"%1\"."_s.arg(name));
    if (i->type == Type::Text) {
        set(i->id, text);
        return true;
    }
    const std::optional<int> n = storedInt(text);
    if (!n)
        return fail(u"The preference \"%1\" takes a whole number, not \"%2\"."_s.arg(name, text));
    if (*n < i->min || *n > i->max) {
        const QString allowed = i->max == i->min + 1 ? u"%1 or %2"_s : u"%1 to %2"_s;
        return fail(u"The preference \"%1\" takes %2, not \"%3\"."_s.arg(name, allowed.arg(i->min).arg(i->max), text));
    }
    set(i->id, *n);
    return true;
}

void Preferences::apply(const Item &item, const std::optional<QString> &stored)
{
    if (item.type == Type::Text) {
        if (stored)
            set(item.id, *stored);
        return;
    }
    const std::optional<int> n = stored ? storedInt(*stored) : std::nullopt;
    const bool box = item.type == Type::Box;
    switch (item.load) {
    case Load::Applied:
        if (n)
            set(item.id, box ? int(*n == 1) : *n);
        break;
    case Load::FirstIfMissing:
        set(item.id, n ? QVariant(int(*n == 1)) : item.first);
        break;
    case Load::InRange:
        if (n && *n >= item.min && *n <= item.max)
            set(item.id, *n);
        break;
    case Load::AnyNumberTicks:
        if (n)
            set(item.id, int(*n != 0));
        break;
    case Load::OnlyTicks:
        if (n == 1)
            set(item.id, 1);
        break;
    }
}

void Preferences::load(const QString &settingsFile)
{
    // A missing file reads as one with nothing stored.
    QSettings settings(settingsFile, QSettings::IniFormat);
    load(settings);
}

void Preferences::load(QSettings &settings)
{
    load(settings, true);
}

namespace
{
// QSettings tells that a write failed, never why: a small file written beside them meets what
// stopped it (a full disk, a folder this user may not write).
QString writeProblem(const QString &settingsFile)
{
    // The folder first: a probe inside a folder never made would only say "No such file or directory".
    const QString folder = QFileInfo(settingsFile).absolutePath();
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), made);
    if (made)
        return QStringLiteral("Its folder \"%1\" cannot be made: %2")
            .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(made.message()));
    // Named as the settings' own temporary files are, which a start clears should a kill leave it.
    QTemporaryFile probe(settingsFile + QLatin1String(".XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    // Straight to the system: Qt's buffered writes lose the reason.
    const QByteArray bytes(16 << 10, '\n');
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(probe.handle(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return qt_error_string(n < 0 ? errno : ENOSPC);
        done += n;
    }
    return QString();
}

// A second name for the file ("<name>.kept-XXXXXX": not one of the settings' own temporary
// files, which a start removes while no save holds their lock); empty when none could be made.
// A link needs no room on the disk.
QString linkBeside(const QString &file)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int attempt = 0; attempt < 8; ++attempt) {
        QString name = file + QLatin1String(".kept-");
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(digits[QRandomGenerator::global()->bounded(62)]);
        if (::link(QFile::encodeName(file).constData(), QFile::encodeName(name).constData()) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return QString();
}
} // namespace

void Preferences::load(QSettings &settings, bool windowStateToo)
{
    for (const Item &item : items())
        if (windowStateToo || !item.windowState) {
            apply(item, stored(settings, item));
            m_inFile[item.id] = value(item);
        }
}

void Preferences::save(const QString &settingsFile) const
{
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    CatalogueLock::clearUnreadable(settingsFile + QLatin1String(".lock"));
    // The settings library loses the error of its last flush: on a full disk it can put an
    // empty or cut file over the preferences and call it done. The file as it was is kept
    // under a second name until the new one is seen to hold every key, read through a name of
    // its own (the library would answer from what it believes it wrote). Another program's
    // save, which merges, never drops a key, so it is not taken for a cut file; and the old
    // file is put back only over the very file that was read.
    const QString kept = QFileInfo(settingsFile).size() > 0 ? linkBeside(settingsFile) : QString();
    const auto dropKept = qScopeGuard([&kept] {
        if (!kept.isEmpty())
            QFile::remove(kept);
    });
    QSettings settings(settingsFile, QSettings::IniFormat);
    save(settings);
    settings.sync();
    bool whole = settings.status() == QSettings::NoError;
    struct stat checked {
    };
    if (whole) {
        const QString check = linkBeside(settingsFile);
        if (!check.isEmpty() && ::stat(QFile::encodeName(check).constData(), &checked) == 0) {
            {
                const QSettings written(check, QSettings::IniFormat);
                for (const QString &key : settings.allKeys())
                    if (!written.contains(key)) {
                        whole = false;
                        break;
                    }
            }
            QFile::remove(check);
            QFile::remove(check + QLatin1String(".lock"));
        }
    }
    if (!whole) {
        struct stat now {
        };
        if (!kept.isEmpty() && settings.status() == QSettings::NoError &&
            ::stat(QFile::encodeName(settingsFile).constData(), &now) == 0 && now.st_dev == checked.st_dev &&
            now.st_ino == checked.st_ino)
            ::rename(QFile::encodeName(kept).constData(), QFile::encodeName(settingsFile).constData());
        const QString why = writeProblem(settingsFile);
        throw QuilloryError(QStringLiteral("Cannot write the preferences to \"%1\".%2")
                                .arg(QDir::toNativeSeparators(settingsFile), why.isEmpty() ? QString() : u' ' + why));
    }
}

void Preferences::save(QSettings &settings) const
{
    for (const Item &item : items()) {
        const QString text = value(item);
        if (!changedHere(item, text) && settings.contains(item.name))
            continue;
        m_inFile[item.id] = text;
        if (text.isNull()) {
            // No view style, tree width or theme: one stored before (a skin, say, before
            // Built-in Icons was chosen) must not come back at the next start.
            settings.remove(item.name);
            continue;
        }
        if (item.type == Type::Text)
            settings.setValue(item.name, text);
        else
            settings.setValue(item.name, text.toInt());
    }
}

void Preferences::setExclusions(const QStringList &masks)
{
    // An empty mask fits no name and shows as a blank row; a second copy of one adds nothing.
    QStringList kept;
    for (const QString &m : masks)
        if (!m.isEmpty() && !kept.contains(m))
            kept.append(m);
    if (m_exclusions == kept)
        return;
    m_exclusions = kept;
    Q_EMIT changed(QStringLiteral("exclusions"));
}

QString Preferences::exclusionProblem(const QString &mask)
{
    for (const QChar c : mask)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("An exclusion mask is one line of text: \"%1\" holds a line break, a tab or "
                                  "another control character.")
                .arg(QString(mask).replace(u'\n', u' ').replace(u'\r', u' '));
    try {
        TMask check(mask);
    } catch (const QuilloryError &e) {
        return e.message();
    }
    return QString();
}

void Preferences::loadExclusions(const QString &dataFolder)
{
    const QString file = DataPaths::exclusionsFile(dataFolder);
    if (!QFileInfo::exists(file))
        return;
    setExclusions(TextCodec::readLines(file));
}

void Preferences::saveExclusions(const QString &dataFolder) const
{
    QDir().mkpath(dataFolder);
    TextCodec::writeLines(DataPaths::exclusionsFile(dataFolder), m_exclusions);
}

void Preferences::removeInterruptedSaves(const QString &settingsFile)
{
    const QFileInfo info(settingsFile);
    const QDir folder = info.dir();
    if (!folder.exists())
        return;
    // The settings are written into "<name>.XXXXXX" beside the file, which is then renamed
    // over it, all under the lock file "<name>.lock"; every program that saves them takes
    // that lock. While it is held here, no save is under way, in any program on any
    // catalogue, so such a file is what a killed save left. When it is busy, the next start
    // looks again.
    CatalogueLock::clearUnreadable(settingsFile + QLatin1String(".lock"));
    QLockFile saving(settingsFile + QLatin1String(".lock"));
    if (!saving.tryLock(0))
        return;
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(QRegularExpression::escape(info.fileName()) +
                                                                           QLatin1String("\\.[0-9A-Za-z]{6}")));
    const QStringList names = folder.entryList({info.fileName() + QLatin1String(".??????")},
                                               QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : names)
        if (temporary.match(name).hasMatch())
            QFile::remove(folder.filePath(name));
    // The old file a save keeps until its new one is seen whole, left by a kill: a save takes
    // seconds at most.
    const QDateTime past = QDateTime::currentDateTime().addSecs(-60);
    for (const QFileInfo &kept : folder.entryInfoList({info.fileName() + QLatin1String(".kept-??????")},
                                                      QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
        if (kept.lastModified() < past && kept.metadataChangeTime() < past)
            QFile::remove(kept.filePath());
}
