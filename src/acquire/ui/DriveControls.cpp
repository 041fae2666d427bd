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
    for (QLabel *panel : std::as_const(m_panels)) {
        status->removeWidget(panel);
        panel->deleteLater();
    }
    m_panels.clear();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        auto *panel = new DrivePanel(status);
        panel->setObjectName(u"DrivePanel"_s + QString::number(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(PanelWidth);
        panel->setMaximumWidth(LongestPanel);
        status->addPermanentWidget(panel);
        m_panels.append(panel);
    }
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
}

void DriveControls::ejectDrive(const QString &drive)
{
    try {
        m_drive.eject(drive);
    } catch (const EDiskEject &e) {
        AppDialogs::showError(m_window, e.shownText());
    }
}
