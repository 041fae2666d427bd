#pragma once

#include <QObject>
#include <QPointer>

class ActionRegistry;
class CompilationList;
class CompilationPanel;
class DiscBatches;
class DiscDrive;
class Navigator;
class QItemSelectionModel;
class QWidget;
class TBurnForm;
class TCDBurner;
class TCopyForm;
class Workspace;

// The compilation and what is done with catalogued files away from the catalogue: "Toggle
// Compilation", "Add to Compilation" and drops on the panel, its buttons, "Create M3U
// Playlist" (for the drive chosen in its submenu, or the Add Disc dialog's drive),
// "Copy to Hard-Drive..." and "Burn Disc". Files are fetched disc by disc, asking for each disc
// by its serial until it is in a drive. The burner and the dialogs are made on first use.
class CompileCommands : public QObject
{
    Q_OBJECT
public:
    // contentsList: the contents list's widget (drags from inside it are welcome); selection:
    // its selection; drive: the Add Disc dialog's drive (the playlist's drive without a choice).
    CompileCommands(Workspace &workspace, Navigator &navigator, ActionRegistry &actions, QWidget *contentsList,
                    QItemSelectionModel *selection, DiscDrive &drive, QWidget *window);
    ~CompileCommands() override;

    CompilationList &compilation() const { return *m_list; }
    CompilationPanel *panel() const { return m_panel; }
    TCopyForm *copyForm();
    TBurnForm *burnForm();
    TCDBurner *burner();

public Q_SLOTS:
    void ToggleCompilationButtonClick();
    void AddtoCompilation1Click();
    void CompilationListDragDrop();
    void ClearButtonClick();
    void CompilationDeleteButtonClick();
    void BurnButtonClick();
    void CopytoHDD1Click();
    // The playlist of the selected files for the medium in the drive with that text.
    void M3UClick(const QString &driveText);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<int> selectedRows() const;
    void showPanel(bool shown);
    bool CompilationListDragOver(QObject *source) const;
    // Whether the selection may be copied or compiled; says why not when the command was offered.
    bool selectionTakable();
    void copyFromDiscs(const QString &destination);
    // Asks for each disc, then copies its part into destination under the progress window's
    // title. False when the user gave up, at a disc's prompt or in a copy; allCopied, when
    // given, turns false when a part was not copied whole.
    bool fetch(const DiscBatches &batches, const QString &destination, const QString &title, bool *allCopied = nullptr);
    enum class Copied { Whole, NotWhole, Cancelled };
    // NotWhole: something could not be copied, and it has been listed to the user.
    // refused: entries the catalogue places outside the disc, named with the failures.
    Copied copyWithProgress(const QStringList &sources, const QStringList &refused, const QString &destination,
                            const QString &title);
    void hookPlaylistMenu();
    // The Copy to Hard-Drive button follows the selection.
    void updateCopyState();

    Workspace &m_workspace;
    Navigator &m_navigator;
    ActionRegistry &m_actions;
    QWidget *m_contentsList;
    QItemSelectionModel *m_selection;
    DiscDrive &m_drive;
    QWidget *m_window;
    CompilationList *m_list;
    QPointer<CompilationPanel> m_panel;
    // The program is closing: a copy under way stops, and no further disc is asked for.
    bool m_closing = false;
    QPointer<TCopyForm> m_copyForm;
    QPointer<TBurnForm> m_burnForm;
    TCDBurner *m_burner = nullptr;
};
