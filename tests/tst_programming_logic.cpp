#include "app/DigitsForBits.h"
#include "program/ProgrammingCommands.h"
#include "program/ProxValidation.h"

#include <QTest>

namespace {

// The controls as the program starts.
GeneralValues startupGeneral()
{
    GeneralValues g;
    g.beepOnGoodRead = Qt::Checked;
    g.hid = Qt::Checked;
    g.farpointe = Qt::Checked;
    g.includeDateTime = Qt::Checked;
    g.lowPowerSetting = "15";
    g.sleepTime = "0";
    g.idLength = "20";
    return g;
}

ProxValues startupProx()
{
    ProxValues p;
    p.Text1.fill("00");
    p.Text1[3] = "26";
    p.Text1[1] = "02", p.Text1[4] = "08", p.Text1[6] = "03";
    p.Text1[0] = "10", p.Text1[5] = "16", p.Text1[7] = "05";
    p.Text2.fill("00");
    p.Text3.fill("000");
    return p;
}

// "Text1(4)=08, Text2(0)=" sets those boxes; a value may be empty or blank.
void applyEdits(ProxValues& prox, const QString& edits)
{
    for (const QString& edit : edits.split(", ", Qt::SkipEmptyParts)) {
        const qsizetype open = edit.indexOf('('), close = edit.indexOf(')');
        const QString box = edit.left(open);
        const int index = edit.mid(open + 1, close - open - 1).toInt();
        const QString value = edit.mid(close + 2);
        QString& target = box == "Text1"   ? prox.Text1[index]
                          : box == "Text2" ? prox.Text2[index]
                                           : prox.Text3[index];
        target = value;
    }
}

QString& generalText(GeneralValues& g, const QString& name)
{
    const QHash<QString, QString GeneralValues::*> boxes{
        {"lowPower", &GeneralValues::lowPowerSetting},
        {"sleep", &GeneralValues::sleepTime},
        {"idLength", &GeneralValues::idLength},
        {"readerId", &GeneralValues::readerId},
        {"description", &GeneralValues::readerDescription}};
    return g.*boxes.value(name);
}

Qt::CheckState& generalCheck(GeneralValues& g, const QString& name)
{
    const QHash<QString, Qt::CheckState GeneralValues::*> boxes{
        {"beep", &GeneralValues::beepOnGoodRead},
        {"masking", &GeneralValues::maskingOn},
        {"hid", &GeneralValues::hid},
        {"farpointe", &GeneralValues::farpointe},
        {"awid", &GeneralValues::awid},
        {"dateTime", &GeneralValues::includeDateTime},
        {"includeId", &GeneralValues::includeReaderId},
        {"includeDescription", &GeneralValues::includeReaderDescription}};
    return g.*boxes.value(name);
}

const std::array<std::int16_t, 66>& digitsTable()
{
    static const auto table = [] {
        std::array<std::int16_t, 66> t{};
        fillDigitsForBits(t);
        return t;
    }();
    return table;
}

} // namespace

class TestProgrammingLogic : public QObject
{
    Q_OBJECT

private slots:
    void startupCommands_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("timeoutText");

        QTest::newRow("V") << 1 << QByteArray("V") << "Error 000";
        QTest::newRow("X073") << 2 << QByteArray("X07310100") << "Error 073";
        QTest::newRow("X121") << 3 << QByteArray("X121110") << "Error 121";
        QTest::newRow("X122") << 4 << QByteArray("X122015000") << "Error 122";
        QTest::newRow("X074") << 5 << QByteArray("X074026002080010160") << "Error 074";
        QTest::newRow("X075") << 6 << QByteArray("X075000000030500") << "Error 075";
        QTest::newRow("X076") << 7 << QByteArray("X076000000000000000") << "Error 076";
        QTest::newRow("X077") << 8 << QByteArray("X077000000000000") << "Error 077";
        QTest::newRow("X078") << 9 << QByteArray("X078000000000000000") << "Error 078";
        QTest::newRow("X079") << 10 << QByteArray("X079000000000000") << "Error 079";
        QTest::newRow("X080") << 11 << QByteArray("X0800000000000") << "Error 080";
        QTest::newRow("X081") << 12 << QByteArray("X081000000000000000") << "Error 081";
        QTest::newRow("X082") << 13 << QByteArray("X0820000000000") << "Error 082";
        QTest::newRow("X083") << 14 << QByteArray("X083000000000000000") << "Error 083";
        QTest::newRow("X084") << 15 << QByteArray("X0840000000000") << "Error 084";
        QTest::newRow("X085") << 16 << QByteArray("X085000000000000000") << "Error 085";
        QTest::newRow("storage") << 17 << QByteArray("\\20100") << "Error \\ command";
        QTest::newRow("reader id") << 18 << QByteArray("g     ") << "Error g command";
        QTest::newRow("description") << 19 << QByteArray("h          ") << "Error h command";
    }

    void startupCommands()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, command);
        QFETCH(QString, timeoutText);
        QCOMPARE(buildStepCommand(step, startupGeneral(), startupProx()), command);
        QCOMPARE(stepTimeoutText(step), timeoutText);
    }

    void lengthIgnoresContents_data()
    {
        QTest::addColumn<QString>("boxText");
        QTest::newRow("every box empty") << "";
        QTest::newRow("every box one digit") << "7";
        QTest::newRow("every box longer than any field") << "123456789012";
    }

    void lengthIgnoresContents()
    {
        QFETCH(QString, boxText);
        GeneralValues g;
        for (QString* text :
             {&g.lowPowerSetting, &g.sleepTime, &g.idLength, &g.readerId, &g.readerDescription})
            *text = boxText;
        ProxValues p;
        p.Text1.fill(boxText);
        p.Text2.fill(boxText);
        p.Text3.fill(boxText);

        QList<qsizetype> lengths;
        for (int step = 1; step <= 19; ++step)
            lengths << buildStepCommand(step, g, p).size();
        QCOMPARE(lengths, (QList<qsizetype>{1, 9, 7, 10, 19, 16, 19, 16, 19, 16, 14, 19, 14, 19, 14,
                                            19, 6, 6, 11}));
    }

    void generalTexts_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("command");

        const auto row = [](const char* name, const char* box, const char* text, int step,
                            const char* command) {
            QTest::newRow(name) << QString(box) << QString(text) << step << QByteArray(command);
        };
        row("low power empty", "lowPower", "", 4, "X122000000");
        row("low power one digit", "lowPower", "7", 4, "X122007000");
        row("low power leading zero kept", "lowPower", "09", 4, "X122009000");
        row("low power too long", "lowPower", "1234", 4, "X122234000");
        row("sleep after low power", "sleep", "42", 4, "X122015042");
        row("id length empty", "idLength", "", 17, "\\00100");
        row("id length one digit", "idLength", "8", 17, "\\08100");
        row("id length too long", "idLength", "123", 17, "\\23100");
        row("reader id 42", "readerId", "42", 18, "g   42");
        row("reader id full", "readerId", "12345", 18, "g12345");
        row("reader id too long", "readerId", "1234567", 18, "g34567");
        row("description fills field", "description", "1234567890", 19, "h1234567890");
        row("description short", "description", "007", 19, "h       007");
        row("description too long", "description", "123456789012", 19, "h3456789012");
    }

    void generalTexts()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(int, step);
        QFETCH(QByteArray, command);
        GeneralValues g = startupGeneral();
        generalText(g, box) = text;
        QCOMPARE(buildStepCommand(step, g, startupProx()), command);
    }

    void generalChecks_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("command");

        const auto row = [](const char* name, const char* box, Qt::CheckState state, int step,
                            const char* command) {
            QTest::newRow(name) << QString(box) << int(state) << step << QByteArray(command);
        };
        row("masking on", "masking", Qt::Checked, 2, "X07311100");
        row("masking partial", "masking", Qt::PartiallyChecked, 2, "X07310100");
        row("beep off", "beep", Qt::Unchecked, 2, "X07310000");
        row("beep partial", "beep", Qt::PartiallyChecked, 2, "X07310000");
        row("farpointe off", "farpointe", Qt::Unchecked, 3, "X121010");
        row("hid partial", "hid", Qt::PartiallyChecked, 3, "X121100");
        row("awid on", "awid", Qt::Checked, 3, "X121111");
        row("date/time partial", "dateTime", Qt::PartiallyChecked, 17, "\\20000");
        row("include id", "includeId", Qt::Checked, 17, "\\20110");
        row("include description", "includeDescription", Qt::Checked, 17, "\\20101");
    }

    void generalChecks()
    {
        QFETCH(QString, box);
        QFETCH(int, state);
        QFETCH(int, step);
        QFETCH(QByteArray, command);
        GeneralValues g = startupGeneral();
        generalCheck(g, box) = Qt::CheckState(state);
        QCOMPARE(buildStepCommand(step, g, startupProx()), command);
    }

    void formatFields_data()
    {
        QTest::addColumn<int>("lsbCheck");
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("command");

        const auto row = [](const char* name, int lsbCheck, int step, const char* command) {
            QTest::newRow(name) << lsbCheck << step << QByteArray(command);
        };
        // Text1(i) holds 100 + i, so a Z3 field shows 1ii and a Z2 field shows ii.
        row("format 1 first half", 0, 5, "X074103101040100050");
        row("format 1 second half", 0, 6, "X075102080060709");
        row("format 2 first half", 0, 7, "X076116110120111130");
        row("format 2 second half", 0, 8, "X077114150171819");
        row("format 3 first half", 0, 9, "X078126120220121230");
        row("format 3 second half", 0, 10, "X079124250272829");
        row("Check1 site lsb 1", 1, 5, "X074103101041100050");
        row("Check2 id lsb 1", 2, 5, "X074103101040100051");
        row("Check3 issue lsb 1", 3, 6, "X075102081060709");
        row("Check14 site lsb 2", 14, 7, "X076116110121111130");
        row("Check15 id lsb 2", 15, 7, "X076116110120111131");
        row("Check16 issue lsb 2", 16, 8, "X077114151171819");
        row("Check22 site lsb 3", 22, 9, "X078126120221121230");
        row("Check23 id lsb 3", 23, 9, "X078126120220121231");
        row("Check24 issue lsb 3", 24, 10, "X079124251272829");
    }

    void formatFields()
    {
        QFETCH(int, lsbCheck);
        QFETCH(int, step);
        QFETCH(QByteArray, command);
        ProxValues p = startupProx();
        for (int i = 0; i < 30; ++i)
            p.Text1[i] = QString::number(100 + i);
        if (lsbCheck != 0)
            p.Check[lsbCheck] = Qt::Checked;
        QCOMPARE(buildStepCommand(step, startupGeneral(), p), command);
    }

    void maskEntries_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("command");

        // Entry i: Start 10 + i, Len/Value 200 + i.
        QTest::newRow("mask 1 rows 1-2") << 11 << QByteArray("X0801020011201");
        QTest::newRow("mask 1 rows 3-5") << 12 << QByteArray("X081122021320314204");
        QTest::newRow("mask 2 rows 1-2") << 13 << QByteArray("X0821520516206");
        QTest::newRow("mask 2 rows 3-5") << 14 << QByteArray("X083172071820819209");
        QTest::newRow("mask 3 rows 1-2") << 15 << QByteArray("X0842021021211");
        QTest::newRow("mask 3 rows 3-5") << 16 << QByteArray("X085222122321324214");
    }

    void maskEntries()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, command);
        ProxValues p = startupProx();
        for (int i = 0; i < 15; ++i) {
            p.Text2[i] = QString::number(10 + i);
            p.Text3[i] = QString::number(200 + i);
        }
        // The Const boxes only lock their Start box; they are never sent.
        for (int check : {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 18, 19, 20, 21})
            p.Check[check] = Qt::Checked;
        QCOMPARE(buildStepCommand(step, startupGeneral(), p), command);

        ProxValues constEntry = startupProx();
        constEntry.Text3[0] = "5";
        QCOMPARE(buildStepCommand(11, startupGeneral(), constEntry), QByteArray("X0800000500000"));
    }

    void stepsOutsideTheTable()
    {
        for (int step : {0, 20, -1}) {
            QVERIFY(buildStepCommand(step, startupGeneral(), startupProx()).isEmpty());
            QVERIFY(stepTimeoutText(step).isEmpty());
        }
    }

    void validation_data()
    {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("mayProgram");

        const auto row = [](const char* name, const char* edits, const QStringList& lines,
                            bool go) { QTest::newRow(name) << QString(edits) << lines << go; };
        const QStringList none;
        const QString emptyFormat = "Error - Empty field in wiegand/prox formatting";
        const QString emptyMask = "Error - Empty field in wiegand/prox masking";
        // "format 2 - id" names the field in the messages below.
        const auto start0 = [](const QString& field) {
            return QStringList{"Error - Wie/prox " + field +
                               " field has a length but specifies start of 0"};
        };
        const auto beyond = [](const QString& field) {
            return QStringList{"Error - Wie/prox " + field +
                               " field goes beyond end of bit stream"};
        };
        const auto tooFew = [](const QString& field) {
            return "Warning - Wie/prox " + field + " bit length may not fit in character size";
        };

        row("start-up values", "", none, true);
        row("format box empty", "Text1(29)=", {emptyFormat}, false);
        row("format box spaces", "Text1(0)=   ", {emptyFormat}, false);
        row("mask start empty", "Text2(14)=", {emptyMask}, false);
        row("mask value spaces", "Text3(0)= ", {emptyMask}, false);
        row("mask values unchecked", "Text2(0)=99, Text3(0)=999", none, true);
        row("empty format beats empty mask", "Text2(0)=, Text1(5)=", {emptyFormat}, false);
        row("empty mask beats position", "Text1(12)=08, Text2(3)=", {emptyMask}, false);

        row("f1 site start 0", "Text1(1)=0", start0("format 1 - site"), false);
        row("f1 id start 0", "Text1(0)=000", start0("format 1 - id"), false);
        row("f1 issue start 0", "Text1(8)=04", start0("format 1 - issue"), false);
        row("f1 site beyond", "Text1(1)=20", beyond("format 1 - site"), false);
        row("f1 id ends on last bit", "Text1(0)=11", none, true);
        row("f1 id beyond", "Text1(0)=12", beyond("format 1 - id"), false);
        row("f1 unused issue at end", "Text1(2)=27", none, true);
        row("f1 unused issue beyond", "Text1(2)=28", beyond("format 1 - issue"), false);
        row("f1 all zero",
            "Text1(0)=0, Text1(1)=0, Text1(2)=0, Text1(3)=0, Text1(4)=0, Text1(5)=0, Text1(6)=0, "
            "Text1(7)=0, Text1(8)=0, Text1(9)=0",
            none, true);
        row("f2 site start 0", "Text1(12)=08", start0("format 2 - site"), false);
        row("f2 id start 0", "Text1(13)=04", start0("format 2 - id"), false);
        row("f2 issue start 0", "Text1(15)=1", start0("format 2 - issue"), false);
        row("f2 site beyond", "Text1(16)=10, Text1(10)=5, Text1(12)=8", beyond("format 2 - site"),
            false);
        row("f2 id beyond", "Text1(16)=10, Text1(11)=3, Text1(13)=9", beyond("format 2 - id"),
            false);
        row("f2 issue beyond", "Text1(14)=2", beyond("format 2 - issue"), false);
        row("f3 site start 0", "Text1(22)=1", start0("format 3 - site"), false);
        row("f3 id start 0", "Text1(23)=16", start0("format 3 - id"), false);
        row("f3 issue start 0", "Text1(25)=02", start0("format 3 - issue"), false);
        row("f3 site beyond", "Text1(26)=26, Text1(20)=20, Text1(22)=8", beyond("format 3 - site"),
            false);
        row("f3 id beyond", "Text1(26)=30, Text1(21)=15, Text1(23)=17", beyond("format 3 - id"),
            false);
        row("f3 issue beyond", "Text1(24)=2", beyond("format 3 - issue"), false);

        row("start 0 before beyond", "Text1(1)=20, Text1(8)=04", start0("format 1 - issue"), false);
        row("site before id", "Text1(1)=0, Text1(0)=0", start0("format 1 - site"), false);
        row("format 1 before format 2", "Text1(1)=20, Text1(12)=08", beyond("format 1 - site"),
            false);
        row("error hides warnings", "Text1(7)=04, Text1(23)=1", start0("format 3 - id"), false);

        row("f1 site chars", "Text1(6)=02", {tooFew("format 1 - site")}, true);
        row("f1 id chars", "Text1(7)=04", {tooFew("format 1 - id")}, true);
        row("f1 issue chars", "Text1(2)=1, Text1(8)=4, Text1(9)=1", {tooFew("format 1 - issue")},
            true);
        // Site and Issue too short, ID just long enough: catches swapped Chars boxes.
        row("f2 chars",
            "Text1(16)=26, Text1(10)=1, Text1(12)=8, Text1(17)=2, Text1(11)=1, Text1(13)=16, "
            "Text1(18)=5, Text1(14)=1, Text1(15)=4, Text1(19)=1",
            {tooFew("format 2 - site"), tooFew("format 2 - issue")}, true);
        row("f3 chars",
            "Text1(26)=26, Text1(20)=1, Text1(22)=8, Text1(27)=2, Text1(21)=1, Text1(23)=16, "
            "Text1(28)=5, Text1(24)=1, Text1(25)=4, Text1(29)=1",
            {tooFew("format 3 - site"), tooFew("format 3 - issue")}, true);
        row("every warning in order",
            "Text1(6)=2, Text1(7)=4, Text1(2)=1, Text1(8)=4, Text1(16)=26, Text1(10)=1, "
            "Text1(12)=8, Text1(11)=1, Text1(13)=16, Text1(14)=1, Text1(15)=4, Text1(26)=26, "
            "Text1(20)=1, Text1(22)=8, Text1(21)=1, Text1(23)=16, Text1(24)=1, Text1(25)=4",
            {tooFew("format 1 - site"), tooFew("format 1 - id"), tooFew("format 1 - issue"),
             tooFew("format 2 - site"), tooFew("format 2 - id"), tooFew("format 2 - issue"),
             tooFew("format 3 - site"), tooFew("format 3 - id"), tooFew("format 3 - issue")},
            true);

        // Past the 64-bit table: 2^65-1, 2^70-1 and 2^99-1 have 20, 22 and 30 digits.
        row("length 65 short", "Text1(3)=200, Text1(2)=1, Text1(8)=65, Text1(9)=19",
            {tooFew("format 1 - issue")}, true);
        row("length 65 fits", "Text1(3)=200, Text1(2)=1, Text1(8)=65, Text1(9)=20", none, true);
        row("length 70 short", "Text1(3)=200, Text1(2)=1, Text1(8)=70, Text1(9)=21",
            {tooFew("format 1 - issue")}, true);
        row("length 70 fits", "Text1(3)=200, Text1(2)=1, Text1(8)=70, Text1(9)=22", none, true);
        row("length 99 short", "Text1(3)=200, Text1(2)=1, Text1(8)=99, Text1(9)=29",
            {tooFew("format 1 - issue")}, true);
        row("length 99 fits", "Text1(3)=200, Text1(2)=1, Text1(8)=99, Text1(9)=30", none, true);
    }

    void validation()
    {
        QFETCH(QString, edits);
        QFETCH(QStringList, lines);
        QFETCH(bool, mayProgram);
        ProxValues p = startupProx();
        applyEdits(p, edits);
        const ProxValidationResult result = validateProxSettings(p, digitsTable());
        QCOMPARE(result.lines, lines);
        QCOMPARE(result.mayProgram, mayProgram);
    }
};

QTEST_GUILESS_MAIN(TestProgrammingLogic)
#include "tst_programming_logic.moc"
