#include "BatchProgramming.h"

#include "app/AppState.h"
#include "app/DigitsForBits.h"
#include "comm/CommandChannel.h"
#include "comm/TcpLink.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <memory>

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

QByteArray csvReport(const QList<Outcome>& outcomes)
{
    QByteArray csv = "address,port,version,result,seconds\n";
    for (const Outcome& outcome : outcomes) {
        const QList<QByteArray> fields{outcome.reader.host.toUtf8(),
                                       QByteArray::number(outcome.reader.port),
                                       outcome.result.version, outcome.resultText().toUtf8(),
                                       QByteArray::number(outcome.seconds, 'f', 3)};
        QByteArray row;
        for (const QByteArray& field : fields)
            row += (row.isEmpty() ? QByteArray() : QByteArray(",")) + csvField(field);
        csv += row + '\n';
    }
    return csv;
}

Outcome programReader(const Reader& reader, const Profile& profile)
{
    QElapsedTimer clock;
    clock.start();
    Outcome outcome;
    outcome.reader = reader;

    AppState state;
    state.LinkMode = 1;
    fillDigitsForBits(state.DigitsForBits);
    TcpLink tcp;
    QTimer replyTimer;
    QObject::connect(&tcp, &TcpLink::connectCompleted, &tcp,
                     [&state] { state.TcpConnectSeen = true; });
    tcp.connectTo(reader.host, reader.port);
    outcome.connected = tcp.waitForConnect(state.TcpConnectSeen, state.Closing);
    if (outcome.connected) {
        state.ConnectedLinkMode = 1;
        CommandChannel channel(state, tcp, tcp, replyTimer);
        ProgrammingProgress quiet;
        outcome.result = runProgramming(
            channel, profile.prox, state.DigitsForBits,
            [&profile](int step) { return buildStepCommand(step, profile.general, profile.prox); },
            quiet);
    }
    tcp.close();
    outcome.seconds = clock.elapsed() / 1000.0;
    return outcome;
}

QList<Outcome> programReaders(const QList<Reader>& readers, const Profile& profile, int jobs,
                              const std::function<void(const Outcome&, int done)>& onFinished)
{
    QList<Outcome> outcomes(readers.size());
    if (readers.isEmpty())
        return outcomes;
    jobs = std::max(1, std::min<int>(jobs, readers.size()));

    // Each worker writes its own slot only; the list is not touched meanwhile.
    Outcome* const results = outcomes.data();
    QEventLoop loop;
    int started = 0;
    int done = 0;
    std::function<void()> startNext = [&] {
        const int index = started++;
        QThread* worker = QThread::create([results, &readers, &profile, index] {
            results[index] = programReader(readers.at(index), profile);
        });
        // Queued to this thread: the worker's outcome is complete once it has finished.
        QObject::connect(worker, &QThread::finished, &loop, [&, worker, index] {
            worker->wait();
            delete worker;
            ++done;
            if (onFinished)
                onFinished(results[index], done);
            if (started < readers.size())
                startNext();
            else if (done == readers.size())
                loop.quit();
        });
        worker->start();
    };
    for (int i = 0; i < jobs; ++i)
        startNext();
    loop.exec();
    return outcomes;
}

} // namespace batch
