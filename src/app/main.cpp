#include "app/Composition.h"
#include "app/EndSignals.h"
#include "app/TSplashForm.h"
#include "browser/ui/TMainForm.h"
#include "core/SafeSaveFile.h"
#include "core/Version.h"
#include "gui/FlatMenuStyle.h"
#include "session/Workspace.h"
#include "store/DataPaths.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

namespace
{

// --version and --help answer without a display, so they work on a machine with none.
bool onlyAsksForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--version" || a == "-v" || a == "--help" || a == "-h" || a == "-?" || a == "--help-all")
            return true;
    }
    return false;
}

void describe(QCoreApplication &app, QCommandLineParser &parser, const QCommandLineOption &dataOption)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillory!"));
    QCoreApplication::setApplicationVersion(QuilloryVersion());
    parser.setApplicationDescription(QStringLiteral("Quillory! - a catalogue of removable discs"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(dataOption);
    parser.process(app);
}

} // namespace

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    const QCommandLineOption dataOption(QStringLiteral("data"), QStringLiteral("The folder that holds the catalogue."),
                                        QStringLiteral("DIR"));
    if (onlyAsksForText(argc, argv)) {
        QCoreApplication text(argc, argv);
        describe(text, parser, dataOption); // prints and ends the program
        return 0;
    }
    QApplication app(argc, argv);
    SafeSaveFile::failWritesPastTheSizeLimit();
    QApplication::setStyle(new FlatMenuStyle);
    // The desktop entry's name, so the desktop shows the entry's icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillory"));
    describe(app, parser, dataOption);

    const QString dataFolder = parser.isSet(dataOption) ? QFileInfo(parser.value(dataOption)).absoluteFilePath()
                                                        : DataPaths::defaultDataFolder();
    // Taken over before the catalogue is opened: a signal that comes while it opens waits for
    // the event loop, and then closes the window like any other.
    EndSignals endSignals;
    // The main window first (it only builds itself), then the splash, which runs the full
    // initialisation.
    Composition composition(DataPaths::withSlash(dataFolder));
    // A session that ends cannot wait for an answer: the window closes without asking.
    endSignals.closes(&composition.window(), [&composition] { composition.workspace().closeWithoutAsking(); });
    composition.window().show();
    new TSplashForm(&composition.window());
    if (endSignals.ended())
        return 0;
    return app.exec();
}
