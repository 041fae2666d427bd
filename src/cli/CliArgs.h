#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Options of one command: "--name value" for valued options, "--name" for flags.
// Anything else is positional; "--" ends the options.
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

private:
    QStringList m_positional;
    QHash<QString, QString> m_values;
    QSet<QString> m_flags;
};
