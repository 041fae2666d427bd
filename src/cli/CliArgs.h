#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Options of one command: "--name value" or "--name=value" for valued options, "--name" for
// flags. Anything else is positional; "--" ends the options. An option given twice, or a
// value left out so that the next option would be taken for it, is refused (CliUsageError);
// --help or -h where an option stands throws CliHelpRequested.
class CliArgs
{
public:
    CliArgs(const QStringList &args, const QSet<QString> &valued, const QSet<QString> &flags);

    const QStringList &positional() const { return m_positional; }
    bool has(const QString &name) const { return m_values.contains(name) || m_flags.contains(name); }
    QString value(const QString &name, const QString &fallback = QString()) const
    {
        return m_values.value(name, fallback);
    }
    bool flag(const QString &name) const { return m_flags.contains(name); }

    // Whether a word of the command line reads as an option ("--title", "-h") rather than a
    // value: after an option that takes one, such a word means the value was left out. A
    // value of that shape is given as --name=VALUE. "-" and negative numbers are values.
    static bool looksLikeOption(const QString &word);
    static bool isHelp(const QString &word);
    // A size option's value, "1500", "12KB", "3 MB", "2GB": the number times its unit's factor.
    // Throws CliUsageError naming the option.
    static qint64 bytes(const QString &option, const QString &text);
    // A whole number's option ("--number 3"). Throws CliUsageError naming the option.
    static int wholeNumber(const QString &option, const QString &text);
    // Throws "Cannot look at …" with the system's reason when a path given cannot be looked at for
    // another reason than its absence (a volume whose file system went away, a folder not to be entered).
    static void refuseUnreachable(const QString &path);

private:
    QStringList m_positional;
    QHash<QString, QString> m_values;
    QSet<QString> m_flags;
};
