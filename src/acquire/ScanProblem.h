#pragma once

#include <QList>
#include <QString>

// Something on a volume that a scan could not read: a folder it may not open, an entry that was
// removed while the scan ran. The scan passes over it and the disc is catalogued without it,
// so the user is told which parts are missing.
struct ScanProblem {
    QString path; // on the local file system, as the user would look for it
    QString reason;

    // One line for the user; also the message of a failure that ends a scan.
    QString text() const { return QStringLiteral("Cannot read \"%1\": %2").arg(path, reason); }
};

using ScanProblems = QList<ScanProblem>;
