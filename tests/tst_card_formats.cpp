// Standard card layouts chosen in Prox Setup, and the card check that reads
// a card's raw bits against the three formats, all through the window.
#include "Harness.h"
#include "ProxSetupHelpers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QWheelEvent>

namespace {

void enterCard(ProxSetupWindow& prox, const QString& kind, const QString& data,
               const QString& count)
{
    prox.cardDataKind->setCurrentIndex(prox.cardDataKind->findText(kind));
    prox.cardData->setText(data);
    prox.cardBitCount->setText(count);
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
        // The values of X074, X076 and X078, and of X075, X077 and X079.
        addColumns<QString, QByteArray, QByteArray>({"layout", "firstHalf", "secondHalf"});
        const auto row = [](const char* layout, const char* first, const char* second) {
            QTest::newRow(layout) << layout << QByteArray(first) << QByteArray(second);
        };
        row("26-bit", "026002080010160", "000000030500");
        row("34-bit", "034002160018160", "000000050500");
        row("35-bit corporate", "035003120015200", "000000040700");
        row("37-bit with site code", "037002160018190", "000000050600");
        row("37-bit ID only", "037000000002350", "000000001100");
        row("48-bit corporate", "048003220025230", "000000070700");
        row("Not used", "000000000000000", "000000000000");
    }
    void layoutFillsTheBoxesAndProgramsThem()
    {
        const auto [layout, firstHalf, secondHalf] =
            fetch<QString, QByteArray, QByteArray>("layout", "firstHalf", "secondHalf");
        Harness h;
        ProxSetupWindow& prox = h.main().proxSetup();
        for (int format = 0; format < 3; ++format) {
            // What a user left there before: Lsb flags and an Issue field.
            for (const ProxSetupWindow::FieldControls& field : prox.formats[format].fields) {
                field.lsb->setChecked(true);
                for (DigitBox* box : {field.start, field.length, field.chars})
                    box->setText(QStringLiteral("9"));
            }
            chooseLayout(prox, format, layout);
            QCOMPARE(prox.layoutChoice[format]->currentText(), layout);
        }

        QVERIFY(h.connectTcp());
        h.programReader();
        QCOMPARE(h.pane().value(1), QStringLiteral("Starting Communications"));
        QList<QByteArray> expected = startUpCommands();
        for (int format = 0; format < 3; ++format) {
            expected[4 + 2 * format] = "X07" + QByteArray::number(4 + 2 * format) + firstHalf;
            expected[5 + 2 * format] = "X07" + QByteArray::number(5 + 2 * format) + secondHalf;
        }
        QCOMPARE(h.reader.received(), wire(expected));
    }

    // Cards given as bits and as hex, read against format 1 as the window
    // shows them. Bits are grouped by field.
    void cardCheck_data()
    {
        addColumns<QString, QString, QString, QString, QString, QString>(
            {"layout", "kind", "data", "count", "summary", "formatOne"});
        // A known card: a row for its bits, and one for its hex in lower case;
        // how format 1 reads it, and whether its layout's parity holds.
        const auto card = [](const char* layout, QString bits, const char* hex, const char* read,
                             const char* parity) {
            bits.remove(' ');
            const QString count = QString::number(bits.size());
            const QString summary = QStringLiteral("%1 bits, hex %2: %3").arg(count, hex, bits);
            const QString line =
                QStringLiteral("%1, Issue not used; %2 parity %3.").arg(read, layout, parity);
            QTest::addRow("%s %s bits", layout, hex)
                << layout << "Bits" << bits << "" << summary << line;
            QTest::addRow("%s %s hex", layout, hex)
                << layout << "Hex" << QString(hex).toLower() << count << summary << line;
        };
        card("26-bit", "1 01111011 0001000111010111 0", "2F623AE", "Site 123, ID 4567", "holds");
        card("26-bit", "1 01101011 0001000111010111 0", "2D623AE", "Site 107, ID 4567",
             "fails at bit 1");
        card("34-bit", "1 0000010011010010 1101110111010101 0", "209A5BBAA", "Site 1234, ID 56789",
             "holds");
        const char* corporate35 = "35-bit corporate";
        card(corporate35, "1 1 010011010010 10001010101001010010 0", "69A5154A4",
             "Site 1234, ID 567890", "holds");
        // Bit 3 is guarded by all three parity bits.
        card(corporate35, "1 1 110011010010 10001010101001010010 0", "79A5154A4",
             "Site 3282, ID 567890", "fails at bits 1, 2, 35");
        const char* siteCode37 = "37-bit with site code";
        card(siteCode37, "0 0001000011100001 1001001001111100000 0", "010E1927C0",
             "Site 4321, ID 300000", "holds");
        // Bit 19 is guarded by both parity bits.
        card(siteCode37, "0 0001000011100001 1101001001111100000 0", "010E1D27C0",
             "Site 4321, ID 431072", "fails at bits 1, 37");
        card("37-bit ID only", "1 01011011111110111000001110000110101 0", "15BFB8386A",
             "Site not used, ID 12345678901", "holds");
        card("48-bit corporate", "1 1 1011011100011011000000 11010101100111111000000 1",
             "EDC6C0D59F81", "Site 3000000, ID 7000000", "holds");

        // What may be typed, against the start-up 26-bit layout.
        const auto input = [](const char* name, const char* kind, const QString& data,
                              const char* count, const QString& summary, const char* line) {
            QTest::newRow(name) << "26-bit" << kind << data << count << summary << line;
        };
        const QString card1 = "10000000100000000000000010";
        const QString summary1 = "26 bits, hex 2020002: " + card1;
        const char* read1 = "Site 1, ID 1, Issue not used; 26-bit parity holds.";
        input("hex, leading zeros left out", "Hex", "2020002", "26", summary1, read1);
        input("hex with 0x and blanks", "Hex", " 0x0202 0002 ", "26", summary1, read1);
        input("bits with their count", "Bits", card1, "26", summary1, read1);
        input("card longer than the format", "Hex", "2020002", "34",
              "34 bits, hex 002020002: 00000000" + card1,
              "Total Bits 26 does not match the card's 34 bits.");
        input("hex beyond the bit count", "Hex", "6020002", "26",
              "The hex data holds more than 26 bits.", "");
        input("not hex", "Hex", "20G0002", "26", "Hex data holds only 0 to 9 and A to F.", "");
        input("hex without a count", "Hex", "2020002", "", "Enter the card's bit count.", "");
        input("zero bits", "Hex", "2020002", "0", "A card has 1 to 999 bits.", "");
        input("bit string shorter than its count", "Bits", card1.left(25), "26",
              "The bit string has 25 bits, not 26.", "");
        input("not bits", "Bits", "1021", "", "A bit string holds only 0 and 1.", "");
        input("nothing entered", "Hex", "", "26",
              "Enter a card's data to check it against the formats.", "");
    }
    void cardCheck()
    {
        const auto [layout, kind, data, count, summary, formatOne] =
            fetch<QString, QString, QString, QString, QString, QString>(
                "layout", "kind", "data", "count", "summary", "formatOne");
        Harness h;
        ProxSetupWindow& prox = h.main().proxSetup();
        chooseLayout(prox, 0, layout);
        enterCard(prox, kind, data, count);
        QCOMPARE(Harness::spoken(prox.cardSummary), summary);
        QCOMPARE(prox.cardResults[0]->text(), formatOne);
    }

    // An Lsb flag reads its field least significant bit first; a standard
    // layout with one set is no longer that layout, so its parity is not
    // judged. Readings are found under their captions and heard as shown; a
    // wheel over a layout list changes nothing.
    void lsbFlagsReverseTheirField()
    {
        Harness h;
        ProxSetupWindow& prox = h.main().proxSetup();
        const ProxSetupWindow::FormatControls& two = prox.formats[1];
        const auto& [site, id, issue] = two.fields;
        const std::pair<DigitBox*, const char*> boxes[] = {
            {two.totalBits, "8"}, {site.start, "1"},  {site.length, "4"}, {id.start, "5"},
            {id.length, "2"},     {issue.start, "7"}, {issue.length, "2"}};
        for (const auto& [box, text] : boxes)
            box->setText(QString::fromLatin1(text));
        enterCard(prox, QStringLiteral("Bits"), QStringLiteral("10000001"), QString());
        QCOMPARE(prox.layoutChoice[1]->currentIndex(), -1);
        QCOMPARE(prox.cardResults[1]->text(),
                 QStringLiteral("Site 8, ID 0, Issue 1; custom layout, parity not checked."));
        site.lsb->setChecked(true);
        issue.lsb->setChecked(true);
        QCOMPARE(prox.cardResults[1]->text(),
                 QStringLiteral("Site 1, ID 0, Issue 2; custom layout, parity not checked."));

        enterCard(prox, QStringLiteral("Hex"), QStringLiteral("2020002"), QStringLiteral("26"));
        const std::pair<QLabel*, QString> values[] = {{prox.cardSummary, "Card"},
                                                      {prox.cardResults[0], "Prox Format # 1"},
                                                      {prox.cardResults[1], "Prox Format # 2"},
                                                      {prox.cardResults[2], "Prox Format # 3"}};
        for (const auto& [value, caption] : values) {
            QCOMPARE(Harness::spoken(value), value->text());
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
        QCOMPARE(prox.formats[0].totalBits->text(), QStringLiteral("26"));
        prox.formats[0].fields[0].lsb->setChecked(true);
        QCOMPARE(prox.layoutChoice[0]->currentIndex(), -1);
        QCOMPARE(prox.cardResults[0]->text(),
                 QStringLiteral("Site 128, ID 1, Issue not used; custom layout, parity not "
                                "checked."));
    }
};

QTEST_MAIN(CardFormatsTest)
#include "tst_card_formats.moc"
