#pragma once

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

// Prints a report file: an HTML report as the page it is (after the print dialog), a text
// report in a small monospace font so its columns stay aligned (on the default printer). The
// print job is titled "Quillory! Report".
class ReportPrinter
{
public:
    // Readies the printer; false cancels. askUser: the print dialog rather than the default
    // printer. Tests stand in for both, printing to PDF.
    using Setup = std::function<bool(QPrinter &printer, bool askUser)>;

    static QString documentTitle() { return QStringLiteral("Quillory! Report"); }

    void setSetup(Setup setup) { m_setup = std::move(setup); }

    // False when the user cancelled; a file that cannot be read prints nothing either.
    bool printHtml(const QString &file, QWidget *parent) const;
    bool printText(const QString &file, QWidget *parent) const;

private:
    bool ready(QPrinter &printer, bool askUser, QWidget *parent) const;

    Setup m_setup;
};
