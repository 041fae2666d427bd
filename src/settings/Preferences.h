#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

class QSettings;

// The user's choices for scanning, browsing and searching, held once for the whole run.
// The preferences window edits this object and every other part reads it at the moment
// of use, so a change takes effect at once; load() puts the stored values back.
// Values are stored under their registry value names in the settings file.
class Preferences : public QObject
{
    Q_OBJECT
public:
    static constexpr int FilterCount = 10;
    // The scan filter captions, in list order.
    static const QStringList &filterCaptions();
    // Every stored value name, in the order save() writes them.
    static const QStringList &valueNames();

    explicit Preferences(QObject *parent = nullptr);

    // The state of a first run, with nothing stored.
    void resetToInitial();
    // What Cancel in the preferences window does: every choice back to its stored value, or to
    // its first-run state where nothing is stored. The window's own state is left alone.
    void reload(const QString &settingsFile);

    // The tick of the first filter whose caption holds the extension (with its dot), in lower
    // case, as a plain substring; false when no caption holds it.
    bool IsActiveFilter(const QString &extension) const;
    bool filter(int item) const { return m_filters.at(static_cast<size_t>(item)); }
    void setFilter(int item, bool ticked);

    bool autoInsert() const { return m_autoInsert; }
    bool eject() const { return m_eject; }
    bool correctLabel() const { return m_correctLabel; }
    int action() const { return m_action; }
    bool savePos() const { return m_savePos; }
    bool grids() const { return m_grids; }
    bool discEditDblClick() const { return m_discEditDblClick; }
    bool autoExpand() const { return m_autoExpand; }
    bool unlimited() const { return m_unlimited; }
    int maxResults() const { return m_maxResults; }
    bool emptyDirs() const { return m_emptyDirs; }
    bool emptyFiles() const { return m_emptyFiles; }
    bool hiddenFiles() const { return m_hiddenFiles; }
    // Window state kept with the preferences; unset until the window or the file gives one.
    std::optional<int> viewStyle() const { return m_viewStyle; }
    std::optional<int> treeWidth() const { return m_treeWidth; }
    QString theme() const { return m_theme; }
    bool objectInfo() const { return m_objectInfo; }
    QString autoExpandGroups() const { return m_autoExpandGroups; }

    void setAutoInsert(bool v);
    void setEject(bool v);
    void setCorrectLabel(bool v);
    void setAction(int v);
    void setSavePos(bool v);
    void setGrids(bool v);
    void setDiscEditDblClick(bool v);
    void setAutoExpand(bool v);
    void setUnlimited(bool v);
    void setMaxResults(int v);
    void setEmptyDirs(bool v);
    void setEmptyFiles(bool v);
    void setHiddenFiles(bool v);
    void setViewStyle(std::optional<int> v);
    void setTreeWidth(std::optional<int> v);
    void setTheme(const QString &v);
    void setObjectInfo(bool v);
    void setAutoExpandGroups(const QString &v);

    // One value by its stored name, as save() writes it; a null string for a value that
    // would not be written (no view style, no theme, no tree width). Unknown names give null.
    QString value(const QString &name) const;
    // Applies a stored text as load() would. False (with *error set) for an unknown name or a
    // text that is not a whole number where one is needed.
    bool setValue(const QString &name, const QString &text, QString *error = nullptr);
    static bool isValueName(const QString &name);
    // The numbers a stored value may hold: 0 or 1 for a check box, an item for "Action" and
    // "ViewStyle", a count or a width for "MaxResults" and "TreeWidth". Null for the texts
    // ("Theme", "AutoExpandGroups") and unknown names. A stored number outside its range is
    // still applied as it stands when read (only "ViewStyle" is ignored then); a value the
    // user sets is refused outside it.
    struct Range {
        int min;
        int max;
    };
    static std::optional<Range> range(const QString &name);
    // Whether the user may set name to text: a known name, and a whole number within its
    // range where a number is stored. False with *error saying why.
    static bool isAllowedValue(const QString &name, const QString &text, QString *error = nullptr);

    // Reads the stored values: the filters start from their initial ticks, every other value
    // that is missing keeps its current state. A missing file is a first run.
    void load(const QString &settingsFile);
    void load(QSettings &settings);
    // Writes every value; throws QuilloryError when the file cannot be written.
    void save(const QString &settingsFile) const;
    void save(QSettings &settings) const;

    // The exclusion masks, in list order.
    const QStringList &exclusions() const { return m_exclusions; }
    void setExclusions(const QStringList &masks);
    // Replaces the list with "exclusions.dat" of the data folder when that file exists; an
    // absent file leaves the list as it is. Throws QuilloryError on a read failure.
    void loadExclusions(const QString &dataFolder);
    // Replaces "exclusions.dat" atomically; throws QuilloryError on failure.
    void saveExclusions(const QString &dataFolder) const;
    static QString exclusionsFile(const QString &dataFolder);

    // Removes what a killed save of the settings file left beside it (the settings' own
    // temporary files), when no program is saving the settings now.
    static void removeInterruptedSaves(const QString &settingsFile);

Q_SIGNALS:
    // A value changed (its stored name); "exclusions" for the exclusion list.
    void changed(const QString &name);

private:
    void setInitialChoices();
    template <typename T> void assign(T &member, const T &v, const QString &name);

    std::array<bool, FilterCount> m_filters{};
    bool m_autoInsert = true;
    bool m_eject = true;
    bool m_correctLabel = true;
    int m_action = 3;
    bool m_savePos = true;
    bool m_grids = true;
    bool m_discEditDblClick = true;
    bool m_autoExpand = true;
    bool m_unlimited = true;
    int m_maxResults = 1000;
    bool m_emptyDirs = false;
    bool m_emptyFiles = false;
    bool m_hiddenFiles = false;
    std::optional<int> m_viewStyle;
    std::optional<int> m_treeWidth;
    QString m_theme;
    bool m_objectInfo = false;
    QString m_autoExpandGroups;
    QStringList m_exclusions;
};
