// What every digit box of the utility accepts, and the Const rule of the masks.
#include "Harness.h"
#include "ProxSetupHelpers.h"

#include "config/ProxSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>

#include <memory>

namespace {

void paste(DigitBox* box, const QString& text)
{
    QApplication::clipboard()->setText(text);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

class ConfigWindowsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Harness> m_h;
    ProxSetupWindow* m_proxSetup = nullptr;

private slots:
    void init()
    {
        m_h = std::make_unique<Harness>();
        m_h->main().readerUtilities(); // made on first use, like the windows below
        Harness::click(m_h->menu().proxSetupEntry);
        m_proxSetup = &m_h->main().proxSetup();
    }

    // Every box at both ends of its range: "0" and "9" are taken, the
    // characters either side of them are not; input stops at the box's length
    // and Backspace empties it; a paste is taken whole or refused whole.
    void digitBoxes_data()
    {
        addColumns<QString, int>({"box", "maxLength"});
        const auto row = [](const QString& box, int length) {
            QTest::newRow(qPrintable(box)) << box << length;
        };
        // General setup; the TCP port, the hours to shift the reader's clock by, a card's bits.
        for (const auto& [box, length] : {std::pair{"ID Length", 2},
                                          {"Sleep Time", 2},
                                          {"Low Power Setting", 2},
                                          {"Reader ID", 5},
                                          {"Reader Description", 10},
                                          {"Port", 5},
                                          {"Hours", 5},
                                          {"Bit Count", 3}})
            row(box, length);
        // Start and Total Bits boxes take three digits, Length and Chars two.
        for (int format = 1; format <= 3; ++format) {
            const QString group = QStringLiteral("Prox Format # %1 ").arg(format);
            for (const char* field : {"Site", "ID", "Issue"}) {
                for (const auto& [part, length] :
                     {std::pair{"Start", 3}, {"Length", 2}, {"Chars", 2}})
                    row(group + field + ' ' + part, length);
            }
            row(group + "Total Bits", 3);
        }
        for (int mask = 1; mask <= 3; ++mask) {
            for (int line = 1; line <= 5; ++line) {
                const QString at = QStringLiteral("Prox Mask %1 Mask %2 ").arg(mask).arg(line);
                row(at + "Start", 2);
                row(at + "Len/Value", 3);
            }
        }
    }
    void digitBoxes()
    {
        const auto [name, maxLength] = fetch<QString, int>("box", "maxLength");
        // Found as assistive technology finds it: by its accessible name.
        QList<DigitBox*> named;
        for (DigitBox* box : m_h->main().findChildren<DigitBox*>()) {
            if (box->accessibleName() == name)
                named << box;
        }
        QCOMPARE(named.size(), 1);
        DigitBox* b = named.first();
        b->clear();
        QTest::keyClicks(b, QStringLiteral("/0:9a -."));
        QCOMPARE(b->text(), QStringLiteral("09"));
        const QString typed = QStringLiteral("0912345678901");
        QTest::keyClicks(b, typed.mid(2));
        QCOMPARE(b->text(), typed.left(maxLength));
        for (int i = 0; i <= maxLength; ++i)
            QTest::keyClick(b, Qt::Key_Backspace);
        QCOMPARE(b->text(), QString());

        const QString digits = QStringLiteral("98765432109");
        for (const QString& refused :
             {digits.left(maxLength + 1), QStringLiteral("9:"), QStringLiteral("/0")}) {
            paste(b, refused);
            QCOMPARE(b->text(), QString());
        }
        paste(b, digits.left(maxLength));
        QCOMPARE(b->text(), digits.left(maxLength));
        b->setText(QStringLiteral("1"));
        b->end(false);
        paste(b, digits.left(maxLength));
        QCOMPARE(b->text(), QStringLiteral("1"));
    }

    // Each Const box pins its own mask entry's Start box at "00" and locks it
    // until unchecked, and no other.
    void constBoxMapping_data()
    {
        addColumns<int, int>({"mask", "row"});
        for (int mask = 0; mask < 3; ++mask) {
            for (int row = 0; row < 5; ++row)
                QTest::addRow("mask %d row %d", mask + 1, row + 1) << mask << row;
        }
    }
    void constBoxMapping()
    {
        const auto [mask, row] = fetch<int, int>("mask", "row");
        for (DigitBox* start : maskStarts(*m_proxSetup))
            start->setText(QStringLiteral("7"));
        const ProxSetupWindow::MaskRowControls& controls = m_proxSetup->masks[mask][row];
        controls.constant->setChecked(true);
        const QString entry = QString::number(5 * mask + row);
        QCOMPARE(startsOtherThan(*m_proxSetup, QStringLiteral("7")),
                 QStringList{entry + ": 00, locked"});
        QTest::keyClicks(controls.start, QStringLiteral("5"));
        QCOMPARE(controls.start->text(), QStringLiteral("00"));
        QTest::mouseClick(controls.constant, Qt::LeftButton);
        QCOMPARE(startsOtherThan(*m_proxSetup, QStringLiteral("7")), QStringList{entry + ": 00"});
    }
};

QTEST_MAIN(ConfigWindowsTest)
#include "tst_config_windows.moc"
