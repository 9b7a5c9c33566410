#include "BatchCommandLine.h"

#include "BatchProgramming.h"
#include "ProxValidation.h"
#include "core/DigitsForBits.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

namespace batch {

namespace {

const QString kProgram = QStringLiteral("program");
const QString kReader = QStringLiteral("reader");
const QString kReaders = QStringLiteral("readers");
const QString kReport = QStringLiteral("report");
const QString kJobs = QStringLiteral("jobs");

} // namespace

void addCommandLineOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {kProgram,
         QStringLiteral("Program readers over TCP/IP with the settings profile PROFILE, "
                        "without windows, then exit."),
         QStringLiteral("PROFILE")},
        {kReader,
         QStringLiteral("A reader to program, as HOST or HOST:PORT (port %1 if not given). "
                        "May be repeated.")
             .arg(kDefaultReaderPort),
         QStringLiteral("HOST[:PORT]")},
        {kReaders, QStringLiteral("A file of readers, one HOST[:PORT] a line; # starts a comment."),
         QStringLiteral("FILE")},
        {kReport,
         QStringLiteral("Write a CSV report (address, port, version, result, seconds) to FILE."),
         QStringLiteral("FILE")},
        {kJobs,
         QStringLiteral("Readers worked on at the same time (default %1).").arg(kDefaultJobs),
         QStringLiteral("N"), QString::number(kDefaultJobs)},
    });
}

bool requested(const QCommandLineParser& parser)
{
    return parser.isSet(kProgram);
}

int runFromCommandLine(const QCommandLineParser& parser, QTextStream& out, QTextStream& err,
                       const Timing& timing)
{
    const ProfileReadResult read = loadProfile(parser.value(kProgram));
    if (!read.profile) {
        err << "The profile cannot be used:\n";
        for (const QString& error : read.errors)
            err << "  " << error << '\n';
        err.flush();
        return kUsageError;
    }
    const Profile& profile = *read.profile;

    QStringList problems;
    QList<Reader> readers;
    for (const QString& text : parser.values(kReader)) {
        if (const auto reader = parseReader(text))
            readers << *reader;
        else
            problems << QStringLiteral("--reader \"%1\" is not HOST or HOST:PORT").arg(text);
    }
    if (parser.isSet(kReaders)) {
        QFile list(parser.value(kReaders));
        if (list.open(QIODevice::ReadOnly)) {
            QStringList lineErrors;
            readers << parseReaderList(QString::fromUtf8(list.readAll()), &lineErrors);
            for (const QString& error : lineErrors)
                problems << list.fileName() + QStringLiteral(", ") + error;
        } else {
            problems << QStringLiteral("%1 could not be read: %2")
                            .arg(list.fileName(), list.errorString());
        }
    }
    bool jobsValid = false;
    const int jobs = parser.value(kJobs).toInt(&jobsValid);
    if (!jobsValid || jobs < 1)
        problems << QStringLiteral("--jobs \"%1\" is not a number of 1 or more")
                        .arg(parser.value(kJobs));
    if (readers.isEmpty() && problems.isEmpty())
        problems << QStringLiteral("no reader given: use --reader or --readers");

    // The same checks "Program Reader" makes; they do not depend on the reader.
    std::array<std::int16_t, 66> digitsForBits{};
    fillDigitsForBits(digitsForBits);
    const ProxValidationResult checked = validateProxSettings(profile.prox, digitsForBits);
    for (const QString& line : checked.lines)
        (checked.mayProgram ? out : err) << line << '\n';
    if (!checked.mayProgram)
        problems << QStringLiteral("the profile's prox settings do not pass the checks above");

    // Opened before any reader is contacted, so that a report that cannot be
    // written stops the run instead of being found out at its end.
    QSaveFile report(parser.value(kReport));
    if (parser.isSet(kReport) &&
        (!report.open(QIODevice::WriteOnly) || report.write(csvHeader()) < 0))
        problems << QStringLiteral("the report cannot be written to %1: %2")
                        .arg(report.fileName(), report.errorString());

    if (!problems.isEmpty()) {
        for (const QString& problem : problems)
            err << "Nothing was sent: " << problem << '\n';
        err.flush();
        return kUsageError;
    }

    const qsizetype total = readers.size();
    out << "Programming " << total << " reader(s), " << std::min<qsizetype>(jobs, total)
        << " at a time" << Qt::endl;
    bool reportWritten = true;
    const int programmed = programReaders(
        readers, profile, jobs,
        [&](const Outcome& outcome, int done) {
            out << '[' << done << '/' << total << "] " << outcome.reader.host << ':'
                << outcome.reader.port << ' ' << outcome.resultText() << " ("
                << QString::number(outcome.seconds, 'f', 2) << " s)" << Qt::endl;
            if (report.isOpen()) {
                const QByteArray row = csvRow(outcome);
                reportWritten = reportWritten && report.write(row) == row.size();
            }
        },
        timing);
    out << programmed << " of " << total << " reader(s) programmed" << Qt::endl;

    int status = programmed == total ? kAllProgrammed : kSomeFailed;
    if (report.isOpen() && !(reportWritten && report.commit())) {
        err << "The report was not written to " << report.fileName() << ": " << report.errorString()
            << Qt::endl;
        status = kSomeFailed;
    }
    return status;
}

} // namespace batch
