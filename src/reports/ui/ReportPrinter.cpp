#include "ReportPrinter.h"

#include "core/TextCodec.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>
#include <algorithm>

namespace
{
bool readText(const QString &file, QString &text)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    text = TextCodec::decode(f.readAll());
    return true;
}

// Prints a report as it is laid out, its widest row across the page: the columns stay side by
// side, made smaller when they are wider than the paper, never wrapped or cut off.
void printFitted(QTextDocument &doc, QPrinter &printer)
{
    QTextOption option = doc.defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    doc.setDefaultTextOption(option);
    doc.documentLayout()->setPaintDevice(&printer);
    doc.setTextWidth(-1);
    doc.setTextWidth(doc.idealWidth());
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal scale = std::min<qreal>(1, page.width() / std::max<qreal>(1, doc.textWidth()));
    const qreal pageHeight = page.height() / scale;
    // Laid out in pages, so that no row is cut across two.
    doc.setPageSize(QSizeF(doc.textWidth(), pageHeight));
    QPainter painter(&printer);
    painter.scale(scale, scale);
    for (int i = 0; i < doc.pageCount(); ++i) {
        if (i > 0)
            printer.newPage();
        painter.save();
        painter.translate(0, -i * pageHeight);
        doc.drawContents(&painter, QRectF(0, i * pageHeight, doc.textWidth(), pageHeight));
        painter.restore();
    }
}
} // namespace

bool ReportPrinter::ready(QPrinter &printer, bool askUser, QWidget *parent) const
{
    printer.setDocName(documentTitle());
    if (m_setup)
        return m_setup(printer, askUser);
    // Without any printer set up there is no default to print on; the dialog can still
    // print to a file.
    if (!askUser && !QPrinterInfo::defaultPrinter().isNull())
        return true;
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    return dialog.exec() == QDialog::Accepted;
}

bool ReportPrinter::printHtml(const QString &file, QWidget *parent) const
{
    QString html;
    if (!readText(file, html))
        return false;
    QPrinter printer;
    if (!ready(printer, true, parent))
        return false;
    QTextDocument doc;
    doc.setHtml(html);
    printFitted(doc, printer);
    return true;
}

bool ReportPrinter::printText(const QString &file, QWidget *parent) const
{
    QString text;
    if (!readText(file, text))
        return false;
    QPrinter printer;
    if (!ready(printer, false, parent))
        return false;
    QFont font(QStringLiteral("Courier New"), 8);
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setPlainText(text);
    printFitted(doc, printer);
    return true;
}
