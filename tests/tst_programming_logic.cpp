// Command building and prox validation below the windows, for what a run through them
// does not reach: field widths, control mapping with distinct values, every message.
#include "DataRows.h"
#include "app/DigitsForBits.h"
#include "program/ProgrammingCommands.h"
#include "program/ProxValidation.h"

#include <QTest>

namespace {

// The prox window as the program starts.
ProxValues startupProx()
{
    ProxValues p;
    p.Text1.fill("00");
    p.Text2.fill("00");
    p.Text3.fill("000");
    const char* format1[] = {"10", "02", "00", "26", "08", "16", "03", "05"};
    for (int i = 0; i < 8; ++i)
        p.Text1[i] = format1[i];
    return p;
}

// "12=08,S3=,V0= " sets Text1(12), the mask Start box Text2(3) and the mask
// Len/Value box Text3(0); a value may be empty or blank.
void applyEdits(ProxValues& p, const QString& edits)
{
    for (const QString& edit : edits.split(',', Qt::SkipEmptyParts)) {
        const QString box = edit.left(edit.indexOf('='));
        const int i = box.mid(box[0].isDigit() ? 0 : 1).toInt();
        (box[0] == 'S'   ? p.Text2[i]
         : box[0] == 'V' ? p.Text3[i]
                         : p.Text1[i]) = edit.mid(box.size() + 1);
    }
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

QStringList validationLines(const ProxValues& p)
{
    std::array<std::int16_t, 66> digits{};
    fillDigitsForBits(digits);
    const ProxValidationResult result = validateProxSettings(p, digits);
    return result.mayProgram ? result.lines : result.lines + QStringList{"(stopped)"};
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
        QTest::addColumn<QStringList>("texts"); // Low Power, Sleep, ID Length, Reader ID, Desc.
        // One character per check box, in the order generalValues() sets them: '1' is checked.
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QByteArrayList>("commands"); // steps 2, 3, 4, 17, 18 and 19
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

    // One Lsb box at a time, with Text1(i) holding 100 + i so that a Z3 field shows 1ii
    // and a Z2 field ii: both commands of the box's format.
    void formatFields_data()
    {
        addColumns<int, int, QByteArrayList>({"lsbCheck", "step", "commands"});
        const auto row = [](int lsbCheck, int step, const char* first, const char* second) {
            QTest::addRow("Check%d", lsbCheck) << lsbCheck << step << QByteArrayList{first, second};
        };
        row(3, 5, "X074103101040100050", "X075102081060709");
        row(14, 7, "X076116110121111130", "X077114150171819");
        row(15, 7, "X076116110120111131", "X077114150171819");
        row(16, 7, "X076116110120111130", "X077114151171819");
        row(22, 9, "X078126120221121230", "X079124250272829");
        row(23, 9, "X078126120220121231", "X079124250272829");
        row(24, 9, "X078126120220121230", "X079124251272829");
    }
    void formatFields()
    {
        const auto [lsbCheck, step, commands] =
            fetch<int, int, QByteArrayList>("lsbCheck", "step", "commands");
        ProxValues p;
        for (int i = 0; i < 30; ++i)
            p.Text1[i] = QString::number(100 + i);
        p.Check[lsbCheck] = Qt::Checked;
        QCOMPARE((QByteArrayList{buildStepCommand(step, GeneralValues(), p),
                                 buildStepCommand(step + 1, GeneralValues(), p)}),
                 commands);
    }

    // Each mask's first two entries go in one command and its other three in the next.
    void maskEntries()
    {
        ProxValues p;
        for (int i = 0; i < 15; ++i) {
            p.Text2[i] = QString::number(10 + i);
            p.Text3[i] = QString::number(200 + i);
        }
        // The Const boxes only lock their Start box; they are never sent.
        for (int check : {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 18, 19, 20, 21})
            p.Check[check] = Qt::Checked;
        QList<QByteArray> commands;
        for (int step = 11; step <= 16; ++step)
            commands << buildStepCommand(step, GeneralValues(), p);
        QCOMPARE(commands, (QList<QByteArray>{"X0801020011201", "X081122021320314204",
                                              "X0821520516206", "X083172071820819209",
                                              "X0842021021211", "X085222122321324214"}));
    }

    // Every field's three messages, with its boxes named independently of the code.
    void fieldMessages_data()
    {
        QTest::addColumn<QList<int>>("boxes"); // Text1 indices: Total Bits, Start, Length, Chars
        QTest::newRow("1 site") << QList<int>{3, 1, 4, 6};
        QTest::newRow("1 id") << QList<int>{3, 0, 5, 7};
        QTest::newRow("1 issue") << QList<int>{3, 2, 8, 9};
        QTest::newRow("2 site") << QList<int>{16, 10, 12, 17};
        QTest::newRow("2 id") << QList<int>{16, 11, 13, 18};
        QTest::newRow("2 issue") << QList<int>{16, 14, 15, 19};
        QTest::newRow("3 site") << QList<int>{26, 20, 22, 27};
        QTest::newRow("3 id") << QList<int>{26, 21, 23, 28};
        QTest::newRow("3 issue") << QList<int>{26, 24, 25, 29};
    }
    void fieldMessages()
    {
        QFETCH(QList<int>, boxes);
        const int total = boxes[0], start = boxes[1], length = boxes[2], chars = boxes[3];
        const QString field = QTest::currentDataTag();
        ProxValues p = startupProx();
        p.Text1[total] = "40";
        p.Text1[length] = "5"; // 31 at most: two digits
        const auto lines = [&](const char* startText, const char* charsText) {
            p.Text1[start] = startText;
            p.Text1[chars] = charsText;
            return validationLines(p);
        };
        QCOMPARE(lines("0", "2"), expectedLines(field + " 0"));
        QCOMPARE(lines("36", "2"), QStringList()); // ends on the last bit
        QCOMPARE(lines("37", "2"), expectedLines(field + " >"));
        QCOMPARE(lines("36", "1"), expectedLines(field + " ~"));
    }

    void validation_data()
    {
        addColumns<QString, QString>({"edits", "codes"});
        const auto row = [](const char* name, const char* edits, const char* codes) {
            QTest::newRow(name) << QString(edits) << QString(codes);
        };
        row("start-up values", "", "");
        row("format box spaces", "0=   ", "fmt");
        row("mask start empty", "S14=", "mask");
        row("mask value spaces", "V0= ", "mask");
        row("empty format beats empty mask", "S0=,5=", "fmt");
        row("empty mask beats position", "12=08,S3=", "mask");
        row("start 0 beats beyond", "1=20,8=04", "1 issue 0");
        row("site before id", "1=0,0=0", "1 site 0");
        row("format 1 before format 2", "1=20,12=08", "1 site >");
        row("error hides warnings", "7=04,23=1", "3 id 0");
        row("warnings add up", "6=2,7=4", "1 site ~;1 id ~");
        // Past the 64-bit table: 2^65-1, 2^70-1 and 2^99-1 have 20, 22 and 30 digits.
        row("length 65 short", "3=200,2=1,8=65,9=19", "1 issue ~");
        row("length 65 fits", "3=200,2=1,8=65,9=20", "");
        row("length 70 short", "3=200,2=1,8=70,9=21", "1 issue ~");
        row("length 70 fits", "3=200,2=1,8=70,9=22", "");
        row("length 99 short", "3=200,2=1,8=99,9=29", "1 issue ~");
        row("length 99 fits", "3=200,2=1,8=99,9=30", "");
    }
    void validation()
    {
        const auto [edits, codes] = fetch<QString, QString>("edits", "codes");
        ProxValues p = startupProx();
        applyEdits(p, edits);
        QCOMPARE(validationLines(p), expectedLines(codes));
    }
};

QTEST_GUILESS_MAIN(TestProgrammingLogic)
#include "tst_programming_logic.moc"
