#include "ReportBuilder.h"

#include "ReportStream.h"
#include "TextWidth.h"
#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "listing/FileTypes.h"
#include "listing/FindColumn.h"
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

bool needsEscape(QStringView text)
{
    for (QChar c : text)
        if (c == u'<' || c == u'>' || c == u'&' || c == u'"')
            return true;
    return false;
}

} // namespace

// The lines of one row ("Name: song.mp3"), rebuilt in place for every record: the strings keep
// their memory from one row to the next, so a report of a hundred thousand rows does not cost
// an allocation per line.
class ReportBuilder::Row
{
public:
    void start() { m_count = 0; }
    // The next line, empty; valid until the next call.
    QString &next()
    {
        if (m_count == m_lines.size())
            m_lines.append(QString());
        QString &line = m_lines[m_count++];
        line.resize(0);
        return line;
    }
    QString &next(QLatin1StringView label) { return next().append(label); }
    void appendUtf8(QString &line, QByteArrayView utf8)
    {
        const qsizetype at = line.size();
        line.resize(at + utf8.size());
        QChar *end = m_decoder.appendToBuffer(line.data() + at, utf8);
        line.resize(end - line.constData());
    }
    const QStringList &lines()
    {
        while (m_lines.size() > m_count)
            m_lines.removeLast();
        return m_lines;
    }

private:
    QStringList m_lines;
    qsizetype m_count = 0;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
};

ReportBuilder::ReportBuilder(const QString &dbFolder, const ReportSettings &settings, ReportStream &out)
    : m_db(dbFolder), m_settings(settings), m_out(out), m_font(ColorText(settings.colours.font)),
      m_table(ColorText(settings.colours.table)), m_header(ColorText(settings.colours.header)),
      m_row(std::make_unique<Row>())
{
    for (const ReportSettings::Column &c : settings.columns)
        if (c.shown)
            m_shown.push_back({c.name, c.width, characters(c.width)});
}

ReportBuilder::~ReportBuilder() = default;

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
    const TextWidth::Fit fit = TextWidth::fit(text, width);
    return fit.kept.toString() + QString(fit.blanks, u' ');
}

QString ReportBuilder::FitCentre(const QString &text, int width)
{
    const qsizetype columns = TextWidth::of(text);
    if (columns >= width)
        return FitLeft(text, width);
    const QString pad((width - columns + 1) / 2, u' ');
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
    for (const Shown &c : m_shown) {
        const QString value = FindColumn(c.name, row, false);
        const TextWidth::Fit fit = TextWidth::fit(value, c.chars);
        m_out << fit.kept;
        m_out.repeat(' ', fit.blanks);
        m_out << '|';
    }
    m_out.endLine();
}

// ---- HTML ----

void ReportBuilder::htmlValue(const QString &key, const QStringList &row)
{
    const QString value = FindColumn(key, row, true);
    // "&nbsp;" stands for a blank cell, unless the value itself was written that way.
    if (!needsEscape(value) || (value == Nbsp && FindColumn(key, row, false) != Nbsp))
        m_out << value;
    else
        m_out << value.toHtmlEscaped();
}

void ReportBuilder::htmlGroupRow(const QStringList &row)
{
    m_out << "<tr>"_L1;
    m_out.endLine();
    for (const Shown &c : m_shown) {
        m_out << "<td nowrap width = \""_L1 << c.pixels << "\" bgcolor="_L1 << m_table
              << "><font size=\"2\" color = "_L1 << m_font << " face=\"Tahoma\">"_L1;
        htmlValue(c.name, row);
        m_out << "</font></td>"_L1;
        m_out.endLine();
    }
    m_out << "</tr>"_L1;
    m_out.endLine();
}

// ---- disc reports ----

const QString &ReportBuilder::typeOf(QByteArrayView utf8Name)
{
    // Most names are typed by their extension alone, and a disc has a few dozen of those; they
    // take a shortcut past the name's own lookup.
    const qsizetype dot = utf8Name.lastIndexOf('.');
    const QByteArrayView ext = dot < 0 ? QByteArrayView() : utf8Name.sliced(dot);
    if (ext.size() > 7 || !FileTypes::extensionDecides(utf8Name))
        return m_otherType = FileTypes::GetFileType(QString::fromUtf8(utf8Name));
    quint64 key = quint64(ext.size()) << 56;
    for (qsizetype i = 0; i < ext.size(); ++i)
        key |= quint64(static_cast<unsigned char>(ext[i])) << (8 * i);
    auto it = m_typeByExtension.constFind(key);
    if (it == m_typeByExtension.constEnd())
        it = m_typeByExtension.insert(key, FileTypes::GetFileType(QString::fromUtf8(utf8Name)));
    return it.value();
}

template <typename WriteRow> void ReportBuilder::discRecords(const TreeNode *disc, WriteRow writeRow)
{
    if (!disc->cd())
        throw QuilloryError(u"\"%1\" is not a catalogued disc."_s.arg(disc->text()));
    const TCD &cd = *disc->cd();
    const ContentsList files = ContentsList::fromBytes(
        ContentsFile::readingDisc(cd.Title, [&] { return ContentsFile::read(m_db, cd.Serial); }).fileList);
    m_done = 0;
    m_total = files.recordCount();
    if (m_progress)
        m_progress(0, m_total);
    Row &row = *m_row;
    QString size;
    for (int r = 0; r < files.recordCount(); ++r) {
        // Name, folder, size and date under their keys, the extra lines as they stand and the
        // record's "-", then the type of the file's name.
        const QByteArrayView name = files.lineBytes(r, ContentsRecord::NameLine);
        row.start();
        row.appendUtf8(row.next("Name: "_L1), name);
        row.appendUtf8(row.next("Path: "_L1), files.lineBytes(r, ContentsRecord::FolderLine));
        size.resize(0);
        row.appendUtf8(size, files.lineBytes(r, ContentsRecord::SizeLine));
        qint64 bytes = 0;
        // A damaged list: which one, and where in it, or the user cannot find it.
        if (!ContentsRecord::parseSize(files.lineBytes(r, ContentsRecord::SizeLine), bytes))
            throw QuilloryError(u"%1 (the size of \"%2\" in \"%3\" on disc \"%4\")"_s.arg(
                notAnInteger(size).message(), QString::fromUtf8(name),
                QString::fromUtf8(files.lineBytes(r, ContentsRecord::FolderLine)), cd.Title));
        row.next("Size: "_L1).append(FormatSize(bytes));
        row.appendUtf8(row.next("Date: "_L1), files.lineBytes(r, ContentsRecord::DateLine));
        for (int i = ContentsRecord::FixedLines, n = files.lineCount(r); i < n; ++i)
            row.appendUtf8(row.next(), files.lineBytes(r, i));
        row.next(QLatin1StringView(ContentsRecord::EndLine.data(), ContentsRecord::EndLine.size()));
        row.next("Type: "_L1).append(typeOf(name));
        writeRow(row.lines());
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
        for (const Shown &c : m_shown) {
            m_out << "<td bgcolor="_L1 << m_table << "><font size=\"2\" color = "_L1 << m_font
                  << " face=\"Tahoma\">"_L1;
            htmlValue(c.name, row);
            m_out << "</font></td>"_L1;
        }
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
        if (child->isDisc() && child->cd())
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
            // The blank before the colon of a few keys is how these lines have always read;
            // FindColumn takes the value straight after it.
            const TCD &cd = *child->cd();
            Row &row = *m_row;
            row.start();
            row.next("Title: "_L1).append(child->text());
            row.next("Name: "_L1).append(cd.Title);
            row.next("Location: "_L1).append(group->text());
            row.next("Size: "_L1).append(FormatSize(cd.Size));
            row.next("Disc Number: "_L1).append(QString::number(cd.Number));
            row.next("Label: "_L1).append(cd.VolumeLabel);
            row.next("Genre :"_L1).append(cd.Genre);
            row.next("Description :"_L1).append(cd.Description);
            row.next("Serial Number: "_L1).append(cd.Serial);
            row.next("File System :"_L1).append(cd.FileSystem);
            row.next("Entry Date :"_L1).append(cd.Date);
            if (form == Html)
                htmlGroupRow(row.lines());
            else
                txtRow(row.lines());
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
