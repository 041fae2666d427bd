#include "SearchPanel.h"

#include "core/FormatSize.h"
#include "core/QuilloryError.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/ThemeIcons.h"
#include "listing/Navigator.h"
#include "listing/SearchHits.h"
#include "search/NameIndex.h"
#include "search/SearchEngine.h"
#include "session/Workspace.h"
#include "settings/Preferences.h"
#include "store/CatalogueLocale.h"
#include "store/TreeNode.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace
{

// The band's height: the tool bar area grows from 34 to 140 pixels while it shows.
constexpr int BandHeight = 140 - 34;

// A size box takes digits with an optional leading minus and nothing else. Left empty or as a
// lone "-", it shows its last whole number again when the user leaves it, so the box never
// shows a value other than the one a search will use.
class SizeNumberValidator : public QRegularExpressionValidator
{
public:
    explicit SizeNumberValidator(QObject *parent)
        : QRegularExpressionValidator(QRegularExpression(u"-?[0-9]{1,18}"_s), parent)
    {
    }
    State validate(QString &input, int &pos) const override
    {
        const State state = QRegularExpressionValidator::validate(input, pos);
        if (state == Acceptable)
            m_last = input;
        return state;
    }
    void fixup(QString &input) const override { input = m_last; }

private:
    mutable QString m_last = u"0"_s;
};

const QStringList &unitCaptions()
{
    static const QStringList units{u"Bytes"_s, u"KB"_s, u"MB"_s};
    return units;
}

// SizeUnits, by the position of the unit list's item.
constexpr qint64 SizeUnits[] = {1, 1024, 1048576};

// The bound in bytes of a number typed in a unit; one beyond any file's size is the largest, which
// finds what it says (nothing is larger, everything is smaller) instead of wrapping round.
qint64 boundInBytes(qint64 n, int unit)
{
    const qint64 factor = SizeUnits[std::max(0, unit)];
    constexpr qint64 most = std::numeric_limits<qint64>::max(), least = std::numeric_limits<qint64>::min();
    return n > most / factor ? most : n < least / factor ? least : n * factor;
}

// The icons of the category list (TypeImages), in list order.
QIcon typeImage(int category)
{
    static const QStringList names[] = {{u"folder-documents"_s, u"folder"_s},
                                        {u"text-x-generic"_s},
                                        {u"folder"_s},
                                        {u"application-x-executable"_s, u"system-run"_s},
                                        {u"image-x-generic"_s},
                                        {u"audio-x-generic"_s},
                                        {u"video-x-generic"_s},
                                        {u"x-office-document"_s, u"text-x-generic"_s},
                                        {u"package-x-generic"_s, u"application-x-archive"_s}};
    return ThemeIcons::icon(names[category]);
}

// The scope's caption names a group of any length: where the band has no room for all of it,
// the quoted name is shown shortened (whole in the tooltip) rather than squeezing the mask box.
class ScopeLabel : public QLabel
{
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override
    {
        return {fontMetrics().horizontalAdvance(u"Search mask (\u2026):"_s), QLabel::minimumSizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const QRect r = contentsRect();
        const QFontMetrics fm = fontMetrics();
        const QString all = text();
        QString shown = all;
        const qsizetype open = all.indexOf(u'"'), close = all.lastIndexOf(u'"');
        if (fm.horizontalAdvance(all) > r.width() && open >= 0 && close > open) {
            const QString head = all.left(open + 1), tail = all.mid(close);
            const int room = r.width() - fm.horizontalAdvance(head) - fm.horizontalAdvance(tail);
            QString name = fm.elidedText(all.mid(open + 1, close - open - 1), Qt::ElideRight, std::max(room, 0));
            // Cut to nothing, the name would read as an empty one: "..." at least says it is cut.
            if (name.isEmpty())
                name = QString(QChar(0x2026));
            shown = head + name + tail;
        }
        shown = fm.elidedText(shown, Qt::ElideRight, r.width());
        setToolTip(shown == text() ? QString() : text());
        QPainter(this).drawText(r, int(alignment()), shown);
    }
};

} // namespace

SearchPanel::SearchPanel(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *parent)
    : QWidget(parent), m_workspace(workspace), m_navigator(navigator), m_actions(actions)
{
    setObjectName(u"SearchPanel"_s);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(4);

    m_label = new ScopeLabel(u"Search mask:"_s, this);
    // Its whole width where the band has room, less (down to its minimum) where it has not.
    m_label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_label->setObjectName(u"SearchLabel"_s);
    m_edit = new QComboBox(this);
    m_edit->setObjectName(u"SearchEdit"_s);
    m_edit->setEditable(true);
    m_edit->setInsertPolicy(QComboBox::NoInsert);
    // Enter searches for what was typed: a history that filled in the rest of a longer mask
    // would search for that one instead. The history stays in the drop-down list.
    m_edit->setCompleter(nullptr);
    // At the window's smallest the band is tight: the mask box keeps room for a mask of sixteen
    // characters, the category list shows the start of a caption and opens wide.
    m_edit->setMinimumWidth(m_edit->fontMetrics().horizontalAdvance(u"x"_s.repeated(16)));
    auto *typeLabel = new QLabel(u"Search only for:"_s, this);
    m_type = new QComboBox(this);
    m_type->setObjectName(u"TypeBox"_s);
    m_type->setIconSize(QSize(16, 16));
    m_type->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_type->setMinimumContentsLength(8);
    m_type->setMinimumWidth(m_type->sizeHint().width());
    const QStringList categories = SearchTests::categoryCaptions();
    for (int i = 0; i < categories.size(); ++i)
        m_type->addItem(typeImage(i), categories.at(i));
    m_type->setCurrentIndex(0);
    // Where the band has room, the longest caption shows whole ("All Files and Folders").
    m_type->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_type->view()->setMinimumWidth(m_type->view()->sizeHintForColumn(0) + 8);

    const QDate today = QDate::currentDate();
    auto dateBox = [this, today](const QString &name, const QString &caption, QCheckBox *&box, QDateEdit *&picker) {
        box = new QCheckBox(caption, this);
        box->setObjectName(name);
        picker = new QDateEdit(today, this);
        picker->setCalendarPopup(true);
        // Four-digit years, as the catalogue writes them: a typed "70" would otherwise mean 2070.
        picker->setDisplayFormat(CatalogueLocale().dateFormat());
        picker->setEnabled(false);
        connect(box, &QCheckBox::toggled, picker, &QWidget::setEnabled);
    };
    dateBox(u"OlderBox"_s, u"Older than:"_s, m_olderBox, m_startDate);
    m_startDate->setObjectName(u"StartDate"_s);
    dateBox(u"YoungerBox"_s, u"Newer than:"_s, m_youngerBox, m_endDate);
    m_endDate->setObjectName(u"EndDate"_s);

    auto sizeBox = [this](const QString &caption, QCheckBox *&box, QLineEdit *&number, QComboBox *&unit) {
        box = new QCheckBox(caption, this);
        number = new QLineEdit(u"0"_s, this);
        number->setMaximumWidth(90);
        number->setValidator(new SizeNumberValidator(number));
        number->setEnabled(false);
        unit = new QComboBox(this);
        unit->addItems(unitCaptions());
        unit->setEnabled(false);
        connect(box, &QCheckBox::toggled, number, &QWidget::setEnabled);
        connect(box, &QCheckBox::toggled, unit, &QWidget::setEnabled);
    };
    sizeBox(u"Larger than:"_s, m_largerBox, m_startSize, m_startUnit);
    m_largerBox->setObjectName(u"LargerBox"_s);
    m_startSize->setObjectName(u"StartSize"_s);
    m_startUnit->setObjectName(u"StartSizeBox"_s);
    sizeBox(u"Smaller than:"_s, m_smallerBox, m_endSize, m_endUnit);
    m_smallerBox->setObjectName(u"SmallerBox"_s);
    m_endSize->setObjectName(u"EndSize"_s);
    m_endUnit->setObjectName(u"EndSizeBox"_s);

    m_searchButton = new QPushButton(u"Search"_s, this);
    m_searchButton->setObjectName(u"DoSearchButton"_s);
    m_stopButton = new QPushButton(u"Stop"_s, this);
    m_stopButton->setObjectName(u"StopButton"_s);
    m_stopButton->setEnabled(false);

    grid->addWidget(m_label, 0, 0, 1, 2);
    grid->addWidget(m_edit, 0, 2, 1, 3);
    grid->addWidget(typeLabel, 0, 5);
    grid->addWidget(m_type, 0, 6, 1, 2);
    grid->addWidget(m_searchButton, 0, 8);
    grid->addWidget(m_olderBox, 1, 0);
    // The dates reach under the mask box, so that the narrowest window still has room for them.
    grid->addWidget(m_startDate, 1, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(m_youngerBox, 2, 0);
    grid->addWidget(m_endDate, 2, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(m_largerBox, 1, 5);
    grid->addWidget(m_startSize, 1, 6);
    grid->addWidget(m_startUnit, 1, 7);
    grid->addWidget(m_smallerBox, 2, 5);
    grid->addWidget(m_endSize, 2, 6);
    grid->addWidget(m_endUnit, 2, 7);
    grid->addWidget(m_stopButton, 1, 8);
    grid->setColumnStretch(4, 1);
    setFixedHeight(BandHeight);
    hide();

    connect(m_searchButton, &QPushButton::clicked, this, &SearchPanel::DoSearchButtonClick);
    connect(m_stopButton, &QPushButton::clicked, this, &SearchPanel::StopButtonClick);
    connect(m_edit->lineEdit(), &QLineEdit::returnPressed, this, &SearchPanel::DoSearchButtonClick);
    connect(m_startSize, &QLineEdit::textChanged, this, &SearchPanel::StartSizeChange);
    connect(m_startUnit, &QComboBox::currentIndexChanged, this, &SearchPanel::StartSizeChange);
    connect(m_endSize, &QLineEdit::textChanged, this, &SearchPanel::EndSizeBoxChange);
    connect(m_endUnit, &QComboBox::currentIndexChanged, this, &SearchPanel::EndSizeBoxChange);

    QAction *toggle = actions.claim(u"Search1"_s);
    toggle->setCheckable(true);
    toggle->setShortcuts({QKeySequence(Qt::Key_F3), QKeySequence(Qt::CTRL | Qt::Key_F)});
    connect(toggle, &QAction::triggered, this, &SearchPanel::Search1Click);
    connect(actions.claim(u"SearchHere2"_s), &QAction::triggered, this, &SearchPanel::SearchHere2Click);

    // The scope shown is the node a search will look in, however it became current (the tree,
    // Switch to Location from a hit); a move into a folder leaves it as it is.
    connect(&navigator, &Navigator::currentNodeChanged, this, &SearchPanel::setCaption);
    connect(&workspace, &Workspace::opened, this, [this, &workspace] {
        m_edit->clear();
        m_edit->addItems(workspace.searchHistory());
        m_edit->setEditText(QString());
    });
    connect(&workspace, &Workspace::aboutToClose, this, [this, &workspace] {
        m_stopSearch = true;
        if (m_engine)
            m_engine->stop();
        workspace.setSearchHistory(history());
    });
}

SearchPanel::~SearchPanel() = default;

QStringList SearchPanel::history() const
{
    QStringList out;
    for (int i = 0; i < m_edit->count(); ++i)
        out.append(m_edit->itemText(i));
    return out;
}

void SearchPanel::setCaption(TreeNode *node)
{
    m_label->setText((node->isDisc() ? u"Search mask (look in disc "_s : u"Search mask (look in group "_s) + u'"' +
                     node->text() + u"\"):"_s);
}

void SearchPanel::StartSizeChange()
{
    bool ok = false;
    const qint64 n = m_startSize->text().toLongLong(&ok);
    if (ok)
        m_minSize = boundInBytes(n, m_startUnit->currentIndex());
}

void SearchPanel::EndSizeBoxChange()
{
    bool ok = false;
    const qint64 n = m_endSize->text().toLongLong(&ok);
    if (ok)
        m_maxSize = boundInBytes(n, m_endUnit->currentIndex());
}

SearchCriteria SearchPanel::criteria() const
{
    SearchCriteria c;
    c.mask = m_edit->currentText();
    c.category = std::max(0, m_type->currentIndex());
    c.olderOn = m_olderBox->isChecked();
    c.olderThan = QDateTime(m_startDate->date(), pickerTime());
    c.newerOn = m_youngerBox->isChecked();
    c.newerThan = QDateTime(m_endDate->date(), pickerTime());
    c.largerOn = m_largerBox->isChecked();
    c.minSize = m_minSize;
    c.smallerOn = m_smallerBox->isChecked();
    c.maxSize = m_maxSize;
    const Preferences &prefs = m_workspace.preferences();
    c.limit = prefs.unlimited() ? 0 : prefs.maxResults();
    return c;
}

QWidget *SearchPanel::treeView() const
{
    return window()->findChild<QWidget *>(u"Tree"_s);
}

void SearchPanel::DoSearchButtonClick()
{
    if (m_searching)
        return;
    const SearchCriteria c = criteria();
    if (c.mask.count(u'*') >= 2 &&
        AppDialogs::message(window(), AppDialogs::Warning,
                            u"Using more than one wildcard can cause long search and many results. Proceed?"_s,
                            AppDialogs::YesNo) != QMessageBox::Yes)
        return;
    QWidget *tree = treeView();
    if (tree)
        tree->setEnabled(false);
    if (!c.mask.isEmpty() && !history().contains(c.mask, Qt::CaseInsensitive)) {
        m_edit->insertItem(0, c.mask);
        m_edit->setCurrentIndex(0);
        m_workspace.setSearchHistory(history());
    }
    m_searching = true;
    m_stopSearch = false;
    m_stopButton->setEnabled(true);
    m_navigator.beginSearch();

    const std::shared_ptr<NameIndex> index = m_workspace.nameIndex();
    SearchEngine engine(m_workspace.dbFolder(), c, index.get());
    m_engine = &engine;
    engine.setDiscStarted([this](const TCD &cd) { m_navigator.setStatus(u"Searching in : "_s + cd.Title); });
    engine.setProgress([this, &engine] {
        m_navigator.searchCounted(engine.foundDirs() + engine.foundFiles());
        QCoreApplication::processEvents();
        if (m_stopSearch || m_workspace.stopRequested())
            engine.stop();
    });
    QString failure;
    try {
        engine.search(m_navigator.currentNode());
    } catch (const QuilloryError &e) {
        failure = e.message();
    }
    m_engine = nullptr;

    const QString status =
        u" %1 directories and %2 files found, total size "_s.arg(engine.foundDirs()).arg(engine.foundFiles()) +
        FormatSize(engine.foundSize());
    m_navigator.showSearchResult(engine.hits(), status);
    // A list cut at the limit must not pass for every match.
    if (engine.limitReached())
        m_navigator.noteOnResult(u"the first %1, the result limit set in Preferences"_s.arg(engine.hits()->count()));
    if (!failure.isEmpty())
        AppDialogs::showError(window(), failure);
    if (!engine.problems().isEmpty())
        AppDialogs::message(window(), AppDialogs::Error, engine.problems().join(u'\n'));
    if (engine.hits()->count() > 0) {
        if (QAction *details = m_actions.action(u"Details1"_s); details && !details->isChecked())
            details->trigger();
    } else if (failure.isEmpty()) {
        AppDialogs::message(window(), AppDialogs::Information, u"Search did not give any result!"_s);
    }
    m_stopButton->setEnabled(false);
    if (tree)
        tree->setEnabled(true);
    m_searching = false;
}

void SearchPanel::StopButtonClick()
{
    m_stopSearch = true;
    if (m_engine)
        m_engine->stop();
}

void SearchPanel::showBand(bool show)
{
    m_actions.action(u"Search1"_s)->setChecked(show);
    setVisible(show);
    if (show)
        m_edit->setFocus();
}

void SearchPanel::Search1Click(bool checked)
{
    showBand(checked);
}

void SearchPanel::SearchHere2Click()
{
    // From a group or disc entry of the list: that node becomes the tree's selection, the scope.
    if (TreeNode *node = m_navigator.menuNode())
        m_navigator.TreeChange(node);
    if (!isHidden())
        m_edit->setFocus();
    else
        showBand(true);
}
