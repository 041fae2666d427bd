#include "TVerifyForm.h"
#include "gui/PlainTip.h"

#include "listing/EntryPlace.h"
#include "store/CatalogueLocale.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

// The rows of a report, made into text only when the view asks for them.
class VerifyModel : public QAbstractTableModel
{
public:
    enum Column { Name, Kind, Location, Detail, Columns };
    using QAbstractTableModel::QAbstractTableModel;

    void reset(const VerifyReport *report, const QString &title, const QString &serial)
    {
        beginResetModel();
        m_report = report;
        m_title = title;
        m_serial = serial;
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() || !m_report ? 0 : int(m_report->differences.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : Columns; }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        static const char *const captions[] = {"Name", "Difference", "Location", "Detail"};
        if (o != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return QString::fromLatin1(captions[section]);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const VerifyDifference &d = m_report->differences[size_t(index.row())];
        // A folder's path ends in "\": its name is the part before that.
        const QString path = d.isFolder ? d.path.chopped(1) : d.path;
        const qsizetype cut = path.lastIndexOf(u'\\') + 1;
        if (role == Qt::DecorationRole && index.column() == Name)
            return QApplication::style()->standardIcon(d.isFolder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        const QString text = index.column() == Name       ? path.mid(cut)
                             : index.column() == Kind     ? VerifyDifference::kindName(d.kind)
                             : index.column() == Location ? EntryPlace(m_title, m_serial, path.left(cut)).text()
                                                          : d.detail;
        // Names from the disc: text in the hint too, never markup.
        return role == Qt::ToolTipRole ? PlainTip(text) : text;
    }

private:
    const VerifyReport *m_report = nullptr;
    QString m_title;
    QString m_serial;
};

TVerifyForm::TVerifyForm(QWidget *mainWindow) : QWidget(mainWindow, Qt::Window)
{
    setObjectName(u"VerifyForm"_s);
    m_header = new QLabel(this);
    m_header->setObjectName(u"VerifyHeader"_s);
    m_header->setTextFormat(Qt::PlainText);
    m_header->setWordWrap(true);
    m_model = new VerifyModel(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(u"DifferencesList"_s);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setModel(m_model);
    m_list->header()->setStretchLastSection(true);
    m_status = new QStatusBar(this);
    m_status->setObjectName(u"StatusBar"_s);
    m_status->setSizeGripEnabled(false);
    auto *summary = new QLabel(m_status);
    summary->setObjectName(u"SummaryLabel"_s);
    summary->setTextFormat(Qt::PlainText);
    m_status->addWidget(summary, 1);

    const auto button = [this](const QString &name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    m_switch = button(u"SwitchButton"_s, u"S&witch to Location"_s);
    m_save = button(u"SaveButton"_s, u"&Save Report..."_s);
    m_update = button(u"UpdateButton"_s, u"&Update from this scan"_s);
    QPushButton *close = button(u"CloseButton"_s, u"Close"_s);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_switch, m_save, m_update})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    resize(720, 420);

    connect(m_switch, &QPushButton::clicked, this, [this] {
        if (const VerifyDifference *d = currentDifference())
            Q_EMIT switchRequested(*d);
    });
    connect(m_list, &QTreeView::activated, m_switch, &QPushButton::click);
    connect(m_save, &QPushButton::clicked, this, &TVerifyForm::saveRequested);
    connect(m_update, &QPushButton::clicked, this, &TVerifyForm::updateRequested);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TVerifyForm::updateButtons);
}

TVerifyForm::~TVerifyForm() = default;

QString TVerifyForm::savedText() const
{
    return m_header->text().section(u'\n', 0, 0) + u"\nVerified "_s + CatalogueLocale().formatDateTime(m_verified) +
           u"\n\n"_s + m_report.text();
}

void TVerifyForm::showReport(const QString &title, const QString &serial, const QString &root, VerifyReport report)
{
    m_title = title;
    m_serial = serial;
    m_root = root;
    m_report = std::move(report);
    m_verified = QDateTime::currentDateTime();
    m_model->reset(&m_report, title, serial);
    setWindowTitle(u"Verify Disc \"%1\""_s.arg(title));
    // The counts fit the status bar; a note that contents were not compared goes above the list.
    const QString summary = m_report.summary();
    const QString counts = summary.section(u'\n', 0, 0), note = summary.section(u'\n', 1);
    QString header = m_report.allMatched()
                         ? u"Disc \"%1\" (%2), read from %3, is as catalogued."_s.arg(title, serial, root)
                         : u"Disc \"%1\" (%2), read from %3, differs from its catalogue entry."_s.arg(title, serial, root);
    if (!note.isEmpty())
        header += u'\n' + note;
    m_header->setText(header);
    m_status->findChild<QLabel *>(u"SummaryLabel"_s)->setText(counts);
    if (m_model->rowCount() > 0)
        m_list->setCurrentIndex(m_model->index(0, 0));
    for (int c = 0; c < VerifyModel::Detail; ++c)
        m_list->resizeColumnToContents(c);
    updateButtons();
    // Opened over the main window, as the busy window was; once moved, it stays where the user put it.
    if (!m_placed && parentWidget()) {
        move(parentWidget()->frameGeometry().center() - QPoint(width() / 2, height() / 2));
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

const VerifyDifference *TVerifyForm::currentDifference() const
{
    const QModelIndex i = m_list->currentIndex();
    return i.isValid() ? &m_report.differences[size_t(i.row())] : nullptr;
}

void TVerifyForm::setUpdateAllowed(bool allowed)
{
    m_updateAllowed = allowed;
    updateButtons();
}

void TVerifyForm::updateButtons()
{
    m_switch->setEnabled(currentDifference() != nullptr);
    m_update->setEnabled(m_updateAllowed);
}
