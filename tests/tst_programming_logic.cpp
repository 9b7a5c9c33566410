// Command building and prox validation below the windows, for what a run through them
// does not reach: field widths, control mapping with distinct values, every message.
#include "DataRows.h"
#include "core/DigitsForBits.h"
#include "program/ProgrammingCommands.h"
#include "program/ProxValidation.h"

namespace {

// "2.site.length=08,1.total=,m1.4.start=,m3.1.value= " sets format 2's Site
// Length, format 1's Total Bits, and the Start and Len/Value boxes of mask 1
// row 4 and mask 3 row 1; a value may be empty or blank.
void applyEdits(ProxValues& p, const QString& edits)
{
    for (const QString& edit : edits.split(',', Qt::SkipEmptyParts)) {
        const QStringList box = edit.left(edit.indexOf('=')).split('.');
        const QString value = edit.mid(edit.indexOf('=') + 1);
        if (box[0].startsWith('m')) {
            ProxMaskRowValues& row = p.masks[box[0].mid(1).toInt() - 1][box[1].toInt() - 1];
            (box[2] == "start" ? row.start : row.value) = value;
            continue;
        }
        ProxFormatValues& format = p.formats[box[0].toInt() - 1];
        if (box[1] == "total") {
            format.totalBits = value;
            continue;
        }
        ProxFieldValues& f = format.fields[box[1] == "site" ? 0 : box[1] == "id" ? 1 : 2];
        (box[2] == "start" ? f.start : box[2] == "length" ? f.length : f.chars) = value;
    }
}

// The prox window as the program starts: format 1 is a 26-bit card, every
// other box "00", the Len/Value boxes "000".
ProxValues startupProx()
{
    ProxValues p;
    for (ProxFormatValues& format : p.formats) {
        format.totalBits = "00";
        for (ProxFieldValues& field : format.fields)
            field.start = field.length = field.chars = "00";
    }
    for (ProxMaskValues& mask : p.masks) {
        for (ProxMaskRowValues& row : mask) {
            row.start = "00";
            row.value = "000";
        }
    }
    applyEdits(p, "1.total=26,1.site.start=02,1.site.length=08,1.site.chars=03,1.id.start=10,"
                  "1.id.length=16,1.id.chars=05");
    return p;
}

// The expected progress lines, from codes separated by ';': "fmt" and "mask"
// are the empty-box errors; "2 id 0", "2 id >" and "2 id ~" are format 2's ID
// field starting at 0, going past the end, and not fitting its characters.
// After an error, "(stopped)" stands for nothing being sent.
QStringList expectedLines(const QString& codes)
{
    const QHash<QString, QString> kinds{
        {"fmt", "Error - Empty field in wiegand/prox formatting"},
        {"mask", "Error - Empty field in wiegand/prox masking"},
        {"0", "Error - Wie/prox format %1 field has a length but specifies start of 0"},
        {">", "Error - Wie/prox format %1 field goes beyond end of bit stream"},
        {"~", "Warning - Wie/prox format %1 bit length may not fit in character size"}};
    QStringList lines;
    for (const QString& code : codes.split(';', Qt::SkipEmptyParts))
        lines << kinds.value(code.section(' ', -1))
                     .replace("%1", code.section(' ', 0, 0) + " - " + code.section(' ', 1, 1));
    if (!lines.filter("Error").isEmpty())
        lines << "(stopped)";
    return lines;
}

} // namespace

class TestProgrammingLogic : public QObject
{
    Q_OBJECT

private slots:
    // Texts are right-aligned in their field, zero- or space-filled, and cut on the
    // left. Each check box has its own pattern over the rows, so a swapped flag shows.
    void generalValues_data()
    {
        // Low Power, Sleep, ID Length, Reader ID and Description; one character per
        // check box in the order generalValues() sets them, '1' checked; steps 2, 3,
        // 4, 17, 18 and 19.
        addColumns<QStringList, QString, QByteArrayList>({"texts", "checks", "commands"});
        QTest::newRow("cut") << QStringList{"1234", "7", "123", "1234567", "123456789012"}
                             << "10101011" << QByteArrayList{"X07310100", "X121011", "X122234007",
                                                             "\\23011",   "g34567",  "h3456789012"};
        QTest::newRow("padded") << QStringList{"09", "", "8", "4", "007"} << "01100110"
                                << QByteArrayList{"X07311000", "X121010", "X122009000",
                                                  "\\08110",   "g    4",  "h       007"};
        QTest::newRow("sleep only") << QStringList{"", "42", "", "", ""} << "00011110"
                                    << QByteArrayList{"X07310000", "X121101", "X122000042",
                                                      "\\00110",   "g     ",  "h          "};
    }
    void generalValues()
    {
        const auto [texts, checks, commands] =
            fetch<QStringList, QString, QByteArrayList>("texts", "checks", "commands");
        GeneralValues g;
        qsizetype t = 0, c = 0;
        for (QString* box :
             {&g.lowPowerSetting, &g.sleepTime, &g.idLength, &g.readerId, &g.readerDescription})
            *box = texts[t++];
        for (Qt::CheckState* flag :
             {&g.beepOnGoodRead, &g.maskingOn, &g.hid, &g.farpointe, &g.awid, &g.includeDateTime,
              &g.includeReaderId, &g.includeReaderDescription})
            *flag = checks[c++] == '1' ? Qt::Checked : Qt::Unchecked;
        QByteArrayList built;
        for (int step : {2, 3, 4, 17, 18, 19})
            built << buildStepCommand(step, g, ProxValues());
        QCOMPARE(built, commands);
    }

    // One Lsb box at a time, with every box of the format holding a distinct
    // number from 100 up, so that a Z3 field shows 1ii and a Z2 field ii: both
    // commands of the box's format.
    void formatFields_data()
    {
        addColumns<int, int, QByteArrayList>({"format", "field", "commands"});
        const auto row = [](int format, int field, const char* first, const char* second) {
            QTest::addRow("format %d %s", format, std::array{"site", "id", "issue"}[field])
                << format << field << QByteArrayList{first, second};
        };
        row(1, 2, "X074103101040100050", "X075102081060709");
        row(2, 0, "X076116110121111130", "X077114150171819");
        row(2, 1, "X076116110120111131", "X077114150171819");
        row(2, 2, "X076116110120111130", "X077114151171819");
        row(3, 0, "X078126120221121230", "X079124250272829");
        row(3, 1, "X078126120220121231", "X079124250272829");
        row(3, 2, "X078126120220121230", "X079124251272829");
    }
    void formatFields()
    {
        const auto [format, field, commands] =
            fetch<int, int, QByteArrayList>("format", "field", "commands");
        // Total Bits, then Start, Length and Chars of Site, ID and Issue.
        const int numbers[3][10] = {{103, 101, 104, 106, 100, 105, 107, 102, 108, 109},
                                    {116, 110, 112, 117, 111, 113, 118, 114, 115, 119},
                                    {126, 120, 122, 127, 121, 123, 128, 124, 125, 129}};
        ProxValues p;
        for (int f = 0; f < 3; ++f) {
            ProxFormatValues& values = p.formats[f];
            values.totalBits = QString::number(numbers[f][0]);
            for (int k = 0; k < 3; ++k)
                values.fields[k] = {QString::number(numbers[f][1 + 3 * k]),
                                    QString::number(numbers[f][2 + 3 * k]),
                                    QString::number(numbers[f][3 + 3 * k])};
        }
        p.formats[format - 1].fields[field].lsb = Qt::Checked;
        // Each format's two commands are steps 5 and 6, 7 and 8, or 9 and 10.
        QCOMPARE((QByteArrayList{buildStepCommand(3 + 2 * format, GeneralValues(), p),
                                 buildStepCommand(4 + 2 * format, GeneralValues(), p)}),
                 commands);
    }

    // Each mask's first two rows go in one command and its other three in the next.
    void maskEntries()
    {
        ProxValues p;
        for (int m = 0; m < 3; ++m) {
            for (int r = 0; r < 5; ++r) {
                ProxMaskRowValues& row = p.masks[m][r];
                row.start = QString::number(10 + 5 * m + r);
                row.value = QString::number(200 + 5 * m + r);
                // The Const boxes only lock their Start box; they are never sent.
                row.constant = Qt::Checked;
            }
        }
        QList<QByteArray> commands;
        for (int step = 11; step <= 16; ++step)
            commands << buildStepCommand(step, GeneralValues(), p);
        QCOMPARE(commands, (QList<QByteArray>{"X0801020011201", "X081122021320314204",
                                              "X0821520516206", "X083172071820819209",
                                              "X0842021021211", "X085222122321324214"}));
    }

    void validation_data()
    {
        addColumns<QString, QString>({"edits", "codes"});
        const auto row = [](const char* name, const char* edits, const char* codes) {
            QTest::newRow(name) << QString(edits) << QString(codes);
        };
        row("start-up values", "", "");
        row("format box spaces", "1.id.start=   ", "fmt");
        row("mask start empty", "m3.5.start=", "mask");
        row("mask value spaces", "m1.1.value= ", "mask");
        row("empty format beats empty mask", "m1.1.start=,1.id.length=", "fmt");
        row("empty mask beats position", "2.site.length=08,m1.4.start=", "mask");
        row("start 0 beats beyond", "1.site.start=20,1.issue.length=04", "1 issue 0");
        row("site before id", "1.site.start=0,1.id.start=0", "1 site 0");
        row("format 1 before format 2", "1.site.start=20,2.site.length=08", "1 site >");
        row("error hides warnings", "1.id.chars=04,3.id.length=1", "3 id 0");
        row("warnings add up", "1.site.chars=2,1.id.chars=4", "1 site ~;1 id ~");
        // Past the 64-bit table: 2^65-1, 2^70-1 and 2^99-1 have 20, 22 and 30 digits.
        for (const auto& [length, digits] : {std::pair{65, 20}, {70, 22}, {99, 30}}) {
            const auto issue = [length](int chars) {
                return QStringLiteral(
                           "1.total=200,1.issue.start=1,1.issue.length=%1,1.issue.chars=%2")
                    .arg(length)
                    .arg(chars);
            };
            QTest::addRow("length %d short", length) << issue(digits - 1) << "1 issue ~";
            QTest::addRow("length %d fits", length) << issue(digits) << "";
        }
        // Every field's three messages: 5 bits from bit 36 of 40 end on the last bit.
        for (int format = 1; format <= 3; ++format) {
            for (const char* name : {"site", "id", "issue"}) {
                const QString code = QStringLiteral("%1 %2 ").arg(format).arg(name);
                const auto field = [&](const char* start, const char* chars, const char* kind) {
                    QTest::addRow("%d %s at %s in %s", format, name, start, chars)
                        << QStringLiteral(
                               "%1.total=40,%1.%2.length=5,%1.%2.start=%3,%1.%2.chars=%4")
                               .arg(format)
                               .arg(name, start, chars)
                        << (*kind ? code + kind : QString());
                };
                field("0", "2", "0");
                field("36", "2", "");
                field("37", "2", ">");
                field("36", "1", "~");
            }
        }
    }
    void validation()
    {
        const auto [edits, codes] = fetch<QString, QString>("edits", "codes");
        ProxValues p = startupProx();
        applyEdits(p, edits);
        std::array<std::int16_t, 66> digits{};
        fillDigitsForBits(digits);
        const ProxValidationResult result = validateProxSettings(p, digits);
        QCOMPARE(result.mayProgram ? result.lines : result.lines + QStringList{"(stopped)"},
                 expectedLines(codes));
    }
};

QTEST_GUILESS_MAIN(TestProgrammingLogic)
#include "tst_programming_logic.moc"
