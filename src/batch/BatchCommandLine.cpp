#include "BatchCommandLine.h"

#include "BatchRun.h"
#include "core/DigitsForBits.h"
#include "firmware/DownloadProtocol.h"
#include "program/ProxValidation.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTextStream>

namespace batch {

namespace {

const QString kIdentify = QStringLiteral("identify");
const QString kProgram = QStringLiteral("program");
const QString kSetTime = QStringLiteral("set-time");
const QString kCollect = QStringLiteral("collect");
const QString kClearAfter = QStringLiteral("clear-after");
const QString kFlash = QStringLiteral("flash");
const QString kReader = QStringLiteral("reader");
const QString kReaders = QStringLiteral("readers");
const QString kReport = QStringLiteral("report");
const QString kJobs = QStringLiteral("jobs");
// Shortens every time limit and pause, for tests and benchmarks.
const QString kTimeScale = QStringLiteral("time-scale");

// The readers of --reader and --readers; what cannot be read goes to problems.
QList<Reader> readersGiven(const QCommandLineParser& parser, QStringList& problems)
{
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
    return readers;
}

void checkCollectFolder(const QString& path, QStringList& problems)
{
    const QFileInfo folder(path);
    if (!folder.exists()) {
        problems << QStringLiteral("the folder \"%1\" of --collect does not exist").arg(path);
    } else if (!folder.isDir()) {
        problems << QStringLiteral("\"%1\" of --collect is not a folder").arg(path);
    } else {
        // Only a file made there tells for sure, whoever runs the program.
        QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".karvel-utility-XXXXXX")));
        if (!probe.open())
            problems << QStringLiteral("the folder \"%1\" of --collect cannot be written to: %2")
                            .arg(path, probe.errorString());
    }
}

// Read and checked once, before any reader is contacted.
void readImage(const QString& path, Work& work, QStringList& problems)
{
    QFile image(path);
    work.imageName = path;
    if (!image.open(QIODevice::ReadOnly)) {
        problems
            << QStringLiteral("the image \"%1\" cannot be read: %2").arg(path, image.errorString());
        return;
    }
    QByteArray bytes = image.readAll();
    if (image.error() != QFileDevice::NoError) {
        problems
            << QStringLiteral("the image \"%1\" cannot be read: %2").arg(path, image.errorString());
    } else if (bytes.size() <= download::kTrailerBytes) {
        problems << QStringLiteral("the image \"%1\" has %2 bytes: an image holds more than its "
                                   "%3-byte trailer")
                        .arg(path)
                        .arg(bytes.size())
                        .arg(download::kTrailerBytes);
    } else {
        work.image = std::move(bytes);
    }
}

} // namespace

void addCommandLineOptions(QCommandLineParser& parser)
{
    QCommandLineOption timeScale(kTimeScale, QStringLiteral("Multiply every time limit by F."),
                                 QStringLiteral("F"), QStringLiteral("1"));
    timeScale.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({
        {kIdentify,
         QStringLiteral("Ask each reader for its firmware identification (\"V\"); the report "
                        "holds it.")},
        {kProgram,
         QStringLiteral("Program each reader with the settings profile PROFILE, with the same "
                        "checks and commands as Program Reader."),
         QStringLiteral("PROFILE")},
        {kSetTime,
         QStringLiteral("Set each reader's clock to this computer's local time, as Set Reader "
                        "Time does with no hours added.")},
        {kCollect,
         QStringLiteral("Upload each reader's stored transactions into a new file of its own in "
                        "DIR, named with its address, port and the time of the run."),
         QStringLiteral("DIR")},
        {kClearAfter,
         QStringLiteral("With --collect: clear a reader's log once its file is complete and on "
                        "the disk, never otherwise.")},
        {kFlash,
         QStringLiteral("Download the firmware image IMAGE to each reader, as Flash New Firmware "
                        "does over TCP/IP. Not combined with other work."),
         QStringLiteral("IMAGE")},
        {kReader,
         QStringLiteral("A reader to work on, as HOST or HOST:PORT (port %1 if not given; an "
                        "IPv6 address in brackets, [::1]:6100). May be repeated.")
             .arg(kDefaultReaderPort),
         QStringLiteral("HOST[:PORT]")},
        {kReaders, QStringLiteral("A file of readers, one HOST[:PORT] a line; # starts a comment."),
         QStringLiteral("FILE")},
        {kReport,
         QStringLiteral("Write a CSV report to FILE: address, port, version, result, seconds, "
                        "and the clock set, records and file collected, image flashed."),
         QStringLiteral("FILE")},
        {kJobs,
         QStringLiteral("Readers worked on at the same time, 1 to %1 (default %2).")
             .arg(kMaxJobs)
             .arg(kDefaultJobs),
         QStringLiteral("N"), QString::number(kDefaultJobs)},
        timeScale,
    });
}

bool requested(const QCommandLineParser& parser)
{
    for (const QString& name : {kIdentify, kProgram, kSetTime, kCollect, kClearAfter, kFlash,
                                kReader, kReaders, kReport, kJobs, kTimeScale})
        if (parser.isSet(name))
            return true;
    return false;
}

int runFromCommandLine(const QCommandLineParser& parser, QTextStream& out, QTextStream& err)
{
    Work work;
    if (parser.isSet(kProgram)) {
        const ProfileReadResult read = loadProfile(parser.value(kProgram));
        if (!read.profile) {
            err << "The profile cannot be used:\n";
            for (const QString& error : read.errors)
                err << "  " << error << '\n';
            err.flush();
            return kUsageError;
        }
        work.profile = *read.profile;
    }
    work.identify = parser.isSet(kIdentify);
    work.setTime = parser.isSet(kSetTime);
    work.collectFolder = parser.value(kCollect);
    work.clearAfter = parser.isSet(kClearAfter);
    const bool flash = parser.isSet(kFlash);

    QStringList problems;
    if (parser.isSet(kCollect) && work.collectFolder.isEmpty())
        problems << QStringLiteral("--collect needs a folder");
    const bool others = work.identify || work.profile || work.setTime || parser.isSet(kCollect);
    if (!others && !flash)
        problems << QStringLiteral(
            "no work given: use --identify, --program, --set-time, --collect or --flash");
    if (work.clearAfter && !parser.isSet(kCollect))
        problems << QStringLiteral("--clear-after clears a log only after --collect has it on "
                                   "the disk: give --collect DIR as well");
    if (flash && others)
        problems << QStringLiteral("--flash goes alone: a reader restarts into its new firmware, "
                                   "so flash in a run of its own");

    const QList<Reader> readers = readersGiven(parser, problems);
    bool jobsValid = false;
    const int jobs = parser.value(kJobs).toInt(&jobsValid);
    if (!jobsValid || jobs < 1 || jobs > kMaxJobs)
        problems << QStringLiteral("--jobs \"%1\" is not a number from 1 to %2")
                        .arg(parser.value(kJobs))
                        .arg(kMaxJobs);
    bool scaleValid = false;
    Timing timing;
    timing.scale = parser.value(kTimeScale).toDouble(&scaleValid);
    if (!scaleValid || !(timing.scale > 0))
        problems << QStringLiteral("--time-scale \"%1\" is not a number above 0")
                        .arg(parser.value(kTimeScale));
    if (readers.isEmpty() && problems.isEmpty())
        problems << QStringLiteral("no reader given: use --reader or --readers");

    if (work.profile) {
        // The same checks "Program Reader" makes; they do not depend on the reader.
        std::array<std::int16_t, 66> digitsForBits{};
        fillDigitsForBits(digitsForBits);
        const ProxValidationResult checked =
            validateProxSettings(work.profile->prox, digitsForBits);
        for (const QString& line : checked.lines)
            (checked.mayProgram ? out : err) << line << '\n';
        if (!checked.mayProgram)
            problems << QStringLiteral("the profile's prox settings do not pass the checks above");
    }
    if (!work.collectFolder.isEmpty())
        checkCollectFolder(work.collectFolder, problems);
    if (flash)
        readImage(parser.value(kFlash), work, problems);

    // Opened before any reader is contacted, so that a report that cannot be
    // written stops the run instead of being found out at its end.
    // Unbuffered, so that a row the disk has no room for is found out as it
    // is written, not lost in a buffer written out at the end.
    QSaveFile report(parser.value(kReport));
    if (parser.isSet(kReport) && (!report.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
                                  report.write(csvHeader(work)) < 0))
        problems << QStringLiteral("the report cannot be written to %1: %2")
                        .arg(report.fileName(), report.errorString());

    if (!problems.isEmpty()) {
        for (const QString& problem : problems)
            err << "Nothing was sent: " << problem << '\n';
        err.flush();
        return kUsageError;
    }

    const qsizetype total = readers.size();
    out << work.activity() << ' ' << total << " reader(s), " << std::min<qsizetype>(jobs, total)
        << " at a time" << Qt::endl;
    bool reportWritten = true;
    const int accomplished = runReaders(
        readers, work, jobs,
        [&](const Outcome& outcome, int done) {
            out << '[' << done << '/' << total << "] " << outcome.reader.address() << ' '
                << outcome.result << " (" << QString::number(outcome.seconds, 'f', 2) << " s)"
                << Qt::endl;
            if (report.isOpen()) {
                const QByteArray row = csvRow(outcome, work);
                reportWritten = reportWritten && report.write(row) == row.size();
            }
        },
        timing);
    out << accomplished << " of " << total << " reader(s) " << work.accomplished() << Qt::endl;

    int status = accomplished == total ? kAllDone : kSomeFailed;
    if (report.isOpen() && !(reportWritten && report.commit())) {
        err << "The report was not written to " << report.fileName() << ": " << writeProblem(report)
            << Qt::endl;
        status = kSomeFailed;
    }
    return status;
}

} // namespace batch
