#include "BatchProgramming.h"

#include "comm/CommandChannel.h"
#include "comm/EventWait.h"
#include "comm/TcpLink.h"
#include "core/AppState.h"
#include "core/DigitsForBits.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

namespace batch {

QString Outcome::resultText() const
{
    if (!connected)
        return QStringLiteral("no connection");
    switch (result.outcome) {
    case ProgrammingResult::Outcome::Programmed:
        return QStringLiteral("programmed");
    case ProgrammingResult::Outcome::ValidationFailed:
        return QStringLiteral("validation failed");
    case ProgrammingResult::Outcome::Unreachable:
        return QStringLiteral("connection lost");
    case ProgrammingResult::Outcome::NoReply:
        return QStringLiteral("no reply to step %1").arg(result.failedStep);
    }
    return {};
}

std::optional<Reader> parseReader(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(?:\[([^\]]+)\]|([^:\s\[\]]+))(?::(\d{1,5}))?$)"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    Reader reader;
    reader.host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    if (match.hasCaptured(3) && !match.captured(3).isEmpty()) {
        const int port = match.captured(3).toInt();
        if (port < 1 || port > 65535)
            return std::nullopt;
        reader.port = static_cast<quint16>(port);
    }
    return reader;
}

QList<Reader> parseReaderList(const QString& text, QStringList* errors)
{
    QList<Reader> readers;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (const auto reader = parseReader(line))
            readers << *reader;
        else if (errors)
            *errors
                << QStringLiteral("line %1: \"%2\" is not HOST or HOST:PORT").arg(i + 1).arg(line);
    }
    return readers;
}

namespace {

QByteArray csvField(const QByteArray& field)
{
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') &&
        !field.contains('\r'))
        return field;
    QByteArray quoted = field;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

} // namespace

QByteArray csvHeader()
{
    return "address,port,version,result,seconds\n";
}

QByteArray csvRow(const Outcome& outcome)
{
    const QList<QByteArray> fields{outcome.reader.host.toUtf8(),
                                   QByteArray::number(outcome.reader.port), outcome.result.version,
                                   outcome.resultText().toUtf8(),
                                   QByteArray::number(outcome.seconds, 'f', 3)};
    QByteArray row;
    for (const QByteArray& field : fields)
        row += (row.isEmpty() ? QByteArray() : QByteArray(",")) + csvField(field);
    return row + '\n';
}

namespace {

// Unlike the window, which sleeps 100 ms before each look, the batch looks
// whenever the socket reports: the connection, a refusal or an unknown host
// end the wait at once, silence ends it at the limit.
bool connectReader(TcpLink& tcp, const Reader& reader, int limitMs)
{
    bool connected = false;
    QObject::connect(&tcp, &TcpLink::connectCompleted, &tcp, [&connected] { connected = true; });
    eventwait::Deadline limit;
    limit.arm(limitMs);
    tcp.connectTo(reader.host, reader.port);
    // Each of the three outcomes arrives as an event, so the wait never spins.
    while (!connected && !limit.expired() &&
           tcp.connectFailure().kind == LinkFailure::Kind::NoAnswer)
        eventwait::waitForNextEvent();
    return connected;
}

Outcome programWith(const Reader& reader, const ProxValues& prox,
                    const std::array<std::int16_t, 66>& digitsForBits,
                    const QList<QByteArray>& commands, const Timing& timing)
{
    QElapsedTimer clock;
    clock.start();
    Outcome outcome;
    outcome.reader = reader;

    AppState state;
    state.chosenLink = LinkKind::Tcp;
    TcpLink tcp;
    outcome.connected = connectReader(tcp, reader, timing.connectLimitMs);
    if (outcome.connected) {
        state.connection = ConnectionState::Connected;
        state.connectedLink = LinkKind::Tcp;
        CommandChannel channel(state, tcp, tcp);
        ProgrammingProgress quiet;
        outcome.result = runProgramming(
            channel, prox, digitsForBits, [&commands](int step) { return commands.at(step - 1); },
            quiet);
    }
    tcp.close();
    outcome.seconds = clock.elapsed() / 1000.0;
    return outcome;
}

// The commands depend on the profile alone: built once for every reader.
QList<QByteArray> stepCommands(const Profile& profile)
{
    QList<QByteArray> commands;
    for (int step = 1; step <= kProgrammingSteps; ++step)
        commands << buildStepCommand(step, profile.general, profile.prox);
    return commands;
}

std::array<std::int16_t, 66> digitsForBits()
{
    std::array<std::int16_t, 66> digits{};
    fillDigitsForBits(digits);
    return digits;
}

} // namespace

int programReaders(const QList<Reader>& readers, const Profile& profile, int jobs,
                   const std::function<void(const Outcome&, int done)>& onFinished,
                   const Timing& timing)
{
    if (readers.isEmpty())
        return 0;
    jobs = std::max(1, std::min<int>(jobs, readers.size()));
    const QList<QByteArray> commands = stepCommands(profile);
    const std::array<std::int16_t, 66> digits = digitsForBits();

    // Each job takes the next reader as soon as it is free; outcomes come back
    // to this thread one by one and are not kept.
    std::atomic<qsizetype> next{0};
    QEventLoop loop;
    QObject here;
    int done = 0;
    int programmed = 0;
    auto finished = [&](const Outcome& outcome) {
        ++done;
        if (outcome.programmed())
            ++programmed;
        if (onFinished)
            onFinished(outcome, done);
        if (done == readers.size())
            loop.quit();
    };
    std::vector<std::unique_ptr<QThread>> workers;
    for (int i = 0; i < jobs; ++i) {
        workers.emplace_back(QThread::create([&] {
            for (qsizetype index = next++; index < readers.size(); index = next++) {
                const Outcome outcome =
                    programWith(readers.at(index), profile.prox, digits, commands, timing);
                QMetaObject::invokeMethod(
                    &here, [&finished, outcome] { finished(outcome); }, Qt::QueuedConnection);
            }
        }));
        workers.back()->start();
    }
    loop.exec();
    for (const auto& worker : workers)
        worker->wait();
    return programmed;
}

} // namespace batch
