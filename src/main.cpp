#include "app/UtilityApp.h"
#include "program/BatchCommandLine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

namespace {

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Configuration and service utility for KARVEL card readers.\n"
                       "With no options it opens its window; with --program it programs "
                       "readers over TCP/IP without windows."));
    parser.addHelpOption();
    parser.addVersionOption();
    batch::addCommandLineOptions(parser);
}

} // namespace

int main(int argc, char* argv[])
{
    // Batch programming, --help and --version need no display, so the choice
    // is made before any application object exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser probe;
    describe(probe);
    const bool parsed = probe.parse(arguments);
    if (parsed && (batch::requested(probe) || probe.isSet(QStringLiteral("help")) ||
                   probe.isSet(QStringLiteral("version")))) {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("karvel-utility"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KARVEL_VERSION));
        QCommandLineParser parser;
        describe(parser);
        parser.process(application);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return batch::runFromCommandLine(parser, out, err);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KARVEL Utility"));
    QApplication::setApplicationVersion(QStringLiteral(KARVEL_VERSION));
    QCommandLineParser parser;
    describe(parser);
    parser.process(application);
    UtilityApp utility;
    utility.start();
    return QApplication::exec();
}
