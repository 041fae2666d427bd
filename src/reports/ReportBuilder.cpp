#include "ReportBuilder.h"

#include "ReportStream.h"
#include "browser/FileTypes.h"
#include "browser/FindColumn.h"
#include "browser/FormatSize.h"
#include "core/QuilloryError.h"
#include "store/ContentsFile.h"
#include "store/ContentsList.h"
#include "store/ContentsRecord.h"
#include "store/TCD.h"
#include "store/TreeNode.h"

#include <QFileInfo>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace
{

constexpr qint64 ProgressStep = 512;
const QString Nbsp = u"&nbsp;"_s;

// The characters between the first two fields of a date or time format ("/" in "M/d/yy",
// ". " in "d. M. yyyy"); fallback when the format has none.
QString separatorOf(const QString &format, const QString &fallback)
{
    qsizetype i = 0;
    while (i < format.size() && !format.at(i).isLetter())
        ++i;
    while (i < format.size() && format.at(i).isLetter())
        ++i;
    QString sep;
    for (; i < format.size() && !format.at(i).isLetter(); ++i)
        if (format.at(i) != u'\'')
            sep += format.at(i);
    return sep.isEmpty() ? fallback : sep;
}

} // namespace

ReportBuilder::ReportBuilder(const QString &dbFolder, const ReportSettings &settings, ReportStream &out)
    : m_db(dbFolder), m_settings(settings), m_out(out), m_font(ColorText(settings.colours.font)),
      m_table(ColorText(settings.colours.table)), m_header(ColorText(settings.colours.header))
{
    for (const ReportSettings::Column &c : settings.columns)
        if (c.shown)
            m_shown.push_back({c.name, c.width, characters(c.width)});
}

ReportBuilder::Form ReportBuilder::formForFileName(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const qsizetype slash = std::max(fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u'\\'));
    if (dot < 0 || dot < slash)
        return Txt;
    return fileName.mid(dot).toUpper() == ".HTML"_L1 ? Html : Txt;
}

ReportSettings::Kind ReportBuilder::kindOf(const TreeNode *node)
{
    return node && node->isDisc() ? ReportSettings::DiscReport : ReportSettings::GroupReport;
}

QString ReportBuilder::FitLeft(const QString &text, int width)
{
    if (text.size() >= width) {
        QString cut = text.left(width);
        // Half a surrogate pair would be no character at all.
        if (!cut.isEmpty() && cut.back().isHighSurrogate())
            cut.back() = u' ';
        return cut;
    }
    return text + QString(width - text.size(), u' ');
}

QString ReportBuilder::FitCentre(const QString &text, int width)
{
    if (text.size() >= width)
        return FitLeft(text, width);
    const qsizetype side = (width - text.size() + 1) / 2;
    const QString pad(side, u' ');
    return FitLeft(pad + text + pad, width);
}

QString ReportBuilder::ColorText(quint32 rgb)
{
    return u"\"#%1\""_s.arg(static_cast<uint>(rgb & 0xFFFFFF), 6, 16, QLatin1Char('0')).toUpper();
}

QString ReportBuilder::creationDate(const QDate &date)
{
    const QString sep = separatorOf(QLocale().dateFormat(QLocale::ShortFormat), u"/"_s);
    return date.toString(u"dd'%1'MM'%1'yyyy"_s.arg(sep)) + u'.';
}

QString ReportBuilder::creationTime(const QTime &time)
{
    const QString sep = separatorOf(QLocale().timeFormat(QLocale::LongFormat), u":"_s);
    return time.toString(u"HH'%1'mm'%1'ss"_s.arg(sep));
}

QStringList ReportBuilder::discRow(const TreeNode *disc, const QString &location)
{
    const TCD &cd = *disc->cd();
    // The blank before the colon of a few keys is how the lines have always read; FindColumn
    // takes the value straight after it.
    return {u"Title: "_s + disc->text(),
            u"Name: "_s + cd.Title,
            u"Location: "_s + location,
            u"Size: "_s + FormatSize(cd.Size),
            u"Disc Number: "_s + QString::number(cd.Number),
            u"Label: "_s + cd.VolumeLabel,
            u"Genre :"_s + cd.Genre,
            u"Description :"_s + cd.Description,
            u"Serial Number: "_s + cd.Serial,
            u"File System :"_s + cd.FileSystem,
            u"Entry Date :"_s + cd.Date};
}

void ReportBuilder::advance()
{
    ++m_done;
    if (m_progress && (m_done % ProgressStep == 0 || m_done == m_total))
        m_progress(m_done, m_total);
}

// ---- text ----

void ReportBuilder::txtHeader()
{
    m_out << '|';
    for (const Shown &c : m_shown)
        m_out << FitCentre(c.name, c.chars) << '|';
    m_out.endLine();
    txtSeparator();
    m_out.endLine();
}

void ReportBuilder::txtSeparator()
{
    qsizetype length = 1;
    for (const Shown &c : m_shown)
        length += c.chars + 1;
    m_out.repeat('-', length);
}

void ReportBuilder::txtRow(const QStringList &row)
{
    m_out << '|';
    for (const Shown &c : m_shown)
        m_out << FitLeft(FindColumn(c.name, row, false), c.chars) << '|';
    m_out.endLine();
}

// ---- HTML ----

QString ReportBuilder::htmlValue(const QString &key, const QStringList &row) const
{
    const QString value = FindColumn(key, row, true);
    // "&nbsp;" stands for a blank cell, unless the value itself was written that way.
    if (value == Nbsp && FindColumn(key, row, false) != Nbsp)
        return value;
    return value.toHtmlEscaped();
}

void ReportBuilder::htmlGroupRow(const QStringList &row)
{
    m_out << "<tr>"_L1;
    m_out.endLine();
    for (const Shown &c : m_shown) {
        m_out << "<td nowrap width = \""_L1 << c.pixels << "\" bgcolor="_L1 << m_table
              << "><font size=\"2\" color = "_L1 << m_font << " face=\"Tahoma\">"_L1 << htmlValue(c.name, row)
              << "</font></td>"_L1;
        m_out.endLine();
    }
    m_out << "</tr>"_L1;
    m_out.endLine();
}

// ---- disc reports ----

template <typename WriteRow> void ReportBuilder::discRecords(const TreeNode *disc, WriteRow writeRow)
{
    if (!disc->cd())
        throw QuilloryError(u"\"%1\" is not a catalogued disc."_s.arg(disc->text()));
    const ContentsList files = ContentsList::fromBytes(ContentsFile::read(m_db, disc->cd()->Serial).fileList);
    m_done = 0;
    m_total = files.recordCount();
    if (m_progress)
        m_progress(0, m_total);
    QStringList row;
    for (int r = 0; r < files.recordCount(); ++r) {
        const QString name = files.line(r, ContentsRecord::NameLine);
        row.clear();
        row.append(u"Name: "_s + name);
        row.append(u"Path: "_s + files.line(r, ContentsRecord::FolderLine));
        row.append(u"Size: "_s + FormatSize(StrToInt64(files.line(r, ContentsRecord::SizeLine))));
        row.append(u"Date: "_s + files.line(r, ContentsRecord::DateLine));
        for (int i = ContentsRecord::FixedLines, n = files.lineCount(r); i < n; ++i)
            row.append(files.line(r, i));
        row.append(QString::fromLatin1(ContentsRecord::EndLine));
        row.append(u"Type: "_s + FileTypes::GetFileType(name));
        writeRow(row);
        advance();
    }
}

void ReportBuilder::TXTCDReport(const TreeNode *disc)
{
    m_out << "Report for disc \""_L1 << disc->text() << "\"."_L1;
    m_out.endLine();
    m_out.endLine();
    txtHeader();
    discRecords(disc, [this](const QStringList &row) { txtRow(row); });
    txtSeparator();
}

void ReportBuilder::HTMLCDReport(const TreeNode *disc)
{
    m_out << "<tr>"_L1;
    m_out.endLine();
    for (const Shown &c : m_shown)
        m_out << "<td width = \""_L1 << c.pixels << "\" bgcolor="_L1 << m_header << "><font size=\"2\" color = "_L1
              << m_font << " face=\"Tahoma\"><center><b>"_L1 << c.name << "</b></center></font></td>"_L1;
    m_out << "</tr>"_L1;
    m_out.endLine();
    discRecords(disc, [this](const QStringList &row) {
        m_out << "<tr>"_L1;
        m_out.endLine();
        for (const Shown &c : m_shown)
            m_out << "<td bgcolor="_L1 << m_table << "><font size=\"2\" color = "_L1 << m_font << " face=\"Tahoma\">"_L1
                  << htmlValue(c.name, row) << "</font></td>"_L1;
        m_out << "</tr>"_L1;
        m_out.endLine();
    });
}

// ---- group reports ----

qint64 ReportBuilder::discCount(const TreeNode *group) const
{
    qint64 n = 0;
    for (int i = 0; i < group->childCount(); ++i) {
        const TreeNode *child = group->child(i);
        if (child->isDisc())
            ++n;
        else if (m_settings.recurse)
            n += discCount(child);
    }
    return n;
}

void ReportBuilder::groupRows(const TreeNode *group, Form form)
{
    for (int i = 0; i < group->childCount(); ++i) {
        const TreeNode *child = group->child(i);
        if (child->isDisc()) {
            if (!child->cd())
                continue;
            const QStringList row = discRow(child, group->text());
            if (form == Html)
                htmlGroupRow(row);
            else
                txtRow(row);
            advance();
        } else if (m_settings.recurse) {
            if (form == Html)
                HTMLReport(child, false);
            else
                TXTReport(child, false);
        }
    }
}

void ReportBuilder::TXTReport(const TreeNode *group, bool top)
{
    if (top) {
        m_done = 0;
        m_total = discCount(group);
        if (m_progress)
            m_progress(0, m_total);
        m_out << "Report for group \""_L1 << group->text() << "\"."_L1;
        m_out.endLine();
        m_out.endLine();
        txtHeader();
    }
    groupRows(group, Txt);
    if (top)
        txtSeparator();
}

void ReportBuilder::HTMLReport(const TreeNode *group, bool top)
{
    if (top) {
        m_done = 0;
        m_total = discCount(group);
        if (m_progress)
            m_progress(0, m_total);
        m_out << "<tr>"_L1;
        m_out.endLine();
        for (const Shown &c : m_shown) {
            m_out << "<td nowrap width = \""_L1 << c.pixels << "\" bgcolor="_L1 << m_header
                  << "><font size=\"2\" color = "_L1 << m_font << " face=\"Tahoma\"><center><b>"_L1 << c.name
                  << "</b></center></font></td>"_L1;
            m_out.endLine();
        }
        m_out << "</tr>"_L1;
        m_out.endLine();
    }
    groupRows(group, Html);
}

// ---- the document ----

void ReportBuilder::writeDocument(const TreeNode *node, Form form, const QDateTime &createdAt)
{
    const bool disc = kindOf(node) == ReportSettings::DiscReport;
    const bool closing = createdAt.isValid();
    const QString on = closing ? creationDate(createdAt.date()) : QString();
    const QString at = closing ? creationTime(createdAt.time()) : QString();
    if (form == Html) {
        const auto line = [this](const QString &text) {
            m_out << text;
            m_out.endLine();
        };
        line(u"<html>"_s);
        line(u"<title>Quillory! report</title>"_s);
        line(u"<body bgcolor="_s + ColorText(m_settings.colours.background) + u'>');
        line(u"<table border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\" bordercolor="_s +
             ColorText(m_settings.colours.border) + u'>');
        if (disc)
            HTMLCDReport(node);
        else
            HTMLReport(node, true);
        line(u"</table>"_s);
        if (closing)
            line(u"<center><font face=\"Tahoma\" size = \"2\"><i>Created with <b>Quillory!</b> on "_s + on + u" at "_s +
                 at + u"</i></font></center>"_s);
        line(u"</body>"_s);
        line(u"</html>"_s);
    } else {
        if (disc)
            TXTCDReport(node);
        else
            TXTReport(node, true);
        if (closing) {
            // Two bare line feeds end the separator the report left open.
            m_out << "\n\nCreated with Quillory! on "_L1 << on << " at "_L1 << at;
            m_out.endLine();
        }
    }
    m_out.flush();
}
