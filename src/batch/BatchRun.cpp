#include "BatchRun.h"

#include "comm/CommandChannel.h"
#include "comm/EventWait.h"
#include "comm/TcpLink.h"
#include "core/AppState.h"
#include "core/DigitsForBits.h"
#include "firmware/ImageTransfer.h"
#include "program/ProgrammingRun.h"
#include "utilities/TransactionUpload.h"
#include "utilities/UtilityCommands.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace batch {

QString Reader::address() const
{
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shownHost + QLatin1Char(':') + QString::number(port);
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

// "a", "a and b", "a, b and c".
QString listed(const QStringList& parts)
{
    if (parts.size() < 2)
        return parts.value(0);
    return parts.mid(0, parts.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           parts.last();
}

} // namespace

QString Work::activity() const
{
    QStringList parts;
    if (identify)
        parts << QStringLiteral("identifying");
    if (profile)
        parts << QStringLiteral("programming");
    if (setTime)
        parts << QStringLiteral("setting the clock of");
    if (collects())
        parts << (clearAfter ? QStringLiteral("collecting and clearing the transactions of")
                             : QStringLiteral("collecting the transactions of"));
    if (flashes())
        parts << QStringLiteral("flashing");
    QString text = listed(parts);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QString Work::accomplished() const
{
    QStringList parts;
    if (identify)
        parts << QStringLiteral("identified");
    if (profile)
        parts << QStringLiteral("programmed");
    if (setTime)
        parts << QStringLiteral("clock set");
    if (collects())
        parts << (clearAfter ? QStringLiteral("collected and cleared")
                             : QStringLiteral("collected"));
    if (flashes())
        parts << QStringLiteral("flashed");
    return listed(parts);
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

QByteArray csvLine(const QList<QByteArray>& fields)
{
    QByteArray line;
    for (const QByteArray& field : fields)
        line += (line.isEmpty() ? QByteArray() : QByteArray(",")) + csvField(field);
    return line + '\n';
}

} // namespace

QByteArray csvHeader(const Work& work)
{
    QList<QByteArray> names{"address", "port", "version", "result", "seconds"};
    if (work.setTime)
        names << "clock";
    if (work.collects())
        names << "records"
              << "file";
    if (work.flashes())
        names << "image";
    return csvLine(names);
}

QByteArray csvRow(const Outcome& outcome, const Work& work)
{
    QList<QByteArray> fields{outcome.reader.host.toUtf8(), QByteArray::number(outcome.reader.port),
                             outcome.version, outcome.result.toUtf8(),
                             QByteArray::number(outcome.seconds, 'f', 3)};
    if (work.setTime)
        fields << outcome.clockSet.toUtf8();
    if (work.collects()) {
        const bool written = !outcome.file.isEmpty();
        fields << (written ? QByteArray::number(outcome.records) : QByteArray())
               << outcome.file.toUtf8();
    }
    if (work.flashes())
        fields << (outcome.flashed ? work.imageName.toUtf8() : QByteArray());
    return csvLine(fields);
}

QString writeProblem(const QFileDevice& file)
{
    return file.error() == QFileDevice::NoError ? QStringLiteral("no room left on the disk")
                                                : file.errorString();
}

namespace {

// What the work needs that does not depend on the reader: built once.
struct Prepared
{
    QList<QByteArray> programCommands;
    std::array<std::int16_t, 66> digitsForBits{};
};

Prepared prepare(const Work& work)
{
    Prepared prepared;
    fillDigitsForBits(prepared.digitsForBits);
    if (work.profile) {
        for (int step = 1; step <= kProgrammingSteps; ++step)
            prepared.programCommands
                << buildStepCommand(step, work.profile->general, work.profile->prox);
    }
    return prepared;
}

int scaled(int ms, const Timing& timing)
{
    return int(std::lround(ms * timing.scale));
}

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

// A reply as the report and the console show it: control characters would
// break the line they stand in, so they are written as \xNN.
QString shownReply(const QByteArray& reply)
{
    QString text;
    for (const char c : reply) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QChar(byte);
    }
    return text;
}

QString answered(const QString& what, const QByteArray& reply)
{
    return what + QStringLiteral(" answered \"") + shownReply(reply) + QLatin1Char('"');
}

// Characters that are no trouble in a file name on any system.
QString fileNamePart(const QString& text)
{
    QString part = text;
    for (QChar& c : part) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-')))
            c = QLatin1Char('-');
    }
    return part;
}

// The file and its folder entry on the disk itself, not only handed to the
// system: only then may the reader forget what is in it.
bool syncToDisk(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    if (::fsync(file.handle()) != 0)
        return false;
    const int folder = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    const bool synced = ::fsync(folder) == 0;
    ::close(folder);
    return synced;
#endif
}

// One reader from connection to the end of its work.
class Visit
{
public:
    Visit(const Reader& reader, const Work& work, const Prepared& prepared, const Timing& timing)
        : m_work(work), m_prepared(prepared), m_timing(timing)
    {
        m_outcome.reader = reader;
        m_state.chosenLink = LinkKind::Tcp;
    }

    Outcome run()
    {
        QElapsedTimer clock;
        clock.start();
        if (!connectReader(m_tcp, m_outcome.reader, scaled(kConnectLimitMs, m_timing))) {
            m_outcome.result = QStringLiteral("no connection");
        } else {
            m_state.connection = ConnectionState::Connected;
            m_state.connectedLink = LinkKind::Tcp;
            m_channel.setReplyTimeout(scaled(CommandChannel::kReplyTimeoutMs, m_timing));
            // Programming asks for "V" itself. The log is cleared only after a
            // collection that has every record on the disk.
            m_outcome.done =
                (!m_work.identify || m_work.profile || identify()) &&
                (!m_work.profile || program()) && (!m_work.setTime || setTime()) &&
                (!m_work.collects() || (collect() && (!m_work.clearAfter || clear()))) &&
                (!m_work.flashes() || flash());
            if (m_outcome.done)
                m_outcome.result = m_work.accomplished();
        }
        m_tcp.close();
        m_outcome.seconds = double(clock.elapsed()) / 1000.0;
        return m_outcome;
    }

private:
    bool fail(const QString& result)
    {
        m_outcome.result = result;
        return false;
    }

    // A command as the utilities window sends it: two returns, the command,
    // its reply. Nothing when it failed, which the result then says.
    std::optional<QByteArray> exchange(const QByteArray& command, const QString& what)
    {
        m_channel.sendTwoReturns();
        m_channel.sendReaderCommand(command);
        if (m_state.sendFailed) {
            fail(QStringLiteral("connection lost"));
            return std::nullopt;
        }
        const auto [reply, timedOut] = m_channel.readReaderLine();
        if (timedOut) {
            fail(m_tcp.isOpen() ? QStringLiteral("no reply to ") + what
                                : QStringLiteral("connection lost"));
            return std::nullopt;
        }
        if (m_channel.isEcho(reply)) {
            fail(QStringLiteral("reader only echoes ") + what);
            return std::nullopt;
        }
        return reply;
    }

    bool identify()
    {
        const std::optional<QByteArray> reply = exchange("V", QStringLiteral("V"));
        if (reply)
            m_outcome.version = *reply;
        return reply.has_value();
    }

    bool program()
    {
        ProgrammingProgress quiet;
        const QList<QByteArray>& commands = m_prepared.programCommands;
        const ProgrammingResult result = runProgramming(
            m_channel, m_work.profile->prox, m_prepared.digitsForBits,
            [&commands](int step) { return commands.at(step - 1); }, quiet);
        m_outcome.version = result.version;
        switch (result.outcome) {
        case ProgrammingResult::Outcome::Programmed:
            break;
        case ProgrammingResult::Outcome::ValidationFailed:
            return fail(QStringLiteral("validation failed"));
        case ProgrammingResult::Outcome::Unreachable:
            return fail(QStringLiteral("connection lost"));
        case ProgrammingResult::Outcome::NoReply:
            return fail(m_tcp.isOpen()
                            ? QStringLiteral("no reply to step %1").arg(result.failedStep)
                            : QStringLiteral("connection lost"));
        case ProgrammingResult::Outcome::Echoing:
            return fail(QStringLiteral("reader only echoes step %1").arg(result.failedStep));
        }
        if (result.refusedStep != 0)
            return fail(
                answered(QStringLiteral("step %1").arg(result.refusedStep), result.refusal));
        return true;
    }

    bool setTime()
    {
        // The window's "Set Reader Time" with no hours added.
        const QDateTime now = QDateTime::currentDateTime();
        const std::optional<QByteArray> reply =
            exchange(utilitycommands::setTimeCommand(now, 0, true), QStringLiteral("set time"));
        if (!reply)
            return false;
        if (*reply != "O")
            return fail(answered(QStringLiteral("set time"), *reply));
        m_outcome.clockSet = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return true;
    }

    // A file of its own for this reader: its address and the run's start in
    // the name, and a number added rather than replace any file there.
    bool createFile(QFile& file)
    {
        const QString base =
            QDir(m_work.collectFolder)
                .filePath(fileNamePart(m_outcome.reader.host) + QLatin1Char('_') +
                          QString::number(m_outcome.reader.port) + QLatin1Char('_') +
                          m_work.started.toString(QStringLiteral("yyyyMMdd-HHmmss")));
        constexpr int kMaxTries = 1000;
        for (int number = 1; number <= kMaxTries; ++number) {
            file.setFileName(base + (number == 1 ? QString() : QStringLiteral("-%1").arg(number)) +
                             QStringLiteral(".txt"));
            // Unbuffered: each record reaches the file as it is written, so
            // nothing the reader has handed over is lost if the run dies.
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
                return true;
            if (!file.exists())
                break;
        }
        return false;
    }

    bool collect()
    {
        const std::optional<QByteArray> reply = exchange("lr", QStringLiteral("upload"));
        if (!reply)
            return false;
        if (*reply != "OK")
            return fail(answered(QStringLiteral("upload"), *reply));
        QFile file;
        if (!createFile(file))
            return fail(QStringLiteral("file could not be created: ") + file.errorString());
        m_outcome.file = QDir::toNativeSeparators(file.fileName());
        const transactionupload::Result result =
            transactionupload::receiveRecords(m_channel, m_state, file);
        m_outcome.records = result.records;
        switch (result.outcome) {
        case transactionupload::Outcome::Complete:
            break;
        case transactionupload::Outcome::NoReply:
            return fail(QStringLiteral("no reply during upload, file incomplete"));
        case transactionupload::Outcome::LinkLost:
            return fail(QStringLiteral("connection lost during upload, file incomplete"));
        case transactionupload::Outcome::NotWritten:
            return fail(QStringLiteral("file could not be written, file incomplete: ") +
                        writeProblem(file));
        }
        if (!syncToDisk(file))
            return fail(QStringLiteral("file could not be written to the disk: ") +
                        writeProblem(file));
        return true;
    }

    bool clear()
    {
        const std::optional<QByteArray> reply = exchange("lc", QStringLiteral("clear"));
        if (!reply)
            return false;
        if (*reply != "OK")
            return fail(answered(QStringLiteral("clear"), *reply));
        return true;
    }

    bool flash()
    {
        QBuffer image;
        image.setData(m_work.image);
        image.open(QIODevice::ReadOnly);
        eventwait::Deadline deadline;
        download::ImageTransfer transfer(m_tcp, deadline, m_state.closing);
        transfer.setTimeScale(m_timing.scale, m_timing.scale);
        const download::TransferOutcome outcome =
            transfer.run(image, m_work.imageName,
                         download::parametersFor(download::Variant::Firmware, true), true);
        if (outcome.kind == download::TransferOutcome::Complete) {
            m_outcome.flashed = true;
            return true;
        }
        switch (outcome.failure) {
        case download::Failure::ReadyTimeout:
            return fail(QStringLiteral("flash: no ready reply"));
        case download::Failure::NotAcknowledged:
            return fail(outcome.stage == download::Stage::Final
                            ? QStringLiteral("flash: end not acknowledged")
                            : QStringLiteral("flash: block not acknowledged"));
        case download::Failure::LinkLost:
            return fail(QStringLiteral("connection lost during flash"));
        case download::Failure::EarlyEnd:
        case download::Failure::FileUnreadable:
            break;
        }
        return fail(QStringLiteral("flash: ") + download::failureMessage(outcome.failure, false,
                                                                         outcome.stage,
                                                                         outcome.detail));
    }

    const Work& m_work;
    const Prepared& m_prepared;
    const Timing& m_timing;
    Outcome m_outcome;
    AppState m_state;
    TcpLink m_tcp;
    CommandChannel m_channel{m_state, m_tcp, m_tcp};
};

} // namespace

int runReaders(const QList<Reader>& readers, const Work& work, int jobs,
               const std::function<void(const Outcome&, int done)>& onFinished,
               const Timing& timing)
{
    if (readers.isEmpty())
        return 0;
    jobs = std::max(1, std::min<int>(jobs, readers.size()));
    const Prepared prepared = prepare(work);

    // Each job takes the next reader as soon as it is free; outcomes come back
    // to this thread one by one and are not kept.
    std::atomic<qsizetype> next{0};
    QEventLoop loop;
    QObject here;
    int done = 0;
    int accomplished = 0;
    auto finished = [&](const Outcome& outcome) {
        ++done;
        if (outcome.done)
            ++accomplished;
        if (onFinished)
            onFinished(outcome, done);
        if (done == readers.size())
            loop.quit();
    };
    std::vector<std::unique_ptr<QThread>> workers;
    for (int i = 0; i < jobs; ++i) {
        workers.emplace_back(QThread::create([&] {
            for (qsizetype index = next++; index < readers.size(); index = next++) {
                const Outcome outcome = Visit(readers.at(index), work, prepared, timing).run();
                QMetaObject::invokeMethod(
                    &here, [&finished, outcome] { finished(outcome); }, Qt::QueuedConnection);
            }
        }));
        workers.back()->start();
    }
    loop.exec();
    for (const auto& worker : workers)
        worker->wait();
    return accomplished;
}

} // namespace batch
