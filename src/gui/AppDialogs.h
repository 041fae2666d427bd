#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <optional>

class QWidget;

// Every message box, input box and file dialog of the program goes through here, so the
// boxes keep their fixed kinds and button sets, and tests can answer them: in scripted mode
// nothing is shown, queued answers are used in order, and every box is recorded.
class AppDialogs
{
public:
    enum Kind { Information, Warning, Error, Confirmation };
    // OkFolderImageCancel: OK, "Choose Folder..." (answered as QMessageBox::Open), "Choose
    // Image..." (answered as QMessageBox::Apply) and Cancel; OkFolderCancel the same without
    // "Choose Image...".
    enum Buttons { Ok, YesNo, OkCancel, OkFolderImageCancel, OkFolderCancel };

    struct Shown {
        QString what; // "message", "input", "save", "open", "folder"
        Kind kind = Information;
        QString caption;
        QString text;   // message text, input prompt, or the proposed file name
        // "Yes", "No", "OK", "Cancel", "Choose Folder", "Choose Image", the text typed or the file chosen
        QString answer;
    };

    // Returns QMessageBox::Ok, Yes, No, Cancel or Open. A confirmation or warning with Yes and No has
    // No as its default button: its Yes deletes or replaces something, and a stray Enter must
    // not give it.
    // A text of more than 25 lines is cut to 24, and a line saying how many more there were.
    static QMessageBox::StandardButton message(QWidget *parent, Kind kind, const QString &text, Buttons buttons = Ok);
    // The application's standard error box for a failure of a lower layer.
    static void showError(QWidget *parent, const QString &text);
    // The one-line input box, wide enough for its caption and a typical name; false on Cancel.
    // value is the initial text and the result.
    static bool inputBox(QWidget *parent, const QString &caption, const QString &prompt, QString &value);
    // filter in the form "Cabinet Files (*.cab);;All Files (*)"; an empty result is Cancel.
    // A name without an extension gets defaultSuffix. A proposal that ends in "/" only names the
    // folder the dialog starts in.
    static QString saveFileName(QWidget *parent, const QString &caption, const QString &filter,
                                const QString &defaultSuffix, const QString &proposed);
    static QString openFileName(QWidget *parent, const QString &caption, const QString &filter,
                                const QString &defaultSuffix, const QString &proposed);
    // A title as a proposed file name: no "/" (it would read as a folder) and no '"' (the file
    // dialog reads a quoted part as a list of names).
    static QString fileNameOf(QString title);
    // An existing folder; empty on Cancel.
    static QString folderName(QWidget *parent, const QString &caption, const QString &proposed);

    // Test hooks.
    static void setScripted(bool on);
    // The next message box's answer; without one a scripted box answers No, Cancel or OK.
    static void pushAnswer(QMessageBox::StandardButton answer);
    // The next input box's text; std::nullopt answers Cancel.
    static void pushInput(const std::optional<QString> &text);
    // The next file or folder dialog's choice; an empty name answers Cancel.
    static void pushFileName(const QString &name);
    static const QList<Shown> &shown();
    static QStringList shownTexts();
    static void clearShown();
    // Answers still queued (a test that left some did not see the boxes it expected).
    static int pendingAnswers();
    static void clearAnswers();
};
