#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// What a report shows and how: its columns in order, each with its mark and width, whether a
// group report descends into sub-groups, and the five colours of the HTML form. The dialog
// and the command line fill it; the builder only reads it.
struct ReportSettings {
    enum Kind { DiscReport, GroupReport };

    struct Column {
        QString name;
        bool shown = false;
        int width = 160; // pixels
    };

    // Colours as 0xRRGGBB.
    struct Colours {
        quint32 background = 0xEDEDF5;
        quint32 font = 0x000000;
        quint32 table = 0xD9D9E9;
        quint32 border = 0x7979B0;
        quint32 header = 0x9C9CC6;
    };

    static constexpr int DefaultWidth = 160;
    static constexpr int MinWidth = 10;
    static constexpr int MaxWidth = 999;
    // The first three columns of either kind are shown unless chosen otherwise.
    static constexpr int DefaultShown = 3;

    QList<Column> columns;
    bool recurse = true;
    Colours colours;

    // Every column a report of that kind can show, in the default order.
    static const QStringList &columnNames(Kind kind);
    // Those columns, the first three marked, every width the default.
    static QList<Column> defaultColumns(Kind kind);
    static int clampWidth(qint64 pixels);
};
