#pragma once

#include "ReportSettings.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class ReportStream;
class TreeNode;

// Writes the report of a disc (one row per file of its file list) or of a group (one row per
// disc, sub-groups on request) as fixed-width text or as one HTML table, with the HTML page
// around it and the closing line. Every cell is looked up with FindColumn in the row's lines
// ("Name: song.mp3", "Genre :Rock"), as the contents list reads its entries.
//
// In HTML the values are escaped: a file named "<b>" or "a & b" shows as written instead of
// breaking the page. The text form keeps every value as it stands.
class ReportBuilder
{
public:
    enum Form { Txt, Html };
    // Rows written so far and rows to write, every few hundred rows and at the end.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    // dbFolder ends in "/" (Catalogue::dbFolder()); settings and out must outlive the builder.
    ReportBuilder(const QString &dbFolder, const ReportSettings &settings, ReportStream &out);
    ~ReportBuilder();

    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // The whole document for a disc or group node: the HTML form inside its page, the closing
    // line (HTML) or lines (TXT) when createdAt is valid. Flushes the stream. A failure throws
    // QuilloryError (a missing or damaged contents file, a size that is not a number, a write).
    void writeDocument(const TreeNode *node, Form form, const QDateTime &createdAt = {});

    void TXTCDReport(const TreeNode *disc);
    void HTMLCDReport(const TreeNode *disc);
    // top: the title, header and closing separator; sub-groups are written without them.
    void TXTReport(const TreeNode *group, bool top);
    void HTMLReport(const TreeNode *group, bool top);

    // HTML for a name whose extension is exactly ".html" in any case; text for anything else
    // (".htm" and ".txt" too).
    static Form formForFileName(const QString &fileName);
    static ReportSettings::Kind kindOf(const TreeNode *node);

    // Text cells: padded with blanks or cut to exactly width columns of fixed-pitch text
    // (TextWidth), on the left or centred (an odd surplus leaves the extra blank on the left).
    static QString FitLeft(const QString &text, int width);
    static QString FitCentre(const QString &text, int width);
    // "\"#RRGGBB\"", quotes included.
    static QString ColorText(quint32 rgb);
    // A column's width in text characters.
    static int characters(int pixels) { return pixels / 8; }
    // "dd/mm/yyyy." and "hh:mm:ss" with the separators of the user's locale.
    static QString creationDate(const QDate &date);
    static QString creationTime(const QTime &time);

private:
    class Row;
    struct Shown {
        QString name;
        int pixels;
        int chars;
    };

    void txtHeader();
    void txtSeparator();
    void txtRow(const QStringList &row);
    void groupRows(const TreeNode *group, Form form);
    void htmlGroupRow(const QStringList &row);
    void htmlValue(const QString &key, const QStringList &row);
    template <typename WriteRow> void discRecords(const TreeNode *disc, WriteRow writeRow);
    const QString &typeOf(QByteArrayView utf8Name);
    qint64 discCount(const TreeNode *group) const;
    void advance();

    QString m_db;
    const ReportSettings &m_settings;
    ReportStream &m_out;
    std::vector<Shown> m_shown;
    QString m_font;
    QString m_table;
    QString m_header;
    Progress m_progress;
    std::unique_ptr<Row> m_row;
    QHash<quint64, QString> m_typeByExtension;
    QString m_otherType;
    qint64 m_done = 0;
    qint64 m_total = 0;
};
