#include "app/UtilityApp.h"
#include "batch/BatchCommandLine.h"
#include "comm/SerialPortNames.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

namespace {

const QCommandLineOption kPortOption(
    QStringLiteral("port"),
    QStringLiteral("Pin port option N (1 to 8) of the Communications window to DEVICE: any "
                   "serial device path, such as /dev/serial/by-id/usb-... or a pseudo-terminal. "
                   "Repeat it for more ports."),
    QStringLiteral("N=DEVICE"));

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Configuration and service utility for KARVEL card readers.\n"
        "With no options it opens its window. With --identify, --program, --set-time, "
        "--collect or --flash it works on the readers of --reader and --readers over TCP/IP, "
        "without windows, and exits. Each reader goes through the work in this order, and no "
        "further than its first failure: identify, program, set the clock, collect, clear, "
        "flash. Exit status 0 when every reader went through all of it, 1 when some did not, "
        "2 when the command line cannot work (nothing is sent then).\n"
        "\n"
        "Examples, against three simulated readers "
        "(karvel-reader-sim --tcp-port 6100 --readers 3 --records 5):\n"
        "  karvel-utility --identify --set-time --reader 127.0.0.1:6100\n"
        "  karvel-utility --program site.json --readers readers.txt --report report.csv\n"
        "  karvel-utility --collect logs --clear-after --readers readers.txt\n"
        "  karvel-utility --flash reader.bin --reader 127.0.0.1:6100"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(kPortOption);
    batch::addCommandLineOptions(parser);
}

// Names the application (message box titles use the name) and handles
// --help and --version, which exit.
void processCommandLine(QCoreApplication& application, QCommandLineParser& parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("KARVEL Utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KARVEL_VERSION));
    describe(parser);
    parser.process(application);
}

} // namespace

int main(int argc, char* argv[])
{
    // Work on readers, --help, --version and a command line that cannot be
    // read need no display, so the choice is made before any application
    // object exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser probe;
    describe(probe);
    const bool parsed = probe.parse(arguments);
    // Bad port pins are refused before any window appears.
    QString pinError;
    const auto pins = parsed ? SerialPortNames::parsePins(probe.values(kPortOption), pinError)
                             : SerialPortNames::Pins{};
    if (parsed && pins && batch::requested(probe) && probe.isSet(kPortOption))
        pinError = QStringLiteral("--port pins a port of the window; the command line works "
                                  "over TCP/IP only.");
    if (!pinError.isEmpty()) {
        QTextStream(stderr) << pinError << Qt::endl;
        return batch::kUsageError;
    }
    if (!parsed || batch::requested(probe) || probe.isSet(QStringLiteral("help")) ||
        probe.isSet(QStringLiteral("version"))) {
        QCoreApplication application(argc, argv);
        QCommandLineParser parser;
        processCommandLine(application, parser);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return batch::runFromCommandLine(parser, out, err);
    }

    QApplication application(argc, argv);
    QCommandLineParser parser;
    processCommandLine(application, parser);
    // Ties the windows to the installed desktop entry, so the desktop shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("karvel-utility"));
    UtilityApp utility;
    utility.portNames().pin(*pins);
    utility.start();
    return QApplication::exec();
}
