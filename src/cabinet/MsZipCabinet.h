#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <vector>

// Builds a one-folder MSZIP cabinet of members held in memory, byte for byte as TSTCabWriter
// (libgcab) builds it from the same members, dates and attributes. MSZIP compresses every data
// block of 32 KiB on its own, so the blocks are compressed on several threads at once: packing
// a large disc's lists takes a fraction of the time the library's one thread takes.
class MsZipCabinet
{
public:
    struct Member {
        QString name; // plain ASCII: other names take the library's way
        QByteArrayView data;
        QDateTime modified;
        quint32 attributes = 0x20;
    };

    // Whether build() may make these members (names in ASCII, sizes within the format).
    static bool canBuild(const std::vector<Member> &members);
    // The whole cabinet; threads 0: as many as the machine has cores.
    static QByteArray build(const std::vector<Member> &members, int threads = 0);
    // Writes the cabinet to fileName through a save file, as TSTCabWriter does, or through
    // TSTCabWriter itself when build() cannot make it; failures throw ESTCabinet.
    static void write(const QString &fileName, const std::vector<Member> &members, int threads = 0);
};
