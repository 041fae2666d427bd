#include "CliArgs.h"

#include "CliError.h"

CliArgs::CliArgs(const QStringList &args, const QSet<QString> &valued, const QSet<QString> &flags)
{
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (optionsEnded || !a.startsWith(QLatin1String("--")) || a == QLatin1String("-")) {
            m_positional.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = a.mid(2);
        QString inlineValue;
        bool hasInline = false;
        const qsizetype eq = name.indexOf(u'=');
        if (eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
            hasInline = true;
        }
        if (valued.contains(name)) {
            if (hasInline) {
                m_values.insert(name, inlineValue);
            } else {
                if (i + 1 >= args.size())
                    throw CliUsageError(QStringLiteral("option --%1 needs a value").arg(name));
                m_values.insert(name, args.at(++i));
            }
        } else if (flags.contains(name) && !hasInline) {
            m_flags.insert(name);
        } else {
            throw CliUsageError(QStringLiteral("unknown option --%1").arg(name));
        }
    }
}
