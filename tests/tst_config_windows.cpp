// The general setup and prox format windows: what their boxes accept and the
// Const rule of the masks.
#include "DataRows.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QtTest>

#include <memory>

namespace {

// Const check box of mask entry 0..14: upwards in mask 1, downwards in masks 2 and 3.
constexpr int kConstCheck[15] = {4, 5, 6, 7, 8, 13, 12, 11, 10, 9, 21, 20, 19, 18, 17};

void paste(DigitBox* box, const QString& text)
{
    QApplication::clipboard()->setText(text);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

class ConfigWindowsTest : public QObject
{
    Q_OBJECT

    // Stands in for the main window's working area, which owns both windows.
    std::unique_ptr<QWidget> m_workArea;
    GeneralSetupWindow* m_general = nullptr;
    ProxSetupWindow* m_wiegand = nullptr;

private slots:
    void init()
    {
        m_workArea = std::make_unique<QWidget>();
        m_general = new GeneralSetupWindow(m_workArea.get());
        m_wiegand = new ProxSetupWindow(m_workArea.get());
        m_wiegand->setGeometry(0, 0, 733, 530);
        m_workArea->show();
    }

    // Every box at both ends of its range: "0" and "9" are taken, the
    // characters either side of them are not; input stops at the box's length
    // and Backspace empties it; a paste is taken whole or refused whole.
    void digitBoxes_data()
    {
        addColumns<QString, int, int>({"array", "index", "maxLength"});
        const std::pair<int, int> general[] = {{0, 2}, {2, 2}, {3, 2}, {7, 5}, {8, 10}};
        for (const auto& [index, length] : general)
            QTest::addRow("Text5(%d)", index) << "Text5" << index << length;
        // Start and Total Bits boxes take three digits, Length and Chars two.
        const QList<int> threeDigits{0, 1, 2, 3, 10, 11, 14, 16, 20, 21, 24, 26};
        for (int index = 0; index < 30; ++index)
            QTest::addRow("Text1(%d)", index)
                << "Text1" << index << (threeDigits.contains(index) ? 3 : 2);
        for (int index = 0; index < 15; ++index) {
            QTest::addRow("Text2(%d)", index) << "Text2" << index << 2;
            QTest::addRow("Text3(%d)", index) << "Text3" << index << 3;
        }
    }
    void digitBoxes()
    {
        const auto [array, index, maxLength] =
            fetch<QString, int, int>("array", "index", "maxLength");
        DigitBox* b = array == "Text5"   ? m_general->Text5[index]
                      : array == "Text1" ? m_wiegand->Text1[index]
                      : array == "Text2" ? m_wiegand->Text2[index]
                                         : m_wiegand->Text3[index];
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
        paste(b, digits.left(maxLength + 1));
        QCOMPARE(b->text(), QString());
        paste(b, QStringLiteral("9:"));
        QCOMPARE(b->text(), QString());
        paste(b, QStringLiteral("/0"));
        QCOMPARE(b->text(), QString());
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
        addColumns<int, int>({"number", "entry"});
        for (int entry = 0; entry < 15; ++entry)
            QTest::addRow("Check%d", kConstCheck[entry]) << kConstCheck[entry] << entry;
    }
    void constBoxMapping()
    {
        const auto [number, entry] = fetch<int, int>("number", "entry");
        for (DigitBox* start : m_wiegand->Text2)
            start->setText(QStringLiteral("7"));
        m_wiegand->check(number)->setChecked(true);
        QList<int> locked, pinned;
        for (int i = 0; i < 15; ++i) {
            if (!m_wiegand->Text2[i]->isEnabled())
                locked << i;
            if (m_wiegand->Text2[i]->text() == "00")
                pinned << i;
        }
        QCOMPARE(locked, QList<int>{entry});
        QCOMPARE(pinned, QList<int>{entry});
        DigitBox* start = m_wiegand->Text2[entry];
        QTest::keyClicks(start, QStringLiteral("5"));
        QCOMPARE(start->text(), QStringLiteral("00"));
        QTest::mouseClick(m_wiegand->check(number), Qt::LeftButton);
        QVERIFY(start->isEnabled());
        QCOMPARE(start->text(), QStringLiteral("00"));
    }
};

QTEST_MAIN(ConfigWindowsTest)
#include "tst_config_windows.moc"
