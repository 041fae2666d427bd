#include "TReportForm.h"

#include "gui/MainWindowLock.h"

#include "ColorShape.h"
#include "listing/Navigator.h"
#include "core/QuilloryError.h"
#include "gui/AppDialogs.h"
#include "gui/TBusyForm.h"
#include "reports/ReportBuilder.h"
#include "reports/ReportOutput.h"
#include "reports/ReportStream.h"
#include "session/Workspace.h"
#include "store/TreeNode.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <new>

using namespace Qt::Literals::StringLiterals;

namespace
{
constexpr int WidthRole = Qt::UserRole + 1;
// Smaller reports are written before a busy window could be seen.
constexpr qint64 BusyFrom = 5000;

QColor toColour(quint32 rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

quint32 toRgb(const QColor &c)
{
    return static_cast<quint32>(c.rgb()) & 0xFFFFFF;
}

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}
} // namespace

TReportForm::TReportForm(Workspace &workspace, Navigator &navigator, QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_workspace(workspace), m_navigator(navigator), m_mainWindow(mainWindow)
{
    new MainWindowLock(this, mainWindow);
    setObjectName(u"ReportForm"_s);
    setWindowTitle(u"Create Report"_s);
    setModal(false);
    buildUi();
}

void TReportForm::buildUi()
{
    m_columnList = new QTreeWidget(this);
    m_columnList->setObjectName(u"ColumnList"_s);
    m_columnList->setHeaderLabels({u"Check columns you like to be visible in report"_s});
    m_columnList->setRootIsDecorated(false);
    m_columnList->setUniformRowHeights(true);
    m_columnList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_columnList->header()->setSectionsClickable(false);

    m_upButton = button(u"UpButton"_s, u"Move Up"_s, this);
    m_downButton = button(u"DownButton"_s, u"Move Down"_s, this);
    m_defaultButton = button(u"DefaultButton"_s, u"Default"_s, this);
    m_widthEdit = new QSpinBox(this);
    m_widthEdit->setObjectName(u"WidthEdit"_s);
    m_widthEdit->setRange(ReportSettings::MinWidth, ReportSettings::MaxWidth);
    m_widthEdit->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    m_widthEdit->setValue(150);
    auto *columnButtons = new QVBoxLayout;
    columnButtons->addWidget(m_upButton);
    columnButtons->addWidget(m_downButton);
    columnButtons->addWidget(m_defaultButton);
    columnButtons->addSpacing(8);
    auto *widthRow = new QHBoxLayout;
    widthRow->addWidget(new QLabel(u"Width:"_s, this));
    widthRow->addWidget(m_widthEdit);
    widthRow->addWidget(new QLabel(u"px"_s, this));
    columnButtons->addLayout(widthRow);
    columnButtons->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addWidget(m_columnList, 1);
    columns->addLayout(columnButtons);

    m_timeBox = new QCheckBox(u"Add report creation time"_s, this);
    m_timeBox->setObjectName(u"TimeBox"_s);
    m_timeBox->setChecked(true);
    m_subBox = new QCheckBox(u"Recurse scan sub-groups for discs"_s, this);
    m_subBox->setObjectName(u"SubBox"_s);
    m_subBox->setChecked(true);

    const ReportSettings::Colours colours;
    auto *colourBox = new QGroupBox(u"HTML Color options"_s, this);
    auto *grid = new QGridLayout(colourBox);
    const std::pair<ColorShape **, std::pair<const char *, const char *>> shapes[] = {
        {&m_bgShape, {"BgShape", "Background color :"}},
        {&m_fontShape, {"FontShape", "Font color :"}},
        {&m_tableShape, {"TableShape", "Table color :"}},
        {&m_borderShape, {"BorderShape", "Border color :"}},
        {&m_headerShape, {"HeaderShape", "Header color :"}}};
    const quint32 initial[] = {colours.background, colours.font, colours.table, colours.border, colours.header};
    int row = 0;
    for (const auto &[shape, texts] : shapes) {
        *shape = new ColorShape(QString::fromLatin1(texts.first), toColour(initial[row]), colourBox);
        grid->addWidget(new QLabel(QString::fromLatin1(texts.second), colourBox), row, 0);
        grid->addWidget(*shape, row, 1);
        ColorShape *s = *shape;
        connect(s, &ColorShape::pressed, this, [this, s] { BgShapeMouseDown(s); });
        ++row;
    }
    grid->addWidget(new QLabel(u"Click on the colored box to change it."_s, colourBox), row, 0, 1, 2);

    m_radioSave = new QRadioButton(u"Save to file"_s, this);
    m_radioSave->setObjectName(u"RadioSave"_s);
    m_radioSave->setChecked(true);
    m_fileEdit = new QLineEdit(this);
    m_fileEdit->setObjectName(u"FileEdit"_s);
    m_openButton = button(u"OpenButton"_s, u"..."_s, this);
    m_openButton->setFixedWidth(32);
    m_radioPrint = new QRadioButton(u"Print"_s, this);
    m_radioPrint->setObjectName(u"RadioPrint"_s);
    m_printBox = new QComboBox(this);
    m_printBox->setObjectName(u"PrintBox"_s);
    // The page is printed as a browser shows it, after the print dialog; the text goes to the
    // default printer.
    m_printBox->addItems({u"Print using Web Browser"_s, u"Print Plain Text"_s});
    m_printBox->setCurrentIndex(0);
    m_printBox->setEnabled(false);
    auto *output = new QGridLayout;
    output->addWidget(m_radioSave, 0, 0);
    output->addWidget(m_fileEdit, 0, 1);
    output->addWidget(m_openButton, 0, 2);
    output->addWidget(m_radioPrint, 1, 0);
    auto *printRow = new QHBoxLayout;
    printRow->addWidget(new QLabel(u"Print type:"_s, this));
    printRow->addWidget(m_printBox, 1);
    output->addLayout(printRow, 1, 1, 1, 2);

    m_okButton = button(u"OkButton"_s, u"Create"_s, this);
    m_okButton->setDefault(true);
    m_cancelButton = button(u"CancelButton"_s, u"Cancel"_s, this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);

    auto *options = new QVBoxLayout;
    options->addWidget(m_timeBox);
    options->addWidget(m_subBox);
    options->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addLayout(options, 1);
    middle->addWidget(colourBox);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(middle);
    layout->addLayout(output);
    layout->addLayout(buttons);
    resize(460, 520);

    connect(m_columnList, &QTreeWidget::currentItemChanged, this, &TReportForm::ColumnListClick);
    connect(m_columnList, &QTreeWidget::itemClicked, this, &TReportForm::ColumnListClick);
    // A width counts as soon as it is typed, even one the box will bring into range only when
    // it is left: the box's own signal waits for a number in range, its line does not.
    connect(m_widthEdit, &QSpinBox::textChanged, this, &TReportForm::WidthEditChange);
    if (auto *line = m_widthEdit->findChild<QLineEdit *>())
        connect(line, &QLineEdit::textChanged, this, &TReportForm::WidthEditChange);
    connect(m_upButton, &QPushButton::clicked, this, [this] { UpButtonClick(-1); });
    connect(m_downButton, &QPushButton::clicked, this, [this] { UpButtonClick(1); });
    connect(m_defaultButton, &QPushButton::clicked, this, &TReportForm::DefaultButtonClick);
    connect(m_radioSave, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioSaveClick();
    });
    connect(m_radioPrint, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioPrintClick();
    });
    connect(m_openButton, &QPushButton::clicked, this, &TReportForm::OpenButtonClick);
    connect(m_okButton, &QPushButton::clicked, this, &TReportForm::OkButtonClick);
    connect(m_cancelButton, &QPushButton::clicked, this, &TReportForm::CancelButtonClick);
}

QString TReportForm::caption(const TreeNode *node, const QString &name)
{
    return (node->isDisc() ? u"Create Report for disc \""_s : u"Create Report for group \""_s) + name + u'"';
}

void TReportForm::start()
{
    const TreeNode *node = m_navigator.currentNode();
    if (!node)
        return;
    setWindowTitle(caption(node, node->text()));
    DefaultButtonClick();
    m_columnList->setCurrentItem(m_columnList->topLevelItem(0));
    m_widthEdit->setValue(ReportSettings::DefaultWidth);
    if (!isVisible()) {
        adjustSize();
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}

TBusyForm *TReportForm::busyForm() const
{
    return m_busy;
}

ReportSettings TReportForm::settings() const
{
    ReportSettings s;
    for (int i = 0; i < m_columnList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_columnList->topLevelItem(i);
        s.columns.append({item->text(0), item->checkState(0) == Qt::Checked, widthOf(item)});
    }
    s.recurse = m_subBox->isChecked();
    s.colours.background = toRgb(m_bgShape->colour());
    s.colours.font = toRgb(m_fontShape->colour());
    s.colours.table = toRgb(m_tableShape->colour());
    s.colours.border = toRgb(m_borderShape->colour());
    s.colours.header = toRgb(m_headerShape->colour());
    return s;
}

QTreeWidgetItem *TReportForm::selectedColumn() const
{
    QTreeWidgetItem *item = m_columnList->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

int TReportForm::widthOf(const QTreeWidgetItem *item)
{
    return item->data(0, WidthRole).toInt();
}

void TReportForm::DefaultButtonClick()
{
    m_kind = ReportBuilder::kindOf(m_navigator.currentNode());
    m_columnList->clear();
    m_subBox->setVisible(m_kind == ReportSettings::GroupReport);
    for (const ReportSettings::Column &c : ReportSettings::defaultColumns(m_kind)) {
        auto *item = new QTreeWidgetItem(m_columnList, {c.name});
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, c.shown ? Qt::Checked : Qt::Unchecked);
        item->setData(0, WidthRole, c.width);
    }
}

void TReportForm::ColumnListClick()
{
    QTreeWidgetItem *item = selectedColumn();
    if (!item)
        return;
    const int row = m_columnList->indexOfTopLevelItem(item);
    m_widthEdit->setValue(widthOf(item));
    m_upButton->setEnabled(row > 0);
    m_downButton->setEnabled(row < m_columnList->topLevelItemCount() - 1);
}

void TReportForm::WidthEditChange(const QString &text)
{
    bool whole = !text.isEmpty();
    for (QChar c : text)
        whole = whole && c.isDigit();
    QTreeWidgetItem *item = selectedColumn();
    if (!whole || !item)
        return;
    item->setData(0, WidthRole, ReportSettings::clampWidth(text.toLongLong()));
}

void TReportForm::UpButtonClick(int step)
{
    QTreeWidgetItem *item = selectedColumn();
    if (!item)
        return;
    const int row = m_columnList->indexOfTopLevelItem(item);
    const int to = row + step;
    if (to < 0 || to >= m_columnList->topLevelItemCount())
        return;
    // The item carries its name, mark and width to the new place.
    m_columnList->takeTopLevelItem(row);
    m_columnList->insertTopLevelItem(to, item);
    m_columnList->setCurrentItem(item);
    ColumnListClick();
}

void TReportForm::BgShapeMouseDown(ColorShape *shape)
{
    const QColor chosen =
        m_chooseColour ? m_chooseColour(shape->colour(), this) : QColorDialog::getColor(shape->colour(), this);
    if (chosen.isValid())
        shape->setColour(chosen);
}

void TReportForm::RadioSaveClick()
{
    m_fileEdit->setEnabled(true);
    m_openButton->setEnabled(true);
    m_printBox->setEnabled(false);
}

void TReportForm::RadioPrintClick()
{
    m_fileEdit->setEnabled(false);
    m_openButton->setEnabled(false);
    m_printBox->setEnabled(true);
}

void TReportForm::OpenButtonClick()
{
    const TreeNode *node = m_navigator.currentNode();
    const QString proposed = AppDialogs::fileNameOf((node ? node->text() : QString()) + u" Report"_s);
    const QString file = AppDialogs::saveFileName(this, u"Save Report"_s, u"HTML Page (*.html);;Text File (*.txt)"_s,
                                                  u"html"_s, proposed);
    if (!file.isEmpty())
        m_fileEdit->setText(file);
}

bool TReportForm::writeReport(const TreeNode *node, const QString &file, int form)
{
    ReportOutput output(file, m_workspace.dbFolder());
    try {
        if (!output.open()) {
            AppDialogs::message(this, AppDialogs::Error, output.openFailure());
            return false;
        }
    } catch (const QuilloryError &e) {
        AppDialogs::showError(this, e.message());
        return false;
    }
    if (!m_busy)
        m_busy = new TBusyForm(this);
    bool busy = false;
    try {
        const ReportSettings s = settings();
        ReportStream stream(output.device());
        ReportBuilder builder(m_workspace.dbFolder(), s, stream);
        builder.setProgress([&](qint64 done, qint64 total) {
            if (total < BusyFrom)
                return;
            const int maximum = static_cast<int>(std::min<qint64>(total, INT_MAX));
            if (!busy) {
                m_busy->start(u"Creating report, please wait..."_s, maximum);
                busy = true;
            }
            m_busy->setPosition(static_cast<int>(std::min<qint64>(done, maximum)));
        });
        const QDateTime created =
            m_timeBox->isChecked() ? (m_clock ? m_clock() : QDateTime::currentDateTime()) : QDateTime();
        builder.writeDocument(node, static_cast<ReportBuilder::Form>(form), created);
        output.commit();
    } catch (const QuilloryError &e) {
        if (busy)
            m_busy->finish();
        output.discard();
        AppDialogs::showError(this, e.message());
        return false;
    } catch (const std::bad_alloc &) {
        // A report of a very large disc streams, but a line or a list still takes memory: the
        // program stays, the older file too.
        if (busy)
            m_busy->finish();
        output.discard();
        AppDialogs::showError(this, u"The report could not be written: out of memory."_s);
        return false;
    }
    if (busy)
        m_busy->finish();
    return true;
}

void TReportForm::OkButtonClick()
{
    const TreeNode *node = m_navigator.currentNode();
    if (!node)
        return;
    const bool print = m_radioPrint->isChecked();
    const ReportBuilder::Form form = print
                                         ? (m_printBox->currentIndex() == 0 ? ReportBuilder::Html : ReportBuilder::Txt)
                                         : ReportBuilder::formForFileName(m_fileEdit->text());
    // Whatever its form, a report to print goes through one temporary page.
    const QString file = print ? m_workspace.dataFolder() + u"temp.html"_s : m_fileEdit->text();
    if (!writeReport(node, file, form))
        return;
    if (!print) {
        AppDialogs::message(this, AppDialogs::Information, u"Report created succesfully!"_s);
        close();
        return;
    }
    // The print dialog comes up over the window, once this one is gone.
    close();
    if (form == ReportBuilder::Html)
        m_printer.printHtml(file, m_mainWindow);
    else
        m_printer.printText(file, m_mainWindow);
    QFile::remove(file);
}

void TReportForm::CancelButtonClick()
{
    close();
}
