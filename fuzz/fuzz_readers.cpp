// Readers files and --reader addresses for batch programming: every line is
// either a reader or a reported error, a reader written back as an address
// reads the same again, and the CSV report gives back each address exactly.
// The same file on the command line, with a profile that fails the prox
// checks, is reported line by line and sends nothing.
#include "FuzzApp.h"

#include "batch/BatchCommandLine.h"
#include "batch/BatchRun.h"
#include "core/DigitsForBits.h"
#include "program/ProxValidation.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

// The report read as a spreadsheet would: quoted fields may hold commas,
// quotes (doubled) and line ends.
QList<QList<QByteArray>> readCsv(const QByteArray& csv)
{
    QList<QList<QByteArray>> rows;
    QList<QByteArray> row;
    QByteArray field;
    qsizetype i = 0;
    while (i < csv.size()) {
        if (csv[i] == '"' && field.isEmpty()) {
            ++i;
            for (;;) {
                FUZZ_CHECK(i < csv.size()); // a quoted field must be closed
                if (csv[i] == '"') {
                    if (i + 1 < csv.size() && csv[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += csv[i++];
            }
            FUZZ_CHECK(i == csv.size() || csv[i] == ',' || csv[i] == '\n');
            continue;
        }
        if (csv[i] == ',') {
            row << field;
            field.clear();
        } else if (csv[i] == '\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
        } else {
            FUZZ_CHECK(csv[i] != '"' && csv[i] != '\r'); // unquoted fields hold neither
            field += csv[i];
        }
        ++i;
    }
    FUZZ_CHECK(row.isEmpty() && field.isEmpty()); // the last row ends with its line end
    return rows;
}

void checkReader(const batch::Reader& reader)
{
    FUZZ_CHECK(!reader.host.isEmpty());
    FUZZ_CHECK(reader.port >= 1);
    const QString written =
        QLatin1Char('[') + reader.host + QStringLiteral("]:") + QString::number(reader.port);
    const std::optional<batch::Reader> again = batch::parseReader(written);
    FUZZ_CHECK(again && again->host == reader.host && again->port == reader.port);
}

QTemporaryDir* files = nullptr;

void checkCommandLine(const QByteArray& readersFile, const QStringList& lineErrors)
{
    const QString readersPath = files->filePath(QStringLiteral("readers.txt"));
    QFile list(readersPath);
    FUZZ_CHECK(list.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               list.write(readersFile) == readersFile.size());
    list.close();
    // The first line doubles as a --reader value, the second as --jobs.
    const QList<QByteArray> lines = readersFile.split('\n');
    QCommandLineParser parser;
    batch::addCommandLineOptions(parser);
    QStringList arguments{QStringLiteral("karvel-utility"),
                          QStringLiteral("--program"),
                          files->filePath(QStringLiteral("profile.json")),
                          QStringLiteral("--readers"),
                          readersPath,
                          QStringLiteral("--reader=") + QString::fromUtf8(lines.value(0))};
    if (lines.size() > 1)
        arguments << QStringLiteral("--jobs=") + QString::fromUtf8(lines[1]);
    FUZZ_CHECK(parser.parse(arguments));

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    FUZZ_CHECK(batch::runFromCommandLine(parser, outStream, errStream) == batch::kUsageError);
    outStream.flush();
    errStream.flush();
    FUZZ_CHECK(!out.contains(QStringLiteral("Programming")));
    FUZZ_CHECK(err.contains(QStringLiteral("Nothing was sent: the profile's prox settings do not "
                                           "pass the checks above\n")));
    for (const QString& error : lineErrors)
        FUZZ_CHECK(err.contains(QStringLiteral("Nothing was sent: ") + readersPath +
                                QStringLiteral(", ") + error + QLatin1Char('\n')));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzApplication();
    files = new QTemporaryDir;
    // Format 1's site field has a length and no start: the checks refuse the
    // profile, so no run can connect to whatever the fuzzed files name.
    Profile refused;
    refused.prox.formats[0].fields[0].length = QStringLiteral("08");
    std::array<std::int16_t, 66> digitsForBits{};
    fillDigitsForBits(digitsForBits);
    FUZZ_CHECK(!validateProxSettings(refused.prox, digitsForBits).mayProgram);
    FUZZ_CHECK(saveProfile(files->filePath(QStringLiteral("profile.json")), refused, nullptr));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList errors;
    const QList<batch::Reader> readers = batch::parseReaderList(text, &errors);

    qsizetype entries = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString entry = line.trimmed();
        if (entry.isEmpty() || entry.startsWith(QLatin1Char('#')))
            continue;
        ++entries;
        // A line of the file and the same text given as --reader agree.
        const std::optional<batch::Reader> single = batch::parseReader(entry);
        if (single)
            checkReader(*single);
    }
    FUZZ_CHECK(readers.size() + errors.size() == entries);
    for (const QString& error : errors)
        FUZZ_CHECK(error.startsWith(QStringLiteral("line ")));

    const batch::Work work;
    QByteArray report = batch::csvHeader(work);
    for (const batch::Reader& reader : readers) {
        checkReader(reader);
        batch::Outcome outcome;
        outcome.reader = reader;
        report += batch::csvRow(outcome, work);
    }
    const QList<QList<QByteArray>> rows = readCsv(report);
    FUZZ_CHECK(rows.size() == readers.size() + 1);
    for (qsizetype i = 0; i < readers.size(); ++i) {
        FUZZ_CHECK(rows[i + 1].size() == 5);
        FUZZ_CHECK(rows[i + 1][0] == readers[i].host.toUtf8());
        FUZZ_CHECK(rows[i + 1][1] == QByteArray::number(readers[i].port));
    }
    checkCommandLine(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), errors);
    return 0;
}
