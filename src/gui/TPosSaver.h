#pragma once

#include <QObject>
#include <QString>

class QSettings;
class QWidget;

// Keeps its owner window's position and size from one run to the next. With UseRegistry the
// values live in the program's settings file, beside the preferences ("Top", "Left", "Width",
// "Height" and "Maximized"); otherwise in the section IniSection of the INI file IniName, without
// "Maximized". The bounds are the window's own area, inside the window manager's frame. A
// maximised window keeps the bounds it had before it was maximised.
class TPosSaver : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool UseRegistry READ UseRegistry WRITE setUseRegistry)
    Q_PROPERTY(QString IniName READ IniName WRITE setIniName)
    Q_PROPERTY(QString IniSection READ IniSection WRITE setIniSection)
public:
    // form owns the saver; settingsFile is the program's settings file.
    TPosSaver(QWidget *form, const QString &settingsFile);

    bool UseRegistry() const { return m_useRegistry; }
    void setUseRegistry(bool on) { m_useRegistry = on; }
    QString IniName() const { return m_iniName; }
    void setIniName(const QString &name) { m_iniName = name; }
    // "TPosSaver" when empty.
    QString IniSection() const;
    void setIniSection(const QString &section) { m_iniSection = section; }

    // Puts the stored bounds on the form, maximising it when it was saved so. Bounds larger than
    // the screen they reach onto are cut to the primary screen's free area and moved inside it.
    // Missing values, an empty size, or bounds that would leave the window on no screen (a
    // monitor unplugged since) centre it.
    void RestorePosition();
    // Stores the form's bounds; a failing write is ignored.
    void SavePosition();

    // The form in the middle of the primary screen's desktop, at its current size.
    static void centre(QWidget *form);

private:
    void restoreFromIni();
    void saveToIni();

    QWidget *m_form;
    QString m_settingsFile;
    bool m_useRegistry = true;
    QString m_iniName;
    QString m_iniSection;
};
