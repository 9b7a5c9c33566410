// Standard card layouts chosen in Prox Setup, and the card check that reads
// a card's raw bits against the three formats: decoding and parity directly,
// the rest through the window.
#include "Harness.h"

#include "app/commandmenu.h"
#include "app/stamain.h"
#include "config/CardFormats.h"
#include "config/wiegand.h"
#include "program/BatchCommandLine.h"
#include "program/pgmform.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWheelEvent>

namespace {

// Where each format's values live: Text1 indices and Lsb check numbers.
struct FormatBoxes
{
    int total;
    int site[3]; // Start, Length, Chars
    int id[3];
    int issue[3];
    int lsb[3]; // Site, ID, Issue
};
const FormatBoxes kFormats[3] = {
    {3, {1, 4, 6}, {0, 5, 7}, {2, 8, 9}, {1, 2, 3}},
    {16, {10, 12, 17}, {11, 13, 18}, {14, 15, 19}, {14, 15, 16}},
    {26, {20, 22, 27}, {21, 23, 28}, {24, 25, 29}, {22, 23, 24}},
};

QList<QByteArray> startUpCommands()
{
    return {"V",
            "X07310100",
            "X121110",
            "X122015000",
            "X074026002080010160",
            "X075000000030500",
            "X076000000000000000",
            "X077000000000000",
            "X078000000000000000",
            "X079000000000000",
            "X0800000000000",
            "X081000000000000000",
            "X0820000000000",
            "X083000000000000000",
            "X0840000000000",
            "X085000000000000000",
            "\\20100",
            "g     ",
            "h          "};
}

QByteArray wire(const QList<QByteArray>& commands)
{
    QByteArray bytes = "\r\r";
    for (const QByteArray& command : commands)
        bytes += command + '\r';
    return bytes;
}

void chooseLayout(wiegand& prox, int format, const QString& name)
{
    QComboBox* choice = prox.layoutChoice[format];
    const int index = choice->findText(name);
    QVERIFY2(index >= 0, qPrintable(name));
    choice->setCurrentIndex(index);
    emit choice->activated(index);
}

void enterCard(wiegand& prox, const QString& kind, const QString& data, const QString& count)
{
    prox.cardDataKind->setCurrentIndex(prox.cardDataKind->findText(kind));
    prox.cardData->setText(data);
    prox.cardBitCount->setText(count);
}

void program(Harness& h)
{
    h.dialogs.yesNoAnswers << true;
    Harness::click(h.menu().Label10);
}

QStringList paneOf(Harness& h)
{
    return Harness::paneLines(h.programming().Picture1->toPlainText());
}

QAction* menuAction(Harness& h, const QString& text)
{
    for (QAction* action : h.main().findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class CardFormatsTest : public QObject
{
    Q_OBJECT

private slots:
    // A layout fills every box of the format as typed start values do
    // (Chars just large enough, so no warning), clears Lsb and the unused
    // fields, and programs exactly those boxes in all three formats.
    void layoutFillsTheBoxesAndProgramsThem_data()
    {
        QTest::addColumn<QString>("layout");
        // Total Bits; Site Start, Length, Chars; ID Start, Length, Chars.
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QByteArray>("firstHalf");  // after X074, X076, X078
        QTest::addColumn<QByteArray>("secondHalf"); // after X075, X077, X079
        QTest::newRow("26-bit") << "26-bit" << QStringList{"26", "02", "08", "03", "10", "16", "05"}
                                << QByteArray("026002080010160") << QByteArray("000000030500");
        QTest::newRow("34-bit") << "34-bit" << QStringList{"34", "02", "16", "05", "18", "16", "05"}
                                << QByteArray("034002160018160") << QByteArray("000000050500");
        QTest::newRow("35-bit corporate")
            << "35-bit corporate" << QStringList{"35", "03", "12", "04", "15", "20", "07"}
            << QByteArray("035003120015200") << QByteArray("000000040700");
        QTest::newRow("37-bit with site code")
            << "37-bit with site code" << QStringList{"37", "02", "16", "05", "18", "19", "06"}
            << QByteArray("037002160018190") << QByteArray("000000050600");
        QTest::newRow("37-bit ID only")
            << "37-bit ID only" << QStringList{"37", "00", "00", "00", "02", "35", "11"}
            << QByteArray("037000000002350") << QByteArray("000000001100");
        QTest::newRow("48-bit corporate")
            << "48-bit corporate" << QStringList{"48", "03", "22", "07", "25", "23", "07"}
            << QByteArray("048003220025230") << QByteArray("000000070700");
        QTest::newRow("Not used") << "Not used"
                                  << QStringList{"00", "00", "00", "00", "00", "00", "00"}
                                  << QByteArray("000000000000000") << QByteArray("000000000000");
    }
    void layoutFillsTheBoxesAndProgramsThem()
    {
        QFETCH(QString, layout);
        QFETCH(QStringList, boxes);
        QFETCH(QByteArray, firstHalf);
        QFETCH(QByteArray, secondHalf);
        Harness h;
        wiegand& prox = h.main().proxSetup();
        for (int format = 0; format < 3; ++format) {
            const FormatBoxes& f = kFormats[format];
            // What a user left there before: Lsb flags and an Issue field.
            for (int lsb : f.lsb)
                prox.check(lsb)->setChecked(true);
            prox.Text1[f.issue[0]]->setText(QStringLiteral("5"));
            prox.Text1[f.issue[1]]->setText(QStringLiteral("3"));
            prox.Text1[f.issue[2]]->setText(QStringLiteral("9"));
            chooseLayout(prox, format, layout);

            const QStringList shown{prox.Text1[f.total]->text(),   prox.Text1[f.site[0]]->text(),
                                    prox.Text1[f.site[1]]->text(), prox.Text1[f.site[2]]->text(),
                                    prox.Text1[f.id[0]]->text(),   prox.Text1[f.id[1]]->text(),
                                    prox.Text1[f.id[2]]->text()};
            QCOMPARE(shown, boxes);
            for (int i : f.issue)
                QCOMPARE(prox.Text1[i]->text(), QStringLiteral("00"));
            for (int lsb : f.lsb)
                QCOMPARE(prox.check(lsb)->checkState(), Qt::Unchecked);
            QCOMPARE(prox.layoutChoice[format]->currentText(), layout);
        }

        QVERIFY(h.connectTcp());
        program(h);
        const QStringList pane = paneOf(h);
        QCOMPARE(pane.mid(0, 2), (QStringList{"Checking Parameters", "Starting Communications"}));
        QCOMPARE(pane.constLast(), QStringLiteral("Programming Complete"));
        QList<QByteArray> expected = startUpCommands();
        for (int format = 0; format < 3; ++format) {
            expected[4 + 2 * format] = "X07" + QByteArray::number(4 + 2 * format) + firstHalf;
            expected[5 + 2 * format] = "X07" + QByteArray::number(5 + 2 * format) + secondHalf;
        }
        QCOMPARE(h.reader.received(), wire(expected));
    }

    // Known cards of each layout, put in format 1, given as bits and as hex.
    void knownCardsDecode_data()
    {
        // Total Bits, Site Start and Length, ID Start and Length.
        QTest::addColumn<QList<int>>("layout");
        QTest::addColumn<QString>("bits");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("line");
        QTest::newRow("26-bit 123:4567")
            << QList<int>{26, 2, 8, 10, 16}
            << "1"
               "01111011"
               "0001000111010111"
               "0"
            << "2F623AE"
            << "Site 123, ID 4567, Issue not used; 26-bit parity holds.";
        QTest::newRow("26-bit, bit 5 flipped")
            << QList<int>{26, 2, 8, 10, 16}
            << "1"
               "01101011"
               "0001000111010111"
               "0"
            << "2D623AE"
            << "Site 107, ID 4567, Issue not used; 26-bit parity fails at bit 1.";
        QTest::newRow("34-bit 1234:56789")
            << QList<int>{34, 2, 16, 18, 16}
            << "1"
               "0000010011010010"
               "1101110111010101"
               "0"
            << "209A5BBAA"
            << "Site 1234, ID 56789, Issue not used; 34-bit parity holds.";
        QTest::newRow("35-bit corporate 1234:567890")
            << QList<int>{35, 3, 12, 15, 20}
            << "1"
               "1"
               "010011010010"
               "10001010101001010010"
               "0"
            << "69A5154A4"
            << "Site 1234, ID 567890, Issue not used; 35-bit corporate parity holds.";
        QTest::newRow("35-bit corporate, bit 1 flipped")
            << QList<int>{35, 3, 12, 15, 20}
            << "0"
               "1"
               "010011010010"
               "10001010101001010010"
               "0"
            << "29A5154A4"
            << "Site 1234, ID 567890, Issue not used; 35-bit corporate parity fails at bit 1.";
        // Bit 3 is guarded by all three parity bits.
        QTest::newRow("35-bit corporate, bit 3 flipped")
            << QList<int>{35, 3, 12, 15, 20}
            << "1"
               "1"
               "110011010010"
               "10001010101001010010"
               "0"
            << "79A5154A4"
            << "Site 3282, ID 567890, Issue not used; 35-bit corporate parity fails at bits 1, "
               "2, 35.";
        QTest::newRow("37-bit with site code 4321:300000")
            << QList<int>{37, 2, 16, 18, 19}
            << "0"
               "0001000011100001"
               "1001001001111100000"
               "0"
            << "010E1927C0"
            << "Site 4321, ID 300000, Issue not used; 37-bit with site code parity holds.";
        // Bit 19 is guarded by both parity bits.
        QTest::newRow("37-bit with site code, bit 19 flipped")
            << QList<int>{37, 2, 16, 18, 19}
            << "0"
               "0001000011100001"
               "1101001001111100000"
               "0"
            << "010E1D27C0"
            << "Site 4321, ID 431072, Issue not used; 37-bit with site code parity fails at bits "
               "1, 37.";
        QTest::newRow("37-bit ID only 12345678901")
            << QList<int>{37, 0, 0, 2, 35}
            << "1"
               "01011011111110111000001110000110101"
               "0"
            << "15BFB8386A"
            << "Site not used, ID 12345678901, Issue not used; 37-bit ID only parity holds.";
        QTest::newRow("48-bit corporate 3000000:7000000")
            << QList<int>{48, 3, 22, 25, 23}
            << "1"
               "1"
               "1011011100011011000000"
               "11010101100111111000000"
               "1"
            << "EDC6C0D59F81"
            << "Site 3000000, ID 7000000, Issue not used; 48-bit corporate parity holds.";
        QTest::newRow("48-bit corporate, bit 48 flipped")
            << QList<int>{48, 3, 22, 25, 23}
            << "1"
               "1"
               "1011011100011011000000"
               "11010101100111111000000"
               "0"
            << "EDC6C0D59F80"
            << "Site 3000000, ID 7000000, Issue not used; 48-bit corporate parity fails at bits "
               "1, 48.";
    }
    void knownCardsDecode()
    {
        QFETCH(QList<int>, layout);
        QFETCH(QString, bits);
        QFETCH(QString, hex);
        QFETCH(QString, line);
        using namespace cardformats;
        const FormatLayout format{layout[0],
                                  {{{layout[1], layout[2]}, {layout[3], layout[4]}, {}}}};
        const int count = static_cast<int>(bits.size());

        const Card fromBits = readCard(bits, CardDataKind::Bits, QString());
        QCOMPARE(fromBits.bits, bits);
        QCOMPARE(describeCard(fromBits),
                 QStringLiteral("%1 bits, hex %2: %3").arg(count).arg(hex, bits));
        const Card fromHex = readCard(hex.toLower(), CardDataKind::Hex, QString::number(count));
        QCOMPARE(fromHex.bits, bits);
        QCOMPARE(describeFormat(readFormat(bits, format), format, count), line);

        const FormatLayout unused{};
        QCOMPARE(describeFormat(readFormat(bits, unused), unused, count),
                 QStringLiteral("Total Bits 0 does not match the card's %1 bits.").arg(count));
    }

    // Read against the 26-bit layout.
    void cardInput_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("formatOne");
        const QString card1 = "10000000100000000000000010";
        const QString read1 = "Site 1, ID 1, Issue not used; 26-bit parity holds.";
        QTest::newRow("hex, leading zeros left out") << "Hex"
                                                     << "2020002"
                                                     << "26"
                                                     << "26 bits, hex 2020002: " + card1 << read1;
        QTest::newRow("hex with 0x and blanks") << "Hex"
                                                << " 0x0202 0002 "
                                                << "26"
                                                << "26 bits, hex 2020002: " + card1 << read1;
        QTest::newRow("bits with their count") << "Bits" << card1 << "26"
                                               << "26 bits, hex 2020002: " + card1 << read1;
        QTest::newRow("card longer than the format")
            << "Hex"
            << "2020002"
            << "34"
            << "34 bits, hex 002020002: 00000000" + card1
            << "Total Bits 26 does not match the card's 34 bits.";
        QTest::newRow("hex beyond the bit count") << "Hex"
                                                  << "6020002"
                                                  << "26"
                                                  << "The hex data holds more than 26 bits."
                                                  << "";
        QTest::newRow("not hex") << "Hex"
                                 << "20G0002"
                                 << "26"
                                 << "Hex data holds only 0 to 9 and A to F."
                                 << "";
        QTest::newRow("hex without a count") << "Hex"
                                             << "2020002"
                                             << ""
                                             << "Enter the card's bit count."
                                             << "";
        QTest::newRow("zero bits") << "Hex"
                                   << "2020002"
                                   << "0"
                                   << "A card has 1 to 999 bits."
                                   << "";
        QTest::newRow("bit string shorter than its count") << "Bits" << card1.left(25) << "26"
                                                           << "The bit string has 25 bits, not 26."
                                                           << "";
        QTest::newRow("not bits") << "Bits"
                                  << "1021"
                                  << ""
                                  << "A bit string holds only 0 and 1."
                                  << "";
        QTest::newRow("nothing entered") << "Hex"
                                         << ""
                                         << "26"
                                         << "Enter a card's data to check it against the formats."
                                         << "";
    }
    void cardInput()
    {
        QFETCH(QString, kind);
        QFETCH(QString, data);
        QFETCH(QString, count);
        QFETCH(QString, summary);
        QFETCH(QString, formatOne);
        using namespace cardformats;
        const FormatLayout layout{26, {{{2, 8}, {10, 16}, {}}}};
        const Card card = readCard(
            data, kind == QLatin1String("Bits") ? CardDataKind::Bits : CardDataKind::Hex, count);
        QCOMPARE(describeCard(card), summary);
        QCOMPARE(describeFormat(readFormat(card.bits, layout), layout,
                                static_cast<int>(card.bits.size())),
                 formatOne);
    }

    // An Lsb flag reads its field least significant bit first; a standard
    // layout with one set is no longer that layout, so its parity is not judged.
    void lsbFlagsReverseTheirField()
    {
        Harness h;
        wiegand& prox = h.main().proxSetup();
        const FormatBoxes& two = kFormats[1];
        const std::pair<int, const char*> boxes[] = {
            {two.total, "8"}, {two.site[0], "1"},  {two.site[1], "4"}, {two.id[0], "5"},
            {two.id[1], "2"}, {two.issue[0], "7"}, {two.issue[1], "2"}};
        for (const auto& [index, text] : boxes)
            prox.Text1[index]->setText(QString::fromLatin1(text));
        enterCard(prox, QStringLiteral("Bits"), QStringLiteral("10000001"), QString());
        QCOMPARE(prox.layoutChoice[1]->currentIndex(), -1);
        QCOMPARE(prox.cardResults[1]->text(),
                 QStringLiteral("Site 8, ID 0, Issue 1; custom layout, parity not checked."));
        prox.check(two.lsb[0])->setChecked(true);
        prox.check(two.lsb[2])->setChecked(true);
        QCOMPARE(prox.cardResults[1]->text(),
                 QStringLiteral("Site 1, ID 0, Issue 2; custom layout, parity not checked."));

        enterCard(prox, QStringLiteral("Hex"), QStringLiteral("2020002"), QStringLiteral("26"));
        QCOMPARE(prox.layoutChoice[0]->currentText(), QStringLiteral("26-bit"));
        prox.check(kFormats[0].lsb[0])->setChecked(true);
        QCOMPARE(prox.layoutChoice[0]->currentIndex(), -1);
        QCOMPARE(prox.cardResults[0]->text(),
                 QStringLiteral("Site 128, ID 1, Issue not used; custom layout, parity not "
                                "checked."));
    }

    // A profile keeps box values: saved after choosing layouts, it programs
    // the same bytes from --program as the window did, and brings the
    // layouts back when opened.
    void profileFromLayoutsProgramsAlike()
    {
        QTemporaryDir folder;
        const QString profilePath = folder.filePath(QStringLiteral("site.json"));
        Harness h;
        wiegand& prox = h.main().proxSetup();
        chooseLayout(prox, 1, QStringLiteral("35-bit corporate"));
        chooseLayout(prox, 2, QStringLiteral("48-bit corporate"));
        h.dialogs.saveFileAnswers << profilePath;
        QAction* save = menuAction(h, QStringLiteral("Save Settings As..."));
        QVERIFY(save);
        save->trigger();
        QVERIFY(QFile::exists(profilePath));

        QVERIFY(h.connectTcp());
        program(h);
        QList<QByteArray> expected = startUpCommands();
        expected[6] = "X076035003120015200";
        expected[7] = "X077000000040700";
        expected[8] = "X078048003220025230";
        expected[9] = "X079000000070700";
        QCOMPARE(h.reader.received(), wire(expected));

        sim::SimReader batchReader;
        sim::SimTcpServer batchServer(batchReader);
        QVERIFY(batchServer.listen());
        QCommandLineParser parser;
        batch::addCommandLineOptions(parser);
        QVERIFY(parser.parse({"karvel-utility", "--program", profilePath, "--reader",
                              QStringLiteral("127.0.0.1:%1").arg(batchServer.port())}));
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(batch::runFromCommandLine(parser, outStream, errStream), 0);
        QCOMPARE(batchReader.received(), wire(expected));

        chooseLayout(prox, 1, QStringLiteral("Not used"));
        QCOMPARE(prox.Text1[kFormats[1].total]->text(), QStringLiteral("00"));
        h.dialogs.openFileAnswers << profilePath;
        QAction* open = menuAction(h, QStringLiteral("Open Settings..."));
        QVERIFY(open);
        open->trigger();
        QCOMPARE(prox.layoutChoice[1]->currentText(), QStringLiteral("35-bit corporate"));
        QCOMPARE(prox.Text1[kFormats[1].total]->text(), QStringLiteral("35"));
    }

    // Values are read under their captions and by their current text; a
    // wheel over a layout list changes nothing.
    void valuesAreReadableAndTheWheelIsIgnored()
    {
        Harness h;
        wiegand& prox = h.main().proxSetup();
        enterCard(prox, QStringLiteral("Hex"), QStringLiteral("2020002"), QStringLiteral("26"));
        const std::pair<QLabel*, QString> values[] = {{prox.cardSummary, "Card"},
                                                      {prox.cardResults[0], "Prox Format # 1"},
                                                      {prox.cardResults[2], "Prox Format # 3"}};
        for (const auto& [value, caption] : values) {
            QAccessibleInterface* access = QAccessible::queryAccessibleInterface(value);
            QVERIFY(access);
            QCOMPARE(access->text(QAccessible::Name), value->text());
            QStringList captions;
            for (QLabel* label : prox.findChildren<QLabel*>()) {
                if (label->buddy() == value)
                    captions << label->text();
            }
            QCOMPARE(captions, QStringList{caption});
        }

        QComboBox* choice = prox.layoutChoice[0];
        const QPointF centre = QRectF(choice->rect()).center();
        QWheelEvent wheel(centre, choice->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(choice, &wheel);
        QCOMPARE(choice->currentText(), QStringLiteral("26-bit"));
        QCOMPARE(prox.Text1[kFormats[0].total]->text(), QStringLiteral("26"));
    }
};

QTEST_MAIN(CardFormatsTest)
#include "tst_card_formats.moc"
