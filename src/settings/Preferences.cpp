#include "Preferences.h"

#include "store/DataPaths.h"
#include "core/QuilloryError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <limits>

namespace
{

// The check-box values, in the order save() writes them after the filters.
enum class Box {
    AutoInsert,
    Eject,
    CorrectLabel,
    SavePos,
    Grids,
    DiscEditDblClick,
    AutoExpand,
    Unlimited,
    EmptyDirs,
    EmptyFiles,
    HiddenFiles,
    ObjectInfo
};

QString filterName(int item)
{
    return QStringLiteral("Filter ") + QString::number(item);
}

int filterIndex(const QString &name)
{
    for (int i = 0; i < Preferences::FilterCount; ++i)
        if (name == filterName(i))
            return i;
    return -1;
}

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

// The two values stored as free text; every other one is a number.
bool isText(const QString &name)
{
    return name == QLatin1String("Theme") || name == QLatin1String("AutoExpandGroups");
}

QString notANumber(const QString &name, const QString &text)
{
    return QStringLiteral("The preference \"%1\" takes a whole number, not \"%2\".").arg(name, text);
}

QString boolText(bool b)
{
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

const QStringList &Preferences::filterCaptions()
{
    static const QStringList captions{
        QStringLiteral("Zipped Archives (*.zip)"),
        QStringLiteral("Windows Bitmap (*.bmp)"),
        QStringLiteral("JPEG Files (*.jpg; *.jpe; *.jpeg)"),
        QStringLiteral("CompuServe Graphics Interchange (*.gif)"),
        QStringLiteral("Portable Network Graphics (*.png)"),
        QStringLiteral("Windows Waveform (*.wav)"),
        QStringLiteral("MPEG Audio File (*.mp3)"),
        QStringLiteral("Monkey Audio File (*.ape)"),
        QStringLiteral("OGG Vorbis File (*.ogg)"),
        QStringLiteral("HTML Pages (*.htm; *.html; *.shtml; *.dhtml)"),
    };
    return captions;
}

const QStringList &Preferences::valueNames()
{
    static const QStringList names = [] {
        QStringList n;
        for (int i = 0; i < FilterCount; ++i)
            n << filterName(i);
        n << QStringLiteral("AutoInsert") << QStringLiteral("Eject") << QStringLiteral("Action")
          << QStringLiteral("CorrectLabel") << QStringLiteral("SavePos") << QStringLiteral("Grids")
          << QStringLiteral("Unlimited") << QStringLiteral("MaxResults") << QStringLiteral("EmptyDirs")
          << QStringLiteral("EmptyFiles") << QStringLiteral("DiscEditDblClick") << QStringLiteral("AutoExpand")
          << QStringLiteral("HiddenFiles") << QStringLiteral("ViewStyle") << QStringLiteral("TreeWidth")
          << QStringLiteral("Theme") << QStringLiteral("ObjectInfo") << QStringLiteral("AutoExpandGroups");
        return n;
    }();
    return names;
}

bool Preferences::isValueName(const QString &name)
{
    return valueNames().contains(name);
}

std::optional<Preferences::Range> Preferences::range(const QString &name)
{
    if (!isValueName(name) || isText(name))
        return std::nullopt;
    constexpr int Largest = std::numeric_limits<int>::max();
    // The four double-click actions; the four view styles.
    if (name == QLatin1String("Action") || name == QLatin1String("ViewStyle"))
        return Range{0, 3};
    // A search without a limit is "Unlimited", not a count of none.
    if (name == QLatin1String("MaxResults"))
        return Range{1, Largest};
    if (name == QLatin1String("TreeWidth"))
        return Range{0, Largest};
    return Range{0, 1};
}

bool Preferences::isAllowedValue(const QString &name, const QString &text, QString *error)
{
    auto fail = [error](const QString &msg) {
        if (error)
            *error = msg;
        return false;
    };
    if (!isValueName(name))
        return fail(QStringLiteral("Unknown preference \"%1\".").arg(name));
    const std::optional<Range> r = range(name);
    if (!r)
        return true;
    const std::optional<int> n = storedInt(text);
    if (!n)
        return fail(notANumber(name, text));
    if (*n < r->min || *n > r->max) {
        const QString allowed = r->max == r->min + 1 ? QStringLiteral("%1 or %2") : QStringLiteral("%1 to %2");
        return fail(QStringLiteral("The preference \"%1\" takes %2, not \"%3\".")
                        .arg(name, allowed.arg(r->min).arg(r->max), text));
    }
    return true;
}

Preferences::Preferences(QObject *parent) : QObject(parent)
{
    resetToInitial();
}

void Preferences::resetToInitial()
{
    setInitialChoices();
    m_viewStyle.reset();
    m_treeWidth.reset();
    m_theme.clear();
    m_objectInfo = false;
    m_autoExpandGroups.clear();
    Q_EMIT changed(QString());
}

void Preferences::reload(const QString &settingsFile)
{
    // Cancel must undo a change even to a value that was never stored, so the choices start
    // from their first-run state; the window's own state is left as it stands.
    setInitialChoices();
    Q_EMIT changed(QString());
    load(settingsFile);
}

void Preferences::setInitialChoices()
{
    m_filters.fill(false);
    m_filters[0] = true;
    m_filters[7] = true;
    m_autoInsert = true;
    m_eject = true;
    m_correctLabel = true;
    m_action = 3;
    m_savePos = true;
    m_grids = true;
    m_discEditDblClick = true;
    m_autoExpand = true;
    m_unlimited = true;
    m_maxResults = 1000;
    m_emptyDirs = false;
    m_emptyFiles = false;
    m_hiddenFiles = false;
}

bool Preferences::IsActiveFilter(const QString &extension) const
{
    const QString probe = extension.toLower();
    const QStringList &captions = filterCaptions();
    for (int i = 0; i < FilterCount; ++i)
        if (captions.at(i).contains(probe))
            return m_filters[static_cast<size_t>(i)];
    return false;
}

template <typename T> void Preferences::assign(T &member, const T &v, const QString &name)
{
    if (member == v)
        return;
    member = v;
    Q_EMIT changed(name);
}

void Preferences::setFilter(int item, bool ticked)
{
    if (item < 0 || item >= FilterCount)
        return;
    assign(m_filters[static_cast<size_t>(item)], ticked, filterName(item));
}

void Preferences::setAutoInsert(bool v)
{
    assign(m_autoInsert, v, QStringLiteral("AutoInsert"));
}
void Preferences::setEject(bool v)
{
    assign(m_eject, v, QStringLiteral("Eject"));
}
void Preferences::setCorrectLabel(bool v)
{
    assign(m_correctLabel, v, QStringLiteral("CorrectLabel"));
}
void Preferences::setAction(int v)
{
    assign(m_action, v, QStringLiteral("Action"));
}
void Preferences::setSavePos(bool v)
{
    assign(m_savePos, v, QStringLiteral("SavePos"));
}
void Preferences::setGrids(bool v)
{
    assign(m_grids, v, QStringLiteral("Grids"));
}
void Preferences::setDiscEditDblClick(bool v)
{
    assign(m_discEditDblClick, v, QStringLiteral("DiscEditDblClick"));
}
void Preferences::setAutoExpand(bool v)
{
    assign(m_autoExpand, v, QStringLiteral("AutoExpand"));
}
void Preferences::setUnlimited(bool v)
{
    assign(m_unlimited, v, QStringLiteral("Unlimited"));
}
void Preferences::setMaxResults(int v)
{
    assign(m_maxResults, v, QStringLiteral("MaxResults"));
}
void Preferences::setEmptyDirs(bool v)
{
    assign(m_emptyDirs, v, QStringLiteral("EmptyDirs"));
}
void Preferences::setEmptyFiles(bool v)
{
    assign(m_emptyFiles, v, QStringLiteral("EmptyFiles"));
}
void Preferences::setHiddenFiles(bool v)
{
    assign(m_hiddenFiles, v, QStringLiteral("HiddenFiles"));
}
void Preferences::setViewStyle(std::optional<int> v)
{
    assign(m_viewStyle, v, QStringLiteral("ViewStyle"));
}
void Preferences::setTreeWidth(std::optional<int> v)
{
    assign(m_treeWidth, v, QStringLiteral("TreeWidth"));
}
void Preferences::setTheme(const QString &v)
{
    assign(m_theme, v, QStringLiteral("Theme"));
}
void Preferences::setObjectInfo(bool v)
{
    assign(m_objectInfo, v, QStringLiteral("ObjectInfo"));
}
void Preferences::setAutoExpandGroups(const QString &v)
{
    assign(m_autoExpandGroups, v, QStringLiteral("AutoExpandGroups"));
}

QString Preferences::value(const QString &name) const
{
    const int f = filterIndex(name);
    if (f >= 0)
        return boolText(m_filters[static_cast<size_t>(f)]);
    if (name == QLatin1String("AutoInsert"))
        return boolText(m_autoInsert);
    if (name == QLatin1String("Eject"))
        return boolText(m_eject);
    if (name == QLatin1String("Action"))
        return QString::number(m_action);
    if (name == QLatin1String("CorrectLabel"))
        return boolText(m_correctLabel);
    if (name == QLatin1String("SavePos"))
        return boolText(m_savePos);
    if (name == QLatin1String("Grids"))
        return boolText(m_grids);
    if (name == QLatin1String("Unlimited"))
        return boolText(m_unlimited);
    if (name == QLatin1String("MaxResults"))
        return QString::number(m_maxResults);
    if (name == QLatin1String("EmptyDirs"))
        return boolText(m_emptyDirs);
    if (name == QLatin1String("EmptyFiles"))
        return boolText(m_emptyFiles);
    if (name == QLatin1String("DiscEditDblClick"))
        return boolText(m_discEditDblClick);
    if (name == QLatin1String("AutoExpand"))
        return boolText(m_autoExpand);
    if (name == QLatin1String("HiddenFiles"))
        return boolText(m_hiddenFiles);
    if (name == QLatin1String("ViewStyle"))
        return m_viewStyle ? QString::number(*m_viewStyle) : QString();
    if (name == QLatin1String("TreeWidth"))
        return m_treeWidth ? QString::number(*m_treeWidth) : QString();
    if (name == QLatin1String("Theme"))
        return m_theme.isEmpty() ? QString() : m_theme;
    if (name == QLatin1String("ObjectInfo"))
        return boolText(m_objectInfo);
    if (name == QLatin1String("AutoExpandGroups"))
        return m_autoExpandGroups.isEmpty() ? QStringLiteral("|") : m_autoExpandGroups;
    return QString();
}

bool Preferences::setValue(const QString &name, const QString &text, QString *error)
{
    auto fail = [error](const QString &msg) {
        if (error)
            *error = msg;
        return false;
    };
    if (!isValueName(name))
        return fail(QStringLiteral("Unknown preference \"%1\".").arg(name));

    // Free texts first; everything else is a stored 32-bit number.
    if (name == QLatin1String("Theme")) {
        setTheme(text);
        return true;
    }
    if (name == QLatin1String("AutoExpandGroups")) {
        setAutoExpandGroups(text);
        return true;
    }
    const std::optional<int> n = storedInt(text);
    if (!n)
        return fail(notANumber(name, text));
    const int v = *n;
    // For the check boxes only 1 means ticked; "HiddenFiles" is ticked by any number but 0.
    const bool ticked = v == 1;
    const int f = filterIndex(name);
    if (f >= 0)
        setFilter(f, ticked);
    else if (name == QLatin1String("AutoInsert"))
        setAutoInsert(ticked);
    else if (name == QLatin1String("Eject"))
        setEject(ticked);
    else if (name == QLatin1String("Action"))
        setAction(v);
    else if (name == QLatin1String("CorrectLabel"))
        setCorrectLabel(ticked);
    else if (name == QLatin1String("SavePos"))
        setSavePos(ticked);
    else if (name == QLatin1String("Grids"))
        setGrids(ticked);
    else if (name == QLatin1String("Unlimited"))
        setUnlimited(ticked);
    else if (name == QLatin1String("MaxResults"))
        setMaxResults(v);
    else if (name == QLatin1String("EmptyDirs"))
        setEmptyDirs(ticked);
    else if (name == QLatin1String("EmptyFiles"))
        setEmptyFiles(ticked);
    else if (name == QLatin1String("DiscEditDblClick"))
        setDiscEditDblClick(ticked);
    else if (name == QLatin1String("AutoExpand"))
        setAutoExpand(ticked);
    else if (name == QLatin1String("HiddenFiles"))
        setHiddenFiles(v != 0);
    else if (name == QLatin1String("ViewStyle")) {
        // Only the four view styles exist; other numbers are ignored.
        if (!isAllowedValue(name, text, error))
            return false;
        setViewStyle(v);
    } else if (name == QLatin1String("TreeWidth"))
        setTreeWidth(v);
    else if (name == QLatin1String("ObjectInfo"))
        setObjectInfo(ticked);
    return true;
}

void Preferences::load(const QString &settingsFile)
{
    if (!QFileInfo::exists(settingsFile)) {
        // First run: every value keeps its state, and the filters take their initial ticks.
        for (int i = 0; i < FilterCount; ++i)
            setFilter(i, i == 0 || i == 7);
        return;
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    load(settings);
}

void Preferences::load(QSettings &settings)
{
    auto stored = [&settings](const QString &name) -> std::optional<QString> {
        if (!settings.contains(name))
            return std::nullopt;
        return storedText(settings.value(name));
    };

    if (auto s = stored(QStringLiteral("ObjectInfo")); s && storedInt(*s) == 1)
        setObjectInfo(true);

    for (int i = 0; i < FilterCount; ++i) {
        bool ticked = i == 0 || i == 7;
        if (auto s = stored(filterName(i)))
            if (auto n = storedInt(*s))
                ticked = *n == 1;
        setFilter(i, ticked);
    }

    // A value that is missing, or not a number where one is needed, leaves its state alone.
    static const char *const plain[] = {
        "AutoInsert", "Action",     "CorrectLabel",     "Eject",       "SavePos",  "Grids", "Unlimited", "MaxResults",
        "EmptyDirs",  "EmptyFiles", "DiscEditDblClick", "HiddenFiles", "TreeWidth"};
    for (const char *name : plain)
        if (auto s = stored(QLatin1String(name)))
            setValue(QLatin1String(name), *s);

    if (auto s = stored(QStringLiteral("ViewStyle")))
        setValue(QStringLiteral("ViewStyle"), *s); // out-of-range numbers are refused there
    if (auto s = stored(QStringLiteral("Theme")))
        setTheme(*s);
    if (auto s = stored(QStringLiteral("AutoExpand")))
        setValue(QStringLiteral("AutoExpand"), *s);
    if (auto s = stored(QStringLiteral("AutoExpandGroups")))
        setAutoExpandGroups(*s);
}

void Preferences::save(const QString &settingsFile) const
{
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    QSettings settings(settingsFile, QSettings::IniFormat);
    save(settings);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw QuilloryError(
            QStringLiteral("Cannot write the preferences to \"%1\".").arg(QDir::toNativeSeparators(settingsFile)));
}

void Preferences::save(QSettings &settings) const
{
    for (const QString &name : valueNames()) {
        const QString text = value(name);
        if (text.isNull())
            continue; // no view style, tree width or theme to write
        if (isText(name))
            settings.setValue(name, text);
        else
            settings.setValue(name, text.toInt());
    }
}

void Preferences::setExclusions(const QStringList &masks)
{
    if (m_exclusions == masks)
        return;
    m_exclusions = masks;
    Q_EMIT changed(QStringLiteral("exclusions"));
}

QString Preferences::exclusionsFile(const QString &dataFolder)
{
    return DataPaths::withSlash(dataFolder) + QLatin1String("exclusions.dat");
}

void Preferences::loadExclusions(const QString &dataFolder)
{
    const QString file = exclusionsFile(dataFolder);
    if (!QFileInfo::exists(file))
        return;
    setExclusions(TextCodec::readLines(file));
}

void Preferences::saveExclusions(const QString &dataFolder) const
{
    QDir().mkpath(dataFolder);
    TextCodec::writeLines(exclusionsFile(dataFolder), m_exclusions);
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
    QLockFile saving(settingsFile + QLatin1String(".lock"));
    if (!saving.tryLock(0))
        return;
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName()) + QLatin1String("\\.[0-9A-Za-z]{6}")));
    const QStringList names = folder.entryList({info.fileName() + QLatin1String(".??????")},
                                               QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : names)
        if (temporary.match(name).hasMatch())
            QFile::remove(folder.filePath(name));
}
