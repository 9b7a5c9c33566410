#include "SimEcho.h"
#include "SimPty.h"
#include "SimReader.h"
#include "SimStream.h"
#include "SimTcpServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("karvel-reader-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

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
    parser.addOptions({tcpPortOption, ptyOption, quietOption});
    const QCommandLineOption streamOption(
        QStringLiteral("stream"),
        QStringLiteral("Send the byte values 0 to 255 over and over at RATE bytes a second, "
                       "to watch the terminal (0: the whole --stream-limit at once). Lines "
                       "\"stream RATE [BYTES]\" and \"stop\" on standard input do the same "
                       "while running."),
        QStringLiteral("RATE"));
    const QCommandLineOption streamLimitOption(QStringLiteral("stream-limit"),
                                               QStringLiteral("Stop the stream after BYTES bytes."),
                                               QStringLiteral("BYTES"), QStringLiteral("-1"));
    parser.addOptions({streamOption, streamLimitOption});
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

    sim::SimReader reader;
    sim::SimTcpServer server(reader);
    if (!server.listen(quint16(port))) {
        err << "cannot listen on 127.0.0.1:" << port << ": " << server.errorString() << Qt::endl;
        return 1;
    }
    out << "listening on 127.0.0.1:" << server.port() << Qt::endl;

    sim::SimPty pty(reader);
    if (parser.isSet(ptyOption)) {
        if (!pty.open()) {
            err << "cannot open a pseudo-terminal: " << pty.errorString() << Qt::endl;
            return 1;
        }
        out << "pseudo-terminal: " << pty.slavePath() << Qt::endl;
    }

    // Echo mode after the attention sequence and "*", for the loopback test.
    sim::SimEcho echo(reader);
    sim::SimStream stream(reader);
    if (parser.isSet(streamOption)) {
        if (!stream.start(parser.value(streamOption).toLongLong(),
                          parser.value(streamLimitOption).toLongLong())) {
            err << "invalid --stream: a rate of 0 needs --stream-limit" << Qt::endl;
            return 2;
        }
    }
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (count <= 0) {
            // End of input (or none at all): stop listening rather than wake for ever.
            input->setEnabled(false);
            return;
        }
        for (const QByteArray& line : QByteArray(buffer, count).split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.value(0) == "stream")
                stream.start(words.value(1).toLongLong(), words.value(2, "-1").toLongLong());
            else if (words.value(0) == "stop")
                stream.stop();
        }
    });

    if (!parser.isSet(quietOption)) {
        QObject::connect(
            &reader, &sim::SimReader::commandReceived, &app,
            [&out](const QByteArray& command) { out << printable(command) << Qt::endl; });
        QObject::connect(&server, &sim::SimTcpServer::clientConnected, &app,
                         [&out] { out << "-- TCP client connected" << Qt::endl; });
        QObject::connect(&server, &sim::SimTcpServer::clientDisconnected, &app,
                         [&out] { out << "-- TCP client disconnected" << Qt::endl; });
    }

    const int status = QCoreApplication::exec();
    out << "stopped" << Qt::endl;
    return status;
}
