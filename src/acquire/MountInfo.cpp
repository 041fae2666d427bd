#include "MountInfo.h"

#include <QFile>

QString MountInfo::unescape(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray oct = field.mid(i + 1, 3);
            bool ok = oct.size() == 3;
            for (const char d : oct)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out += char(oct.toInt(nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += c;
    }
    return QString::fromUtf8(out);
}

QList<MountEntry> MountInfo::parse(const QByteArray &text)
{
    QList<MountEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        // id parent major:minor root mount-point options [optional fields...] - fstype source super-options
        const int sep = int(f.indexOf("-", 6));
        if (f.size() < 10 || sep < 0 || sep + 2 >= f.size())
            continue;
        MountEntry e;
        e.root = unescape(f[3]);
        e.mountPoint = unescape(f[4]);
        e.readOnly = f[5].split(',').contains("ro");
        e.fileSystem = unescape(f[sep + 1]);
        e.source = unescape(f[sep + 2]);
        entries.append(e);
    }
    return entries;
}

QList<MountEntry> MountInfo::read(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // mountinfo is a generated file whose size is reported as 0: read to the end.
    return parse(f.readAll());
}
