#pragma once

#include <QDateTime>
#include <QString>

// What one search looks for: the panel's fields, or the command line's options, as values.
struct SearchCriteria {
    // The categories of the panel's "Search only for:" list, by position.
    enum Category : int {
        AllFilesAndFolders = 0,
        AllFiles = 1,
        FoldersOnly = 2,
        Executables = 3,
        ImageFiles = 4,
        MusicFiles = 5,
        VideoFiles = 6,
        Documents = 7,
        Archives = 8
    };
    static constexpr int CategoryCount = 9;

    QString mask;
    int category = AllFilesAndFolders;
    // "Older than:": a later date is rejected. "Newer than:": an earlier one is.
    bool olderOn = false;
    QDateTime olderThan;
    bool newerOn = false;
    QDateTime newerThan;
    // "Larger than:": a smaller size is rejected. "Smaller than:": a larger one is.
    bool largerOn = false;
    qint64 minSize = 0;
    bool smallerOn = false;
    qint64 maxSize = 0;
    // The search stops once it holds this many results; 0 or less: no limit.
    int limit = 0;

    bool dateBound() const { return olderOn || newerOn; }
    bool searchesFolders() const { return category == AllFilesAndFolders || category == FoldersOnly; }
    bool searchesFiles() const { return category != FoldersOnly; }
};
