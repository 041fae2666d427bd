#include "CliArgs.h"

#include "CliError.h"

bool CliArgs::looksLikeOption(const QString &word)
{
    return word.size() > 1 && word.front() == u'-' && (word.at(1) == u'-' || word.at(1).isLetter());
}

bool CliArgs::isHelp(const QString &word)
{
    return word == QLatin1String("--help") || word == QLatin1String("-h");
}

CliArgs::CliArgs(const QStringList &args, const QSet<QString> &valued, const QSet<QString> &flags)
{
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (!optionsEnded && isHelp(a))
            throw CliHelpRequested();
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
        if (!valued.contains(name) && !(flags.contains(name) && !hasInline))
            throw CliUsageError(QStringLiteral("unknown option --%1").arg(name));
        if (has(name))
            throw CliUsageError(QStringLiteral("option --%1 is given twice").arg(name));
        if (flags.contains(name)) {
            m_flags.insert(name);
        } else if (hasInline) {
            m_values.insert(name, inlineValue);
        } else {
            if (i + 1 >= args.size() || looksLikeOption(args.at(i + 1)))
                throw CliUsageError(
                    QStringLiteral("option --%1 needs a value (one that begins with \"-\" is given as --%1=VALUE)")
                        .arg(name));
            m_values.insert(name, args.at(++i));
        }
    }
}
