#include "CliArgs.h"

#include "CliError.h"

#include "core/QuilloryError.h"

#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>

bool CliArgs::looksLikeOption(const QString &word)
{
    return word.size() > 1 && word.front() == u'-' && (word.at(1) == u'-' || word.at(1).isLetter());
}

namespace
{
// Digits with an optional sign: a whole number, if perhaps one beyond what an option takes.
bool digitsOnly(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*[+-]?[0-9]+\\s*$"));
    return digits.match(text).hasMatch();
}
} // namespace

int CliArgs::wholeNumber(const QString &option, const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok) {
        const bool below = text.trimmed().startsWith(u'-');
        throw CliUsageError((!digitsOnly(text) ? QStringLiteral("%1 wants a whole number, not \"%2\"")
                             : below ? QStringLiteral("%1 wants a whole number, and \"%2\" is too small for one")
                                     : QStringLiteral("%1 wants a whole number, and \"%2\" is too large for one"))
                                .arg(option, text));
    }
    return n;
}

qint64 CliArgs::bytes(const QString &option, const QString &text)
{
    static const std::pair<QLatin1StringView, qint64> units[] = {
        {QLatin1StringView("GB"), qint64(1) << 30}, {QLatin1StringView("MB"), 1 << 20}, {QLatin1StringView("KB"), 1 << 10}};
    QString number = text.trimmed();
    qint64 factor = 1;
    for (const auto &[suffix, f] : units) {
        if (number.endsWith(suffix, Qt::CaseInsensitive)) {
            number.chop(suffix.size());
            factor = f;
            break;
        }
    }
    bool ok = false;
    const qint64 n = number.trimmed().toLongLong(&ok);
    if (ok && n > std::numeric_limits<qint64>::max() / factor)
        ok = false;
    if (!ok && digitsOnly(number) && !number.trimmed().startsWith(u'-'))
        throw CliUsageError(
            QStringLiteral("%1 wants a whole number of bytes, KB, MB or GB, and \"%2\" is larger than any file can be")
                .arg(option, text));
    if (!ok || n < 0)
        throw CliUsageError(QStringLiteral("%1 wants a whole number of bytes, KB, MB or GB, not \"%2\"").arg(option, text));
    return n * factor;
}

void CliArgs::refuseUnreachable(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 && errno != ENOENT)
        throw QuilloryError(
            QStringLiteral("Cannot look at \"%1\": %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
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
        // A dash and a letter is an option to any reader ("-x"), and none of this program's is
        // spelt so: unknown, rather than quietly taken for a mask or a name.
        if (!optionsEnded && !a.startsWith(QLatin1String("--")) && looksLikeOption(a))
            throw CliUsageError(
                QStringLiteral("unknown option %1 (a value that begins with \"-\" goes after \"--\")").arg(a));
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
