#include "FormatSize.h"

#include <QLocale>
#include <cmath>

QString FormatSize(qint64 bytes)
{
    // Past a petabyte the unit table would run out; PB and EB keep the text honest.
    static const char *const units[] = {" Bytes", " KB", " MB", " GB", " TB", " PB", " EB"};
    double x = static_cast<double>(bytes);
    int u = -1;
    bool stopped = false;
    for (int i = 0; i < 6 && !stopped; ++i) {
        x /= 1024.0;
        ++u;
        if (std::trunc(x) == 0) {
            x *= 1024.0;
            stopped = true;
        }
    }
    if (!stopped)
        ++u; // x is already in the next unit up

    return QLocale().toString(x, 'f', 2) + QLatin1String(units[u]);
}
