#include "TreeNames.h"

#include "SingleLine.h"
#include "TCD.h"

namespace TreeNames
{

QString ShortName(const QString &name)
{
    if (name.size() >= 21)
        return name.left(20) + QLatin1String("...");
    return name;
}

// A line break would split the tree file's line; a tab, a field of the command line's answers,
// which are separated by tabs.
static QString lineBreakProblem(const QString &name)
{
    if (name.contains(u'\r') || name.contains(u'\n'))
        return QStringLiteral("A name must stay on one line. Please enter a name without line breaks.");
    if (name.contains(u'\t'))
        return QStringLiteral("A name must not hold a tab. Please enter a name without tabs.");
    return QString();
}

QString Problem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("The name must not be empty.");
    if (name.contains(u'|'))
        return QStringLiteral("The name \"%1\" contains \"|\", which the catalogue uses to separate fields. "
                              "Please enter a name without it.")
            .arg(name);
    if (const QString problem = lineBreakProblem(name); !problem.isEmpty())
        return problem;
    if (name.startsWith(u' ') || name.startsWith(u'\t'))
        return QStringLiteral("The name \"%1\" begins with a blank or a tab, which the catalogue reads as "
                              "indentation. Please enter a name without them at the start.")
            .arg(name);
    return QString();
}

QString TitleProblem(const QString &title)
{
    if (title.isEmpty())
        return QStringLiteral("You must enter title for disc!");
    if (title.contains(u'|'))
        return QStringLiteral("Disc title cannot contain \"|\" character!");
    return Problem(title);
}

QString BorrowerProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Please enter the name of the person you lend the disc to.");
    return lineBreakProblem(name);
}

QString DiscHint(const TCD &cd)
{
    QString hint = QStringLiteral("Titile: ") + cd.Title + u'\n' + QStringLiteral("Disc Number: %1").arg(cd.Number);
    if (!cd.Description.isEmpty())
        hint += QStringLiteral("\nDescription: \n") +
                SingleToMulti(cd.Description).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (!cd.Genre.isEmpty())
        hint += QStringLiteral("\nGenre: ") + cd.Genre;
    if (!cd.BorrowedTo.isEmpty())
        hint += QStringLiteral("\nBorrowed to ") + cd.BorrowedTo;
    return hint;
}

} // namespace TreeNames
