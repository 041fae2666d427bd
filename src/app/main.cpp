#include "app/Composition.h"
#include "app/TSplashForm.h"
#include "browser/ui/TMainForm.h"
#include "core/Version.h"
#include "gui/FlatMenuStyle.h"
#include "store/DataPaths.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(new FlatMenuStyle);
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationName(QStringLiteral("Quillory!"));
    QApplication::setApplicationVersion(QuilloryVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quillory! - a catalogue of removable discs"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption dataOption(QStringLiteral("data"), QStringLiteral("The folder that holds the catalogue."),
                                  QStringLiteral("DIR"));
    parser.addOption(dataOption);
    parser.process(app);

    const QString dataFolder = parser.isSet(dataOption) ? QFileInfo(parser.value(dataOption)).absoluteFilePath()
                                                        : DataPaths::defaultDataFolder();
    // The main window first (it only builds itself), then the splash, which runs the full
    // initialisation.
    Composition composition(DataPaths::withSlash(dataFolder));
    composition.window().show();
    new TSplashForm(&composition.window());
    return app.exec();
}
