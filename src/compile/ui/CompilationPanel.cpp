#include "CompilationPanel.h"

#include "CompilationModel.h"
#include "CompilationView.h"
#include "compile/CompilationList.h"
#include "gui/ThemeIcons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CompilationPanel::CompilationPanel(CompilationList &list, QWidget *parent) : QWidget(parent), m_list(list)
{
    setObjectName(u"RightPanel"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    header->setObjectName(u"CompilationHeader"_s);
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::Mid);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(4, 2, 2, 2);
    auto *captions = new QVBoxLayout;
    captions->setSpacing(0);
    auto *caption = new QLabel(u"Compilation"_s, header);
    caption->setObjectName(u"CompilationCaption"_s);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    m_sizeLabel = new QLabel(list.sizeCaption(), header);
    m_sizeLabel->setObjectName(u"CompilationSizeLabel"_s);
    captions->addWidget(caption);
    captions->addWidget(m_sizeLabel);
    headerLayout->addLayout(captions, 1);
    auto *close = new QToolButton(header);
    close->setObjectName(u"CompilationCloseButton"_s);
    close->setText(u"x"_s);
    close->setAutoRaise(true);
    headerLayout->addWidget(close, 0, Qt::AlignTop);
    layout->addWidget(header);

    auto *bar = new QToolBar(this);
    bar->setObjectName(u"CompilationToolBar"_s);
    bar->setIconSize(QSize(16, 16));
    const auto button = [this, bar](const QString &name, const QString &hint, const QStringList &icons) {
        auto *b = new QToolButton(bar);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setIcon(ThemeIcons::icon(icons));
        b->setAutoRaise(true);
        bar->addWidget(b);
        return b;
    };
    QToolButton *clear = button(u"ClearButton"_s, u"Clear compilation"_s, {u"edit-clear-all"_s, u"edit-clear"_s});
    QToolButton *remove = button(u"CompilationDeleteButton"_s, u"Delete Selected items"_s, {u"edit-delete"_s});
    QToolButton *burn = button(u"BurnButton"_s, u"Burn Disc"_s, {u"tools-media-optical-burn"_s, u"media-optical"_s});
    layout->addWidget(bar);

    m_view = new CompilationView(this);
    m_model = new CompilationModel(list, this);
    m_view->setModel(m_model);
    layout->addWidget(m_view, 1);

    connect(close, &QToolButton::clicked, this, &CompilationPanel::closeClicked);
    connect(clear, &QToolButton::clicked, this, &CompilationPanel::clearClicked);
    connect(remove, &QToolButton::clicked, this, &CompilationPanel::deleteClicked);
    connect(burn, &QToolButton::clicked, this, &CompilationPanel::burnClicked);
    connect(m_view, &CompilationView::deletePressed, this, &CompilationPanel::deleteClicked);
    connect(&list, &CompilationList::changed, this, &CompilationPanel::refreshSize);
    refreshSize();
}

QSize CompilationPanel::sizeHint() const
{
    return QSize(PanelWidth, QWidget::sizeHint().height());
}

void CompilationPanel::refreshSize()
{
    m_sizeLabel->setText(m_list.sizeCaption());
    QPalette p = m_sizeLabel->palette();
    p.setColor(QPalette::WindowText,
               m_list.overCapacity() ? QColor(Qt::red) : palette().color(QPalette::Active, QPalette::WindowText));
    m_sizeLabel->setPalette(p);
}

void CompilationPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Shown again after the window was resized, the panel comes back at its own width, taken
    // from the list in the middle.
    auto *splitter = qobject_cast<QSplitter *>(parentWidget());
    if (!splitter)
        return;
    const int at = splitter->indexOf(this);
    QList<int> sizes = splitter->sizes();
    if (at <= 0 || at >= sizes.size() || sizes[at] >= PanelWidth / 2)
        return;
    const int take = PanelWidth - sizes[at];
    sizes[at] = PanelWidth;
    sizes[at - 1] = std::max(50, sizes[at - 1] - take);
    splitter->setSizes(sizes);
}
