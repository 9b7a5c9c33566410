#include "app/UtilityApp.h"

#include <QApplication>
#include <QByteArrayView>
#include <QCommandLineParser>

#include <memory>

namespace {

// --version and --help only print text, so they start no windowing system: they then work
// from a remote shell or a script on a machine without a display.
bool onlyPrintsText(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        if (argument == "--version" || argument == "-v" || argument == "--help" ||
            argument == "-h" || argument == "-?" || argument == "--help-all")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    std::unique_ptr<QCoreApplication> application;
    if (onlyPrintsText(argc, argv))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KARVEL Utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KARVEL_VERSION));
    // Ties the windows to the installed desktop entry, so the desktop shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("karvel-utility"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Configures and services KARVEL card readers over a serial port or TCP/IP."));
    parser.addHelpOption();
    parser.addVersionOption();
    // Prints and exits on --version, --help and options it does not know.
    parser.process(*application);

    UtilityApp utility;
    utility.start();
    return QApplication::exec();
}
