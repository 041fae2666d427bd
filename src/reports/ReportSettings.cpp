#include "ReportSettings.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

const QStringList &ReportSettings::columnNames(Kind kind)
{
    static const QStringList disc = {u"Name"_s,   u"Type"_s,  u"Size"_s,     u"Path"_s,     u"Date"_s,  u"Title"_s,
                                     u"Artist"_s, u"Album"_s, u"Duration"_s, u"Bit rate"_s, u"Width"_s, u"Height"_s};
    static const QStringList group = {u"Title"_s,       u"Genre"_s,     u"Description"_s,   u"Disc Number"_s,
                                      u"Location"_s,    u"Label"_s,     u"Serial Number"_s, u"Size"_s,
                                      u"File System"_s, u"Entry Date"_s};
    return kind == DiscReport ? disc : group;
}

QList<ReportSettings::Column> ReportSettings::defaultColumns(Kind kind)
{
    QList<Column> out;
    for (const QString &name : columnNames(kind))
        out.append({name, out.size() < DefaultShown, DefaultWidth});
    return out;
}

int ReportSettings::clampWidth(qint64 pixels)
{
    return static_cast<int>(std::clamp<qint64>(pixels, MinWidth, MaxWidth));
}
