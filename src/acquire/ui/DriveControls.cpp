#include "DriveControls.h"
#include "gui/PlainTip.h"

#include "acquire/DiscDrive.h"
#include "acquire/EDiskEject.h"
#include "gui/ActionRegistry.h"
#include "gui/AppDialogs.h"
#include "gui/ThemeIcons.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

using namespace Qt::Literals::StringLiterals;

namespace
{
// A drive's panel is 80 pixels wide; a long mount point is shortened in the middle, whole in its tip.
constexpr int PanelWidth = 80;
constexpr int LongestPanel = 220;

// Many drives share the status bar and squeeze their panels: the text is shortened to the room
// the panel is given, whole in its tooltip.
class DrivePanel : public QLabel
{
public:
    using QLabel::QLabel;
    void setWholeText(const QString &text)
    {
        m_whole = text;
        setToolTip(PlainTip(text));
        fit();
    }
    // Asks for the whole text's width, so that a panel squeezed once grows back with the window.
    QSize sizeHint() const override
    {
        QSize hint = QLabel::sizeHint();
        hint.rwidth() += fontMetrics().horizontalAdvance(m_whole) - fontMetrics().horizontalAdvance(text());
        return hint;
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    void fit()
    {
        // The drive's name gives way; its state, the last word, stays whole.
        const qsizetype cut = m_whole.lastIndexOf(u' ');
        const QString state = cut < 0 ? QString() : m_whole.mid(cut);
        const int room = contentsRect().width() - 6 - fontMetrics().horizontalAdvance(state);
        setText(
            fontMetrics().elidedText(m_whole.first(m_whole.size() - state.size()), Qt::ElideMiddle, std::max(room, 0)) +
            state);
    }
    QString m_whole;
};

// The drives' panels, side by side, each as wide as its text asks within its bounds. More drives
// than the bar has room for would overlap the status text and each other: the row asks for no
// more than two panels' room, and shows the panels that fit whole (the first at least); every
// drive is also in the File menu and the playlist's submenu.
class DrivePanels : public QWidget
{
public:
    using QWidget::QWidget;
    void add(QLabel *panel)
    {
        m_panels.append(panel);
        relayout();
    }
    QSize sizeHint() const override
    {
        int w = 0, h = 0;
        for (const QLabel *p : m_panels) {
            w += widthOf(p) + Spacing;
            h = std::max(h, p->sizeHint().height());
        }
        return {std::max(w - Spacing, 0), h};
    }
    QSize minimumSizeHint() const override
    {
        const QSize whole = sizeHint();
        return {std::min(whole.width(), 2 * PanelWidth), whole.height()};
    }
    void relayout()
    {
        updateGeometry();
        int x = 0;
        for (QLabel *p : std::as_const(m_panels)) {
            const int w = widthOf(p);
            p->setGeometry(x, 0, w, height());
            p->setVisible(x == 0 || x + w <= width());
            x += w + Spacing;
        }
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        relayout();
    }

private:
    static constexpr int Spacing = 2;
    static int widthOf(const QLabel *p) { return std::clamp(p->sizeHint().width(), PanelWidth, LongestPanel); }
    QList<QLabel *> m_panels;
};
} // namespace

DriveControls::DriveControls(DiscDrive &drive, ActionRegistry &actions, QMainWindow *window)
    : QObject(window), m_drive(drive), m_actions(actions), m_window(window)
{
    connect(&drive, &DiscDrive::drivesChanged, this, &DriveControls::rebuild);
    connect(&drive, &DiscDrive::panelsChanged, this, &DriveControls::setPanelTexts);
    rebuild();
}

void DriveControls::rebuild()
{
    const QList<DriveEntry> &entries = m_drive.drives().entries();

    QStatusBar *status = m_window->statusBar();
    if (m_row) {
        status->removeWidget(m_row);
        m_row->deleteLater();
    }
    m_panels.clear();
    auto *row = new DrivePanels(status);
    m_row = row;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        auto *panel = new DrivePanel(row);
        panel->setObjectName(u"DrivePanel"_s + QString::number(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        row->add(panel);
        m_panels.append(panel);
    }
    status->addPermanentWidget(row);
    const QStringList texts = m_drive.drives().panelTexts();
    if (texts.size() == m_panels.size())
        setPanelTexts(texts);

    // Eject items stand in list order before the separator above "Exit".
    QMenu *file = m_window->menuBar()->findChild<QMenu *>(u"File1"_s);
    for (QAction *item : std::as_const(m_ejectItems)) {
        if (file)
            file->removeAction(item);
        item->deleteLater();
    }
    m_ejectItems.clear();
    if (file) {
        QAction *exit = m_actions.action(u"Exit1"_s);
        const QList<QAction *> items = file->actions();
        const qsizetype at = items.indexOf(exit);
        QAction *before = at > 0 && items[at - 1]->isSeparator() ? items[at - 1] : exit;
        for (const DriveEntry &e : m_drive.drives().ejectable()) {
            auto *item = new QAction(ActionRegistry::asIs(u"Eject Drive "_s + e.text), file);
            ThemeIcons::bind(item, u"eject_disc.bmp"_s);
            const QString key = DiscDrive::ejectKey(e);
            item->setObjectName(u"eject_"_s + (key.isEmpty() ? e.id : key));
            if (!key.isEmpty())
                item->setShortcut(QKeySequence(u"Ctrl+Shift+"_s + key));
            // Queued: an eject changes the drives, which deletes this item while its signal still
            // runs, and its error box would let that happen under it.
            const QString drive = e.text;
            connect(
                item, &QAction::triggered, this, [this, drive] { ejectDrive(drive); }, Qt::QueuedConnection);
            file->insertAction(before, item);
            m_ejectItems.append(item);
        }
    }

    // The playlist's drive is chosen from a submenu only when there is a choice. The submenu is
    // one for the window's life, refilled: deleting it could pull it from under the user, open.
    QAction *playlist = m_actions.action(u"CreatePlaylist1"_s);
    if (!playlist)
        return;
    if (!m_playlistMenu) {
        m_playlistMenu = new QMenu(m_window);
        m_playlistMenu->setObjectName(u"PlaylistDrivesMenu"_s);
    }
    m_playlistMenu->clear();
    for (const DriveEntry &e : entries)
        m_playlistMenu->addAction(ActionRegistry::asIs(u"For Drive "_s + e.text))->setData(e.text);
    playlist->setMenu(entries.size() > 1 ? m_playlistMenu : nullptr);
    // A submenu passes its enabled state to the command, and a disabled window's submenu has
    // disabled it; nothing would enable it again once the submenu is taken away.
    playlist->setEnabled(true);
}

void DriveControls::setPanelTexts(const QStringList &texts)
{
    for (qsizetype i = 0; i < m_panels.size() && i < texts.size(); ++i) {
        static_cast<DrivePanel *>(m_panels[i])->setWholeText(texts[i]);
    }
    if (m_row)
        static_cast<DrivePanels *>(m_row)->relayout();
}

void DriveControls::ejectDrive(const QString &drive)
{
    try {
        m_drive.eject(drive);
    } catch (const EDiskEject &e) {
        AppDialogs::showError(m_window, e.shownText());
    }
}
