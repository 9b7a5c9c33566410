// The command line, and work on many readers from it, run as a user runs
// it: the program in a process of its own, the simulated readers in this one.
#include "Harness.h"
#include "LoaderWire.h"
#include "SimFirmware.h"
#include "SimUtilities.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// Every time limit of a run at a fiftieth: a reply time-out of 100 ms, a
// connect limit of 60 ms, the download's pause of 60 ms and waits of 200 ms.
// Under Wine on a loaded machine a reply may take longer than that: a fifth.
#ifdef Q_OS_WIN
const QString kScale = QStringLiteral("0.2");
#else
const QString kScale = QStringLiteral("0.02");
#endif

struct SimulatedReader
{
    sim::SimReader reader;
    sim::SimUtilities utilities{reader};
    sim::SimFirmware firmware{reader};
    sim::SimTcpServer server{reader};

    explicit SimulatedReader(const QHostAddress& address = QHostAddress::LocalHost)
    {
        server.listen(0, address);
        utilities.fillLog(3);
    }
    QString port() const { return QString::number(server.port()); }
    QString address() const { return "127.0.0.1:" + port(); }
};

struct Run
{
    int status = -1;
    QString out, err;
};

constexpr qint64 kNoLimit = -1;

// Runs the program to its end while this process serves its readers.
// onOutput hears all the program has printed so far, as it comes.
Run runUtility(const QStringList& arguments, [[maybe_unused]] qint64 fileSizeLimit = kNoLimit,
               const std::function<void(const QString& out)>& onOutput = {})
{
    QProcess utility;
#ifndef Q_OS_WIN
    // Its files grow no further than the limit, as on a full disk, and it
    // leaves no core file. Windows can do neither.
    utility.setChildProcessModifier([fileSizeLimit] {
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
        if (fileSizeLimit == kNoLimit)
            return;
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
#endif
    Run run;
    QByteArray out;
    // Lines as the program means them, whatever the system ends them with.
    const auto text = [](const QByteArray& bytes) {
        return QString::fromUtf8(bytes).replace(kTextLineEnd, QStringLiteral("\n"));
    };
    QEventLoop loop;
    QObject::connect(&utility, &QProcess::readyReadStandardOutput, &loop, [&] {
        out += utility.readAllStandardOutput();
        run.out = text(out);
        if (onOutput)
            onOutput(run.out);
    });
    QObject::connect(&utility, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    utility.start(QStringLiteral(KARVEL_UTILITY), arguments);
    if (utility.waitForStarted())
        loop.exec();
    // A connection the program made before it ended is taken in now.
    QCoreApplication::processEvents();
    if (utility.state() == QProcess::NotRunning && utility.exitStatus() == QProcess::NormalExit)
        run.status = utility.exitCode();
    utility.kill();
    utility.waitForFinished();
    run.out = text(out + utility.readAllStandardOutput());
    run.err = text(utility.readAllStandardError());
    return run;
}

// Whether text is the pattern, where %S stands for seconds (digits, a point,
// decimals), %K for a count, %N for a run's date and time (yyyyMMdd-HHmmss),
// %E for any text up to the line's end and %A for any lines.
bool matches(const QString& text, const QString& pattern)
{
    QString expression = QRegularExpression::escape(pattern);
    expression.replace(QStringLiteral("\\%S"), QStringLiteral(R"(\d+\.\d+)"))
        .replace(QStringLiteral("\\%K"), QStringLiteral(R"(\d+)"))
        .replace(QStringLiteral("\\%N"), QStringLiteral(R"(\d{8}-\d{6})"))
        .replace(QStringLiteral("\\%E"), QStringLiteral("[^\n]*"))
        .replace(QStringLiteral("\\%A"), QStringLiteral(R"([\s\S]*)"));
    return QRegularExpression(QRegularExpression::anchoredPattern(expression))
        .match(text)
        .hasMatch();
}

// How many lines of text are the pattern.
qsizetype linesMatching(const QString& text, const QString& pattern)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    return std::count_if(lines.begin(), lines.end(),
                         [&](const QString& line) { return matches(line, pattern); });
}

// The seconds a reader's console line says it took.
double secondsOf(const QString& out, const QString& address)
{
    const QRegularExpression line(QRegularExpression::escape(address) +
                                      QStringLiteral(R"( .* \((\d+\.\d+) s\)$)"),
                                  QRegularExpression::MultilineOption);
    return line.match(out).captured(1).toDouble();
}

// The set-time command on the wire, if it names a second of the run with
// its weekday, Monday 1 to Sunday 7; the time set, or nothing.
std::optional<QDateTime> timeSet(const QByteArray& wire, QDateTime from, const QDateTime& to)
{
    for (from = from.addMSecs(-from.time().msec()); from <= to; from = from.addSecs(1)) {
        const QByteArray command = '+' + from.toString(QStringLiteral("yyMMddHHmmss")).toLatin1() +
                                   QByteArray::number(from.date().dayOfWeek());
        if (wire.contains("\r\r" + command + '\r'))
            return from;
    }
    return std::nullopt;
}

// A listener whose queue of one is already taken and that never accepts: a
// further connection gets no answer at all. Windows refuses what its queue
// has no room for.
struct UnansweringListener
{
    QTcpServer server;
    QTcpSocket queued;
    quint16 port = 0; // none if the queue could not be filled

    UnansweringListener()
    {
        server.setListenBacklogSize(0);
        server.listen(QHostAddress::LocalHost);
        server.pauseAccepting();
        queued.connectToHost(QHostAddress::LocalHost, server.serverPort());
        port = queued.waitForConnected(5000) ? server.serverPort() : 0;
    }
};

// One reader of a run: its fault (none for one that does all it should), then
// its console line's result, its report row (%p its port, %C the time its
// clock was set to), every byte it got (%T the set-time command), the first
// records of its log in its file (-1: no file), the records it keeps.
struct ReaderCase
{
    std::function<void(SimulatedReader&)> fault;
    QString result;
    QString reportRow;
    QByteArray wire;
    int fileRecords = -1;
    int logLeft = 3;
    double atLeastSeconds = 0;
};
// One run: its work, the console's first and last words, the report's first
// line, how large its files may grow, and its readers, all at work at once.
struct WorkRow
{
    QStringList arguments;
    QString activity;
    QString accomplished;
    QString header;
    qint64 fileSizeLimit;
    QList<ReaderCase> readers;
};

// A usage error: nothing is sent and the program says why. %R is a reader
// that listens, %D the temporary folder, %P a good profile, %B one that
// fails the prox checks, %I a good image, %i one of 44 bytes.
struct UsageRow
{
    QStringList arguments;
    QString err; // a line the program writes to its standard error
};

} // namespace

Q_DECLARE_METATYPE(WorkRow)
Q_DECLARE_METATYPE(UsageRow)

class BatchTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_files;
    QString m_profile;
    QString m_refusedProfile;
    QString m_image;
    QString m_shortImage;

    // The text with %D the folder, %R the reader and the test case's files in place.
    QString expanded(QString text, const QTemporaryDir& folder, const QString& reader = {}) const
    {
        return text.replace(QLatin1String("%D"), folder.path())
            .replace(QLatin1String("%R"), reader)
            .replace(QLatin1String("%P"), m_profile)
            .replace(QLatin1String("%B"), m_refusedProfile)
            .replace(QLatin1String("%I"), m_image)
            .replace(QLatin1String("%i"), m_shortImage);
    }

private slots:
    void initTestCase()
    {
        m_profile = QFINDTESTDATA("data/start-values.json");
        m_refusedProfile = m_files.filePath(QStringLiteral("refused.json"));
        QVERIFY(writeFile(m_refusedProfile, fileBytes(m_profile).replace("\"Total Bits\": \"26\"",
                                                                         "\"Total Bits\": \"\"")));
        m_image = m_files.filePath(QStringLiteral("reader.bin"));
        QVERIFY(writeFile(m_image, imageOf(120)));
        m_shortImage = m_files.filePath(QStringLiteral("short.bin"));
        QVERIFY(writeFile(m_shortImage, imageOf(44)));
    }

    // Each run's readers work at once, a reader failing at each step: a run
    // waits no more than its slowest reader.
    void eachReaderStopsAtItsFirstFailure_data()
    {
        QTest::addColumn<WorkRow>("row");
        const QString v = QStringLiteral("KARVEL READER SIM V1.00");
        const auto silentOn = [](const char* prefix) {
            return [prefix](SimulatedReader& r) { r.reader.setSilentOn(prefix); };
        };
        const auto reply = [](const char* prefix, const char* text) {
            return [prefix, text](SimulatedReader& r) { r.reader.setReply(prefix, text); };
        };
        const QList<QByteArray> all = startUpCommands();
        const auto add = [](const char* name, const QStringList& arguments, const char* activity,
                            const char* accomplished, const char* header, qint64 fileSizeLimit,
                            const QList<ReaderCase>& readers) {
            QTest::newRow(name) << WorkRow{arguments, activity,      accomplished,
                                           header,    fileSizeLimit, readers};
        };
        add("program", {"--program", "%P"}, "Programming", "programmed",
            "address,port,version,result,seconds", kNoLimit,
            {{nullptr, "programmed", "127.0.0.1,%p," + v + ",programmed,%S", wire(all)}});
        add("identify and set the clock", {"--identify", "--set-time"},
            "Identifying and setting the clock of", "identified and clock set",
            "address,port,version,result,seconds,clock", kNoLimit,
            {{nullptr, "identified and clock set",
              "127.0.0.1,%p," + v + ",identified and clock set,%S,%C", "\r\rV\r\r\r%T\r"},
             {silentOn("V"), "no reply to V", "127.0.0.1,%p,,no reply to V,%S,", "\r\rV\r", -1, 3,
              0.1},
             {reply("V", "V"), "reader only echoes V", "127.0.0.1,%p,,reader only echoes V,%S,",
              "\r\rV\r"},
             {silentOn("+"), "no reply to set time",
              "127.0.0.1,%p," + v + ",no reply to set time,%S,", "\r\rV\r\r\r%T\r"},
             {reply("+", "OK"), "set time answered \"OK\"",
              "127.0.0.1,%p," + v + ",\"set time answered \"\"OK\"\"\",%S,", "\r\rV\r\r\r%T\r"}});
        add("program and set the clock", {"--set-time", "--program", "%P"},
            "Programming and setting the clock of", "programmed and clock set",
            "address,port,version,result,seconds,clock", kNoLimit,
            {{nullptr, "programmed and clock set",
              "127.0.0.1,%p," + v + ",programmed and clock set,%S,%C", wire(all) + "\r\r%T\r"},
             {silentOn("X080"), "no reply to step 11",
              "127.0.0.1,%p," + v + ",no reply to step 11,%S,", wire(all.mid(0, 11))},
             {reply("X075", "ERR"), "step 6 answered \"ERR\"",
              "127.0.0.1,%p," + v + ",\"step 6 answered \"\"ERR\"\"\",%S,", wire(all)}});
        const QString file = QStringLiteral(",%D/127.0.0.1_%p_%N-2.txt");
        const QByteArray upload = "\r\rlr\rl\rl\rl\r";
        add("collect", {"--collect", "%D"}, "Collecting the transactions of", "collected",
            "address,port,version,result,seconds,records,file", kNoLimit,
            {{nullptr, "collected", "127.0.0.1,%p,,collected,%S,3" + file, upload + "l\r", 3}});
        add("collect and clear", {"--collect", "%D", "--clear-after"},
            "Collecting and clearing the transactions of", "collected and cleared",
            "address,port,version,result,seconds,records,file", kNoLimit,
            {{nullptr, "collected and cleared", "127.0.0.1,%p,,collected and cleared,%S,3" + file,
              upload + "l\r\r\rlc\r", 3, 0},
             {silentOn("lr"), "no reply to upload", "127.0.0.1,%p,,no reply to upload,%S,,",
              "\r\rlr\r"},
             {reply("lr", "NO"), "upload answered \"NO\"",
              "127.0.0.1,%p,,\"upload answered \"\"NO\"\"\",%S,,", "\r\rlr\r"},
             {[](SimulatedReader& r) { r.utilities.setSilentOnRecordRequest(3); },
              "no reply during upload, file incomplete",
              "127.0.0.1,%p,,\"no reply during upload, file incomplete\",%S,2" + file, upload, 2},
             {[](SimulatedReader& r) { r.utilities.setDropOnRecordRequest(3); },
              "connection lost during upload, file incomplete",
              "127.0.0.1,%p,,\"connection lost during upload, file incomplete\",%S,2" + file,
              upload, 2},
             {silentOn("lc"), "no reply to clear", "127.0.0.1,%p,,no reply to clear,%S,3" + file,
              upload + "l\r\r\rlc\r", 3, 0}});
        const auto loader = [](auto change) {
            return [change](SimulatedReader& r) { change(r.firmware.faults()); };
        };
        // The image's download, and its first 7 bytes (attention and "B"), 59 (a block) and 87
        // (two).
        const QByteArray flash = loaderWire(imageOf(120), false, true,
                                            QDate::currentDate().toString("MMddyyyy").toLatin1());
        add("flash", {"--flash", "%I"}, "Flashing", "flashed",
            "address,port,version,result,seconds,image", kNoLimit,
            {{nullptr, "flashed", "127.0.0.1,%p,,flashed,%S,%I", flash},
             {loader([](sim::DownloadFaults& f) { f.readyReply = QByteArray(); }),
              "flash: no ready reply", "127.0.0.1,%p,,flash: no ready reply,%S,", flash.left(7), -1,
              3, 0.26},
             {loader([](sim::DownloadFaults& f) {
                  f.blockFault = sim::DownloadFaults::NoAck;
                  f.faultBlock = 2;
              }),
              "flash: block not acknowledged", "127.0.0.1,%p,,flash: block not acknowledged,%S,",
              flash.left(87), -1, 3, 0.26},
             {loader([](sim::DownloadFaults& f) { f.silentFinal = 0; }),
              "flash: end not acknowledged", "127.0.0.1,%p,,flash: end not acknowledged,%S,", flash,
              -1, 3, 0.26},
             {loader([](sim::DownloadFaults& f) {
                  f.blockFault = sim::DownloadFaults::DropLink;
                  f.faultBlock = 1;
              }),
              "connection lost during flash", "127.0.0.1,%p,,connection lost during flash,%S,",
              flash.left(59)}});
        // Two records fit; the third and the report do not.
        add("full disk", {"--collect", "%D", "--clear-after"},
            "Collecting and clearing the transactions of", "collected and cleared", "", 100,
            {{nullptr,
              "file could not be written, file incomplete: no room left on the disk",
              {},
              upload,
              2}});
    }
    void eachReaderStopsAtItsFirstFailure()
    {
        QFETCH(WorkRow, row);
#ifdef Q_OS_WIN
        if (row.fileSizeLimit != kNoLimit)
            QSKIP("Windows cannot cap a child's file size");
#endif
        QTemporaryDir folder;
        const QDateTime started = QDateTime::currentDateTime();
        std::vector<std::unique_ptr<SimulatedReader>> readers;
        QStringList arguments;
        for (const QString& argument : row.arguments)
            arguments << expanded(argument, folder);
        // Files of an earlier run at each second this run may start in: none may be replaced.
        QStringList earlier;
        for (const ReaderCase& c : row.readers) {
            readers.push_back(std::make_unique<SimulatedReader>());
            if (c.fault)
                c.fault(*readers.back());
            arguments << "--reader" << readers.back()->address();
            for (int second = -1; row.arguments.contains("--collect") && second <= 30; ++second) {
                earlier << folder.filePath("127.0.0.1_" + readers.back()->port() + '_' +
                                           started.addSecs(second).toString("yyyyMMdd-HHmmss") +
                                           ".txt");
                QVERIFY(writeFile(earlier.last(), "earlier\r\n"));
            }
        }
        const QString report = folder.filePath(QStringLiteral("report.csv"));
        arguments << "--report" << report << "--jobs" << QString::number(readers.size())
                  << "--time-scale" << kScale;
        const Run run = runUtility(arguments, row.fileSizeLimit);

        const qsizetype total = row.readers.size();
        const qsizetype done =
            std::ranges::count(row.readers, row.accomplished, &ReaderCase::result);
        // A disk too full for the records has no room for the report either.
        const bool full = row.fileSizeLimit != kNoLimit;
        QCOMPARE(run.err,
                 full ? "The report was not written to " + report + ": no room left on the disk\n"
                      : QString());
        QCOMPARE(run.status, done == total && !full ? 0 : 1);
        QVERIFY2(matches(run.out, QStringLiteral("%1 %2 reader(s), %2 at a time\n%A\n%3 of %2 "
                                                 "reader(s) %4\n")
                                      .arg(row.activity, QString::number(total),
                                           QString::number(done), row.accomplished)),
                 qPrintable(run.out));
        const QString rows = QString::fromUtf8(fileBytes(report));
        QVERIFY2(row.header.isEmpty() || rows.startsWith(row.header + '\n'), qPrintable(rows));
        for (int i = 0; i < total; ++i) {
            const ReaderCase& c = row.readers[i];
            SimulatedReader& reader = *readers[size_t(i)];
            const QByteArray got = reader.reader.received();
            const std::optional<QDateTime> clock =
                timeSet(got, started, QDateTime::currentDateTime());
            QByteArray wire = c.wire;
            if (clock)
                wire.replace("%T", '+' + clock->toString("yyMMddHHmmss").toLatin1() +
                                       QByteArray::number(clock->date().dayOfWeek()));
            QCOMPARE(got, wire);
            QCOMPARE(linesMatching(run.out, QStringLiteral("[%K/%1] ").arg(total) +
                                                reader.address() + ' ' + c.result + " (%S s)"),
                     1);
            QVERIFY2(secondsOf(run.out, reader.address()) >= c.atLeastSeconds, qPrintable(run.out));
            if (!full) {
                // The program names the file it wrote as the system writes paths.
                QString expectedRow =
                    expanded(QString(c.reportRow)
                                 .replace(QLatin1String("%D/"),
                                          QDir::toNativeSeparators(folder.path() + '/')),
                             folder)
                        .replace(QLatin1String("%p"), reader.port());
                if (clock)
                    expectedRow.replace(QLatin1String("%C"),
                                        clock->toString("yyyy-MM-dd HH:mm:ss"));
                QCOMPARE(linesMatching(rows, expectedRow), 1);
            }
            const QStringList files =
                QDir(folder.path())
                    .entryList({"127.0.0.1_" + reader.port() + "_*-2.txt"}, QDir::Files);
            QCOMPARE(files.size(), c.fileRecords < 0 ? 0 : 1);
            QList<QByteArray> kept;
            for (int record = 1; record <= c.fileRecords; ++record)
                kept << sim::SimUtilities::sampleRecord(record);
            if (c.fileRecords >= 0)
                QCOMPARE(fileBytes(folder.filePath(files.first())), crlfLines(kept));
            QCOMPARE(reader.utilities.log().size(), c.logLeft);
        }
        for (const QString& path : earlier)
            QCOMPARE(fileBytes(path), QByteArray("earlier\r\n"));
    }

    // A readers file as a site keeps it, read line by line; each reader
    // printed as it is reached, the report quoting what needs it.
    void aReadersFileNamesEachReaderOnce()
    {
        QTemporaryDir folder;
        SimulatedReader quoting;
        quoting.reader.state().firmwareVersion = "KARVEL \"X\", V2";
        SimulatedReader overIpv6(QHostAddress::LocalHostIPv6);
        UnansweringListener unanswering;
        QVERIFY(quoting.server.port() && overIpv6.server.port() && unanswering.port);
        const QString list = folder.filePath(QStringLiteral("readers.txt"));
        QVERIFY(writeFile(list, "# site A\n\n127.0.0.1:" + quoting.port().toLatin1() +
                                    "\n  [::1]:" + overIpv6.port().toLatin1() +
                                    "  \n127.0.0.1\n# spare\n127.0.0.1:" +
                                    QByteArray::number(unanswering.port) + "\n"));
        const QString report = folder.filePath(QStringLiteral("report.csv"));
        const Run run = runUtility({"--identify", "--readers", list, "--report", report, "--jobs",
                                    "4", "--time-scale", kScale});

        QCOMPARE(run.status, 1);
        const QString unanswered = "127.0.0.1:" + QString::number(unanswering.port);
        QVERIFY2(matches(run.out,
                         "Identifying 4 reader(s), 4 at a time\n%A\n2 of 4 reader(s) identified\n"),
                 qPrintable(run.out));
        for (const QString& line :
             {"127.0.0.1:" + quoting.port() + " identified",
              "[::1]:" + overIpv6.port() + " identified",
              QStringLiteral("127.0.0.1:57 no connection"), unanswered + " no connection"})
            QCOMPARE(linesMatching(run.out, "[%K/4] " + line + " (%S s)"), 1);
#ifndef Q_OS_WIN
        // The connect limit is the window's thirty sleeps of 100 ms.
        QVERIFY2(secondsOf(run.out, unanswered) >= 0.06, qPrintable(run.out));
#endif

        const QString rows = QString::fromUtf8(fileBytes(report));
        QVERIFY2(rows.startsWith("address,port,version,result,seconds\n"), qPrintable(rows));
        for (const QString& row :
             {"127.0.0.1," + quoting.port() + ",\"KARVEL \"\"X\"\", V2\",identified,%S",
              "::1," + overIpv6.port() + ",KARVEL READER SIM V1.00,identified,%S",
              QStringLiteral("127.0.0.1,57,,no connection,%S"),
              "127.0.0.1," + QString::number(unanswering.port) + ",,no connection,%S"})
            QCOMPARE(linesMatching(rows, row), 1);
    }

    // Two jobs, a reader silent on one command first in the list: the other
    // job programs all the rest while that reader waits for its reply; the
    // reader then drops the link, well within a reply time-out four times the
    // real one, which a loaded machine under Wine needs.
    void aSilentReaderDelaysNobody()
    {
        constexpr int kGood = 20;
        SimulatedReader silent;
        silent.reader.setSilentOn("X080");
        std::vector<std::unique_ptr<SimulatedReader>> good;
        QStringList arguments{"--program",    m_profile, "--jobs",   "2",
                              "--time-scale", "4",       "--reader", silent.address()};
        for (int i = 0; i < kGood; ++i) {
            good.push_back(std::make_unique<SimulatedReader>());
            arguments << "--reader" << good.back()->address();
        }
        const Run run = runUtility(arguments, kNoLimit, [&](const QString& out) {
            if (linesMatching(out, "[%K/21] 127.0.0.1:%K programmed (%S s)") == kGood)
                silent.server.dropClient();
        });

        QCOMPARE(run.status, 1);
        QCOMPARE(linesMatching(run.out, "[%K/21] 127.0.0.1:%K programmed (%S s)"), kGood);
        QCOMPARE(linesMatching(run.out,
                               "[21/21] 127.0.0.1:" + silent.port() + " connection lost (%S s)"),
                 1);
    }

    // A good --port value lets the program go on to open its window, which
    // here fails for want of a display it can find.
    void goodPortValueOpensTheWindow()
    {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        qputenv("QT_QPA_PLATFORM", "karvel-no-display");
        const Run run = runUtility({"--port", "3=/dev/ttyUSB0"});
        qputenv("QT_QPA_PLATFORM", platform);
        QVERIFY2(run.err.contains("platform plugin \"karvel-no-display\""), qPrintable(run.err));
        QVERIFY2(!run.err.contains("--port"), qPrintable(run.err));
        QCOMPARE(run.out, QString());
    }

    void helpTellsHowToPinAPort()
    {
        const Run run = runUtility({"--help"});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.simplified().contains(
                     "--port <N=DEVICE> Pin port option N (1 to 8) of the Communications window "
                     "to DEVICE: any serial device path, such as /dev/serial/by-id/usb-... or a "
                     "pseudo-terminal. Repeat it for more ports."),
                 qPrintable(run.out));
    }

    void usageErrorsContactNoReader_data()
    {
        QTest::addColumn<UsageRow>("row");
        const auto row = [](const char* name, const QStringList& arguments, const QString& err) {
            QTest::newRow(name) << UsageRow{arguments, err};
        };
        const QString nothing = QStringLiteral("Nothing was sent: ");
        const QString noWork = nothing + "no work given: use --identify, --program, --set-time, "
                                         "--collect or --flash";
        row("a reader and no work", {"--reader", "%R"}, noWork);
        row("a readers file and no work", {"--readers", "%D/readers.txt"}, noWork);
        row("no reader", {"--identify"}, nothing + "no reader given: use --reader or --readers");
        row("a bad reader", {"--identify", "--reader", "127.0.0.1:65536", "--reader", "%R"},
            nothing + "--reader \"127.0.0.1:65536\" is not HOST or HOST:PORT");
        row("a bad line in the readers file", {"--identify", "--readers", "%D/readers.txt"},
            nothing + "%D/readers.txt, line 3: \"127.0.0.1 57\" is not HOST or HOST:PORT");
        row("no jobs", {"--identify", "--jobs", "0", "--reader", "%R"},
            nothing + "--jobs \"0\" is not a number from 1 to 256");
        row("too many jobs", {"--identify", "--jobs", "257", "--reader", "%R"},
            nothing + "--jobs \"257\" is not a number from 1 to 256");
        row("a profile that is not there", {"--program", "%D/none.json", "--reader", "%R"},
            "  %D/none.json could not be read: %E");
        row("a profile that fails the checks", {"--program", "%B", "--reader", "%R"},
            nothing + "the profile's prox settings do not pass the checks above");
        row("clear without collect", {"--identify", "--clear-after", "--reader", "%R"},
            nothing + "--clear-after clears a log only after --collect has it on the disk: give "
                      "--collect DIR as well");
        row("flash with other work", {"--flash", "%I", "--set-time", "--reader", "%R"},
            nothing + "--flash goes alone: a reader restarts into its new firmware, so flash in a "
                      "run of its own");
        row("a folder that is not there", {"--collect", "%D/none", "--reader", "%R"},
            nothing + "the folder \"%D/none\" of --collect does not exist");
        row("a file for a folder", {"--collect", "%D/readers.txt", "--reader", "%R"},
            nothing + "\"%D/readers.txt\" of --collect is not a folder");
        row("a folder nobody may write to", {"--collect", "/proc", "--reader", "%R"},
            nothing + "the folder \"/proc\" of --collect cannot be written to: %E");
        row("an image that is not there", {"--flash", "%D/none.bin", "--reader", "%R"},
            nothing + "the image \"%D/none.bin\" cannot be read: %E");
        row("an image of its trailer alone", {"--flash", "%i", "--reader", "%R"},
            nothing + "the image \"%i\" has 44 bytes: an image holds more than its 44-byte "
                      "trailer");
        row("a report in a folder that is not there",
            {"--identify", "--report", "%D/none/report.csv", "--reader", "%R"},
            nothing + "the report cannot be written to %D/none/report.csv: %E");
        // Ports pinned for the window are refused before it opens.
        const QString giveBoth = "give a port number and a device, as in --port 3=/dev/ttyUSB0.";
        row("port 9", {"--port", "9=/dev/ttyUSB0"},
            "--port \"9=/dev/ttyUSB0\": the port number must be 1 to 8.");
        row("port 0", {"--port=0=/dev/ttyUSB0"},
            "--port \"0=/dev/ttyUSB0\": the port number must be 1 to 8.");
        row("port without a device", {"--port", "3="}, "--port \"3=\": no device after \"=\".");
        row("port without a number", {"--port", "/dev/ttyUSB0"},
            "--port \"/dev/ttyUSB0\": " + giveBoth);
        row("negative port", {"--port", "-1=/dev/ttyUSB0"},
            "--port \"-1=/dev/ttyUSB0\": " + giveBoth);
        row("port pinned twice", {"--port", "2=/dev/ttyUSB0", "--port", "2=/dev/ttyUSB1"},
            "--port \"2=/dev/ttyUSB1\": port 2 is already pinned to /dev/ttyUSB0.");
        row("port with work", {"--port", "2=/dev/ttyUSB0", "--identify", "--reader", "%R"},
            "--port pins a port of the window; the command line works over TCP/IP only.");
    }
    void usageErrorsContactNoReader()
    {
        QFETCH(UsageRow, row);
        QTemporaryDir folder;
        QVERIFY(writeFile(folder.filePath(QStringLiteral("readers.txt")),
                          "# readers\n127.0.0.1\n127.0.0.1 57\n"));
        SimulatedReader reader;
        int connections = 0;
        connect(&reader.server, &sim::SimTcpServer::clientConnected, [&] { ++connections; });
        QStringList arguments;
        for (const QString& argument : row.arguments)
            arguments << expanded(argument, folder, reader.address());
        const Run run = runUtility(arguments);

        QCOMPARE(run.status, 2);
        QCOMPARE(linesMatching(run.err, expanded(row.err, folder, reader.address())), 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(connections, 0);
    }
};

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"
