#pragma once

#include "ReportPrinter.h"
#include "reports/ReportSettings.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <functional>

class ColorShape;
class Navigator;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;
class TBusyForm;
class TreeNode;
class Workspace;

// "Create Report": the columns of a report of the tree's selected disc or group, their order,
// marks and widths, the HTML colours, and whether the report is saved or printed. It does not
// block the window behind it, but keeps it disabled while it is up. Columns, marks and widths
// start afresh every time it opens; everything else keeps its last value for the run.
class TReportForm : public QDialog
{
    Q_OBJECT
public:
    TReportForm(Workspace &workspace, Navigator &navigator, QWidget *mainWindow);

    // Shows the dialog for the tree's selected node.
    void start();
    // The dialog's title and its menu command's caption: "Create Report for disc "…"" or for a group.
    static QString caption(const TreeNode *node, const QString &name);

    ReportSettings settings() const;
    // The kind of report the columns are for.
    ReportSettings::Kind kind() const { return m_kind; }

    // Test hooks: the colour dialog (returns an invalid colour for Cancel), the time stamped
    // on the report, and the printer.
    using ColourChooser = std::function<QColor(const QColor &initial, QWidget *parent)>;
    void setColourChooser(ColourChooser chooser) { m_chooseColour = std::move(chooser); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    ReportPrinter &printer() { return m_printer; }
    TBusyForm *busyForm() const;

public Q_SLOTS:
    void DefaultButtonClick();
    void ColumnListClick();
    void WidthEditChange(const QString &text);
    void UpButtonClick(int step);
    void BgShapeMouseDown(ColorShape *shape);
    void RadioSaveClick();
    void RadioPrintClick();
    void OpenButtonClick();
    void OkButtonClick();
    void CancelButtonClick();

protected:
private:
    void buildUi();
    QTreeWidgetItem *selectedColumn() const;
    static int widthOf(const QTreeWidgetItem *item);
    // Writes the report of node to file; false (the user told) when it failed.
    bool writeReport(const TreeNode *node, const QString &file, int form);

    Workspace &m_workspace;
    Navigator &m_navigator;
    QPointer<QWidget> m_mainWindow;
    ReportSettings::Kind m_kind = ReportSettings::GroupReport;
    ReportPrinter m_printer;
    ColourChooser m_chooseColour;
    std::function<QDateTime()> m_clock;
    QPointer<TBusyForm> m_busy;

    QTreeWidget *m_columnList;
    QPushButton *m_upButton;
    QPushButton *m_downButton;
    QPushButton *m_defaultButton;
    QSpinBox *m_widthEdit;
    QCheckBox *m_timeBox;
    QCheckBox *m_subBox;
    ColorShape *m_bgShape;
    ColorShape *m_fontShape;
    ColorShape *m_tableShape;
    ColorShape *m_borderShape;
    ColorShape *m_headerShape;
    QRadioButton *m_radioSave;
    QLineEdit *m_fileEdit;
    QPushButton *m_openButton;
    QRadioButton *m_radioPrint;
    QComboBox *m_printBox;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
};
