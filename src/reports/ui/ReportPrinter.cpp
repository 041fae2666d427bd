#include "ReportPrinter.h"

#include "core/TextCodec.h"

#include <QFile>
#include <QFont>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

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
    doc.print(&printer);
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
    doc.print(&printer);
    return true;
}
