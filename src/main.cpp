#include "app/UtilityApp.h"
#include "batch/BatchCommandLine.h"
#include "comm/SerialPortNames.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <optional>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>
#endif

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

// Names the application (message box titles use the name) and describes its command line.
void describeApplication(QCommandLineParser& parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("KARVEL Utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KARVEL_VERSION));
    describe(parser);
}

// Prints what QCommandLineParser::process() would, and returns its exit status, or nothing
// when the work goes on. process() shows it in a message box on Windows unless a console or
// handles passed at the start are there, so a redirected --version would print nothing.
std::optional<int> answerAlone(const QCommandLineParser& parser, bool parsed, QTextStream& out,
                               QTextStream& err)
{
    if (!parsed) {
        err << QCoreApplication::applicationName() << ": " << parser.errorText() << Qt::endl;
        return 1;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << Qt::endl;
        return 0;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText() << Qt::flush;
        return 0;
    }
    return std::nullopt;
}

#ifdef Q_OS_WIN
// The utility is a windowed program, which has no console: what the command line prints goes
// to the console it was started from (cmd.exe, or karvel-utility.com, which a console runs
// instead), unless the standard streams already lead to a file or a pipe.
void printToStartingConsole()
{
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    const auto redirected = [](DWORD stream) {
        const DWORD type = GetFileType(GetStdHandle(stream));
        return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
    };
    if (!redirected(STD_OUTPUT_HANDLE))
        std::freopen("CONOUT$", "w", stdout);
    if (!redirected(STD_ERROR_HANDLE))
        std::freopen("CONOUT$", "w", stderr);
}
#endif

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
    const bool commandLineOnly = !parsed || batch::requested(probe) ||
                                 probe.isSet(QStringLiteral("help")) ||
                                 probe.isSet(QStringLiteral("version"));
#ifdef Q_OS_WIN
    if (commandLineOnly || !pinError.isEmpty())
        printToStartingConsole();
#endif
    if (!pinError.isEmpty()) {
        QTextStream(stderr) << pinError << Qt::endl;
        return batch::kUsageError;
    }
    if (commandLineOnly) {
        QCoreApplication application(argc, argv);
        QCommandLineParser parser;
        describeApplication(parser);
        const bool read = parser.parse(QCoreApplication::arguments());
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const std::optional<int> status = answerAlone(parser, read, out, err))
            return *status;
        return batch::runFromCommandLine(parser, out, err);
    }

    QApplication application(argc, argv);
    QCommandLineParser parser;
    describeApplication(parser);
    parser.process(application);
    // Ties the windows to the installed desktop entry, so the desktop shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("karvel-utility"));
    UtilityApp utility;
    utility.portNames().pin(*pins);
    utility.start();
    return QApplication::exec();
}
