#include "SimEcho.h"
#include "SimFirmware.h"
#include "SimListenerPool.h"
#include "SimPty.h"
#include "SimReader.h"
#include "SimStream.h"
#include "SimTcpServer.h"
#include "SimUtilities.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#ifdef Q_OS_WIN
#include <cstdio>
#include <thread>
#include <windows.h>
#else
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Ctrl+C, Ctrl+Break and closing the console arrive on a thread of their own.
BOOL WINAPI onConsoleControl(DWORD)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
    return TRUE;
}

bool quitOnTerminationSignals(QCoreApplication&)
{
    return SetConsoleCtrlHandler(onConsoleControl, TRUE) != 0;
}

// A console or pipe cannot be watched with a socket notifier here: a thread reads the lines
// and hands each to the event loop.
void watchStandardInput(QCoreApplication& app, std::function<void(const QByteArray&)> handle)
{
    std::thread([&app, handle = std::move(handle)] {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, stdin))
            QMetaObject::invokeMethod(
                &app, [handle, line = QByteArray(buffer)] { handle(line); }, Qt::QueuedConnection);
    }).detach();
}
#else
int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: wake the event loop, which quits in its own time.
void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool quitOnTerminationSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void watchStandardInput(QCoreApplication& app, std::function<void(const QByteArray&)> handle)
{
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(input, &QSocketNotifier::activated, &app, [input, handle] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (count <= 0) {
            // End of input (or none at all): stop listening rather than wake for ever.
            input->setEnabled(false);
            return;
        }
        handle(QByteArray(buffer, count));
    });
}
#endif

// Commands carry NULs and other control bytes; show them so the line stays readable.
QString printable(const QByteArray& command)
{
    QString text;
    for (const char c : command) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            text += QStringLiteral("<NUL>");
        else if (byte < 0x20 || byte >= 0x7f)
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

struct EchoFault
{
    qint64 n = 0;
    sim::SimEcho::Fault fault = sim::SimEcho::Fault::Wrong;
    char byte = 0;
};

// "N:KIND[:XX]", as --echo-fault takes it.
std::optional<EchoFault> parseEchoFault(const QString& text)
{
    using Fault = sim::SimEcho::Fault;
    static const QHash<QString, Fault> kinds{{QStringLiteral("wrong"), Fault::Wrong},
                                             {QStringLiteral("doubled"), Fault::Doubled},
                                             {QStringLiteral("stray-before"), Fault::StrayBefore},
                                             {QStringLiteral("stray-after"), Fault::StrayAfter},
                                             {QStringLiteral("late"), Fault::LateByOne}};
    const QStringList parts = text.split(QLatin1Char(':'));
    bool numberOk = false;
    bool byteOk = true;
    const qint64 n = parts.value(0).toLongLong(&numberOk);
    const uint byte = parts.size() > 2 ? parts[2].toUInt(&byteOk, 16) : 0x3f;
    if (parts.size() < 2 || parts.size() > 3 || !numberOk || n < 1 || !byteOk || byte > 0xff ||
        !kinds.contains(parts[1]))
        return std::nullopt;
    return EchoFault{n, kinds.value(parts[1]), char(byte)};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("karvel-reader-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KARVEL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated card reader: answers the utility over TCP on 127.0.0.1 and, "
                       "on request, over a pseudo-terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption tcpPortOption(QStringLiteral("tcp-port"),
                                           QStringLiteral("TCP port to listen on (default 5757)."),
                                           QStringLiteral("N"), QStringLiteral("5757"));
    const QCommandLineOption ptyOption(
        QStringLiteral("pty"), QStringLiteral("Also open a pseudo-terminal and print its path."));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Do not print the commands received."));
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("Transactions stored in each reader's log at start (default 0)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption readersOption(
        QStringLiteral("readers"),
        QStringLiteral("Serve N readers, each on its own TCP port counted up from --tcp-port "
                       "(default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption silentOnOption(
        QStringLiteral("silent-on"),
        QStringLiteral("The readers chosen with --silent-readers do not answer commands that "
                       "start with TEXT."),
        QStringLiteral("TEXT"));
    const QCommandLineOption silentReadersOption(
        QStringLiteral("silent-readers"),
        QStringLiteral("How many readers, counted from the last, are silent on --silent-on "
                       "(default all)."),
        QStringLiteral("K"));
    const QCommandLineOption replyOption(
        QStringLiteral("reply"),
        QStringLiteral("Every reader answers commands that start with PREFIX with the line TEXT "
                       "instead of its own answer, as in --reply \"X121=?\"; the command still "
                       "takes effect. Repeat it for more commands."),
        QStringLiteral("PREFIX=TEXT"));
    parser.addOptions({tcpPortOption, ptyOption, quietOption, readersOption, silentOnOption,
                       silentReadersOption, replyOption, recordsOption});
    const QCommandLineOption streamOption(
        QStringLiteral("stream"),
        QStringLiteral("Send the byte values 0 to 255 over and over at RATE bytes a second, "
                       "to watch the terminal (0: the whole --stream-limit at once). Lines "
                       "\"stream RATE [BYTES]\" and \"stop\" on standard input do the same "
                       "while running; \"echo wrong\" and \"echo right\" make the echo "
                       "mode answer every character wrongly, or rightly again."),
        QStringLiteral("RATE"));
    const QCommandLineOption streamLimitOption(QStringLiteral("stream-limit"),
                                               QStringLiteral("Stop the stream after BYTES bytes."),
                                               QStringLiteral("BYTES"), QStringLiteral("-1"));
    parser.addOptions({streamOption, streamLimitOption});
    const QCommandLineOption dropIdleOption(
        QStringLiteral("drop-idle"),
        QStringLiteral("Drop a link that has brought nothing for MS milliseconds since its last "
                       "byte: the TCP client is disconnected, the pseudo-terminal closed and "
                       "opened again under a new path."),
        QStringLiteral("MS"));
    parser.addOption(dropIdleOption);
    const QCommandLineOption echoFaultOption(
        QStringLiteral("echo-fault"),
        QStringLiteral("In every echo test, character N (counted from 1 after \"*\") comes back "
                       "with a fault: wrong (as byte XX), doubled, stray-before or stray-after "
                       "(with the extra byte XX), late (with the next character's echo). XX is "
                       "hexadecimal, 3F by default. May be given again for other characters."),
        QStringLiteral("N:KIND[:XX]"));
    parser.addOption(echoFaultOption);
    const QCommandLineOption echoStaysOption(
        QStringLiteral("echo-stays"),
        QStringLiteral("An echo test leaves the reader echoing: every byte on any link comes "
                       "back, commands included, until a line \"off-on\" on standard input "
                       "switches the reader off and on."));
    parser.addOption(echoStaysOption);
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("Write every byte the first reader receives to FILE as it arrives."),
        QStringLiteral("FILE"));
    parser.addOption(recordOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);

    bool portValid = false;
    const uint port = parser.value(tcpPortOption).toUInt(&portValid);
    // 0 is allowed: the system picks a free port, which the first line reports.
    if (!portValid || port > 65535) {
        err << "invalid --tcp-port: " << parser.value(tcpPortOption) << Qt::endl;
        return 2;
    }
    if (!quitOnTerminationSignals(app)) {
        err << "cannot handle SIGINT/SIGTERM" << Qt::endl;
        return 1;
    }

    bool recordsValid = false;
    const int records = parser.value(recordsOption).toInt(&recordsValid);
    if (!recordsValid || records < 0 || records > 99999) {
        err << "invalid --records (0 to 99999): " << parser.value(recordsOption) << Qt::endl;
        return 2;
    }
    bool countValid = false;
    const int readerCount = parser.value(readersOption).toInt(&countValid);
    if (!countValid || readerCount < 1 || (port != 0 && port + readerCount - 1 > 65535)) {
        err << "invalid --readers: " << parser.value(readersOption) << Qt::endl;
        return 2;
    }
    QList<std::pair<QByteArray, QByteArray>> replies;
    for (const QString& value : parser.values(replyOption)) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            err << "invalid --reply (PREFIX=TEXT): " << value << Qt::endl;
            return 2;
        }
        replies.append({value.left(equals).toLatin1(), value.mid(equals + 1).toLatin1()});
    }
    QList<EchoFault> echoFaults;
    for (const QString& text : parser.values(echoFaultOption)) {
        const std::optional<EchoFault> fault = parseEchoFault(text);
        if (!fault) {
            err << "invalid --echo-fault: " << text << Qt::endl;
            return 2;
        }
        echoFaults << *fault;
    }
    int silentCount = parser.isSet(silentOnOption) ? readerCount : 0;
    if (parser.isSet(silentReadersOption))
        silentCount = std::clamp(parser.value(silentReadersOption).toInt(), 0, readerCount);

    // Readers beyond the first serve TCP only, each on the next port.
    std::vector<std::unique_ptr<sim::SimReader>> readers;
    std::vector<std::unique_ptr<sim::SimUtilities>> utilities;
    std::vector<std::unique_ptr<sim::SimFirmware>> loaders;
    std::vector<std::unique_ptr<sim::SimTcpServer>> servers;
    sim::SimListenerPool listeners;
    for (int i = 0; i < readerCount; ++i) {
        readers.push_back(std::make_unique<sim::SimReader>());
        utilities.push_back(std::make_unique<sim::SimUtilities>(*readers.back()));
        utilities.back()->fillLog(records);
        loaders.push_back(std::make_unique<sim::SimFirmware>(*readers.back()));
        // Images can be large; the program reports them rather than keeping them.
        loaders.back()->setKeepData(false);
        if (i >= readerCount - silentCount)
            readers.back()->setSilentOn(parser.value(silentOnOption).toLatin1());
        for (const auto& [prefix, line] : replies)
            readers.back()->setReply(prefix, line);
        servers.push_back(std::make_unique<sim::SimTcpServer>(*readers.back()));
        const quint16 wanted = port == 0 ? 0 : quint16(port + i);
        if (!servers.back()->listen(wanted)) {
            err << "cannot listen on 127.0.0.1:" << wanted << ": " << servers.back()->errorString()
                << Qt::endl;
            return 1;
        }
        if (readerCount > 1)
            listeners.add(*servers.back());
        out << "listening on 127.0.0.1:" << servers.back()->port() << Qt::endl;
    }
    sim::SimReader& reader = *readers.front();
    sim::SimTcpServer& server = *servers.front();
    QFile record(parser.value(recordOption));
    if (parser.isSet(recordOption)) {
        if (!record.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            err << "cannot write --record " << record.fileName() << ": " << record.errorString()
                << Qt::endl;
            return 1;
        }
        QObject::connect(&reader, &sim::SimReader::bytesArrived, &app,
                         [&record](const QByteArray& bytes) { record.write(bytes); });
    }

    sim::SimPty pty(reader);
    sim::SimFirmware& firmware = *loaders.front();
    if (parser.isSet(ptyOption)) {
        if (!pty.open()) {
            err << "cannot open a pseudo-terminal: " << pty.errorString() << Qt::endl;
            return 1;
        }
        out << "pseudo-terminal: " << pty.slavePath() << Qt::endl;
    }
    if (parser.isSet(dropIdleOption)) {
        const int idleMs = parser.value(dropIdleOption).toInt();
        if (idleMs <= 0) {
            err << "invalid --drop-idle: " << parser.value(dropIdleOption) << Qt::endl;
            return 2;
        }
        reader.setIdleDrop(idleMs);
        // A closed pseudo-terminal is gone for good: a new one stands for the plugged-in cable.
        QObject::connect(&pty, &sim::SimPty::closed, &app, [&] {
            QTimer::singleShot(0, &app, [&] {
                if (!pty.isOpen() && pty.open())
                    out << "pseudo-terminal: " << pty.slavePath() << Qt::endl;
            });
        });
    }

    // Echo mode after the attention sequence and "*", for the loopback test.
    sim::SimEcho echo(reader);
    for (const EchoFault& fault : echoFaults)
        echo.setFaultAt(fault.n, fault.fault, fault.byte);
    echo.setStaysEchoing(parser.isSet(echoStaysOption));
    sim::SimStream stream(reader);
    if (parser.isSet(streamOption)) {
        if (!stream.start(parser.value(streamOption).toLongLong(),
                          parser.value(streamLimitOption).toLongLong())) {
            err << "invalid --stream: a rate of 0 needs --stream-limit" << Qt::endl;
            return 2;
        }
    }
    watchStandardInput(app, [&](const QByteArray& text) {
        for (const QByteArray& line : text.split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.value(0) == "stream")
                stream.start(words.value(1).toLongLong(), words.value(2, "-1").toLongLong());
            else if (words.value(0) == "stop")
                stream.stop();
            else if (words.value(0) == "echo")
                echo.setWrongEvery(words.value(1) == "wrong");
            else if (words.value(0) == "off-on")
                echo.switchOffAndOn();
        }
    });

    if (!parser.isSet(quietOption)) {
        QObject::connect(
            &reader, &sim::SimReader::commandReceived, &app,
            [&out](const QByteArray& command) { out << printable(command) << Qt::endl; });
        QObject::connect(&firmware, &sim::SimFirmware::imageComplete, &app,
                         [&out](const sim::FirmwareImage& image) {
                             out << "-- image received after \"" << image.startCommand
                                 << "\": " << image.dataLength << " data bytes in " << image.blocks
                                 << " blocks, date stamp \"" << image.dateStamp << "\"" << Qt::endl;
                         });
        QObject::connect(&server, &sim::SimTcpServer::clientConnected, &app,
                         [&out] { out << "-- TCP client connected" << Qt::endl; });
        QObject::connect(&server, &sim::SimTcpServer::clientDisconnected, &app,
                         [&out] { out << "-- TCP client disconnected" << Qt::endl; });
    }

    const int status = QCoreApplication::exec();
    out << "stopped" << Qt::endl;
    return status;
}
