#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <optional>
#include <span>

class QSettings;

// The user's choices for scanning, browsing and searching, held once for the whole run.
// The preferences window edits this object and every other part reads it at the moment
// of use, so a change takes effect at once; load() puts the stored values back.
//
// Each preference is declared once, in items(): the name it is stored under (its registry
// value name), its type, its first-run value, what the user may set and the control that
// shows it in the preferences window. Loading, saving, Cancel, `quillory-cli config` and the
// window all walk that table.
class Preferences : public QObject
{
    Q_OBJECT
public:
    static constexpr int FilterCount = 14;

    // In the order save() writes them.
    enum Id {
        Filter0,
        AutoInsert = Filter0 + FilterCount,
        Eject,
        Action,
        CorrectLabel,
        SavePos,
        Grids,
        Unlimited,
        MaxResults,
        EmptyDirs,
        EmptyFiles,
        DiscEditDblClick,
        AutoExpand,
        HiddenFiles,
        Checksums,
        ViewStyle,
        TreeWidth,
        Theme,
        ObjectInfo,
        AutoExpandGroups,
        Count
    };
    // A check box holds 0 or 1; a number is a 32-bit integer, as the registry held it.
    enum class Type { Box, Number, Text };
    // How a stored value is read back. A file made by hand or by an older version is taken as
    // it stands wherever that can do no harm; a value the user sets is held to its range.
    enum class Load {
        Applied,        // a number as stored, a box ticked only by 1; missing or not a number, kept
        FirstIfMissing, // missing or not a number, back to the first-run value
        InRange,        // a number outside the range is passed over
        AnyNumberTicks, // a box ticked by any number but 0
        OnlyTicks,      // only 1 changes it, and ticks it
    };
    struct Item {
        Id id;
        QString name;
        Type type;
        QVariant first; // null: unset, and then not written
        int min = 0;    // what the user may set, for a box or a number
        int max = 1;
        QString control; // its object name in the preferences window; empty when it has none
        Load load = Load::Applied;
        bool windowState = false; // the window's own state, which Cancel leaves as it stands
    };
    static std::span<const Item> items();
    // Null for a name no preference is stored under.
    static const Item *item(const QString &name);

    // The state of a first run, with nothing stored.
    explicit Preferences(QObject *parent = nullptr);

    // What Cancel in the preferences window does: every choice back to its stored value, or to
    // its first-run state where nothing is stored. The window's own state is left alone.
    void reload(const QString &settingsFile);
    // What the preferences window does as it opens: the choices this object has not changed
    // since it last read or wrote them are read again, so the window shows what another
    // program stored meanwhile, and OK then confirms what was shown. A change made here and
    // not yet saved stays, and so does the window's own state.
    void refresh(const QString &settingsFile);

    // A box as 0 or 1, a number, a text; null while unset.
    QVariant get(Id id) const { return m_values[id]; }
    // Emits changed() when the value differs.
    void set(Id id, const QVariant &v);

    bool filter(int item) const { return isOn(Id(Filter0 + item)); }
    bool autoInsert() const { return isOn(AutoInsert); }
    bool eject() const { return isOn(Eject); }
    bool correctLabel() const { return isOn(CorrectLabel); }
    int action() const { return m_values[Action].toInt(); }
    bool savePos() const { return isOn(SavePos); }
    bool grids() const { return isOn(Grids); }
    bool discEditDblClick() const { return isOn(DiscEditDblClick); }
    bool autoExpand() const { return isOn(AutoExpand); }
    bool unlimited() const { return isOn(Unlimited); }
    int maxResults() const { return m_values[MaxResults].toInt(); }
    bool emptyDirs() const { return isOn(EmptyDirs); }
    bool emptyFiles() const { return isOn(EmptyFiles); }
    bool hiddenFiles() const { return isOn(HiddenFiles); }
    bool checksums() const { return isOn(Checksums); }
    // Window state kept with the preferences; unset until the window or the file gives one.
    std::optional<int> viewStyle() const { return number(ViewStyle); }
    std::optional<int> treeWidth() const { return number(TreeWidth); }
    QString theme() const { return m_values[Theme].toString(); }
    bool objectInfo() const { return isOn(ObjectInfo); }
    QString autoExpandGroups() const { return m_values[AutoExpandGroups].toString(); }

    void setFilter(int item, bool ticked);
    void setEject(bool v) { set(Eject, v); }
    void setCorrectLabel(bool v) { set(CorrectLabel, v); }
    void setAction(int v) { set(Action, v); }
    void setDiscEditDblClick(bool v) { set(DiscEditDblClick, v); }
    void setUnlimited(bool v) { set(Unlimited, v); }
    void setMaxResults(int v) { set(MaxResults, v); }
    void setViewStyle(std::optional<int> v) { set(ViewStyle, v ? QVariant(*v) : QVariant()); }
    void setTreeWidth(std::optional<int> v) { set(TreeWidth, v ? QVariant(*v) : QVariant()); }
    void setTheme(const QString &v) { set(Theme, v); }
    void setObjectInfo(bool v) { set(ObjectInfo, v); }
    void setAutoExpandGroups(const QString &v) { set(AutoExpandGroups, v); }

    // One value by its stored name, as save() writes it; a null string for a value that would
    // not be written (no view style, no theme, no tree width) and for unknown names.
    QString value(const QString &name) const;
    // What the user sets by name: a known name, and a whole number within its range where a
    // number is stored. False with *error saying why, and nothing changed.
    bool setValue(const QString &name, const QString &text, QString *error = nullptr);

    // Reads the stored values; a missing file is a first run.
    void load(const QString &settingsFile);
    void load(QSettings &settings);
    // Writes the values that changed since the file was last read or written here, and those
    // the file lacks; the rest stay as the file holds them, so a change another program made meanwhile (quillory-cli
    // config set, the window of another catalogue: the file is shared) is not undone. Throws
    // QuilloryError when the file cannot be written.
    void save(const QString &settingsFile) const;
    void save(QSettings &settings) const;

    // The exclusion masks, in list order; set without empty masks and repeats.
    const QStringList &exclusions() const { return m_exclusions; }
    void setExclusions(const QStringList &masks);
    // Why a mask cannot join the exclusion list, empty when it can: it must read as a mask (or
    // every later scan would fail on it) and stay one line of the list's file.
    static QString exclusionProblem(const QString &mask);
    // Replaces the list with "exclusions.dat" of the data folder when that file exists; an
    // absent file leaves the list as it is. Throws QuilloryError on a read failure.
    void loadExclusions(const QString &dataFolder);
    // Replaces "exclusions.dat" atomically; throws QuilloryError on failure.
    void saveExclusions(const QString &dataFolder) const;

    // Removes what a killed save of the settings file left beside it (the settings' own
    // temporary files), when no program is saving the settings now.
    static void removeInterruptedSaves(const QString &settingsFile);

Q_SIGNALS:
    // A value changed (its stored name); "exclusions" for the exclusion list, a null string
    // for many at once.
    void changed(const QString &name);

private:
    bool isOn(Id id) const { return m_values[id].toInt() == 1; }
    std::optional<int> number(Id id) const
    {
        return m_values[id].isNull() ? std::nullopt : std::optional<int>(m_values[id].toInt());
    }
    // Every value, or all but the window's state, back to its first-run value.
    void restore(bool windowStateToo);
    void load(QSettings &settings, bool windowStateToo);
    void apply(const Item &item, const std::optional<QString> &stored);
    QString value(const Item &item) const;
    // Whether text, the value as it would be written, differs from what this object last read
    // or wrote; true before it has done either.
    bool changedHere(const Item &item, const QString &text) const;

    std::array<QVariant, Count> m_values;
    // Each value as this object last read or wrote it; none before.
    mutable std::array<std::optional<QString>, Count> m_inFile;
    QStringList m_exclusions;
};
