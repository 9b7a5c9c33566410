// The general setup and prox format windows: what their boxes accept, the
// Const rule of the masks, and the readers that carry their values into the
// programming commands.
#include "config/SettingsReaders.h"
#include "config/general.h"
#include "config/wiegand.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QtTest>

#include <memory>

namespace {

// Const check box of mask entry 0..14: upwards in mask 1, downwards in masks 2 and 3.
constexpr int kConstCheck[15] = {4, 5, 6, 7, 8, 13, 12, 11, 10, 9, 21, 20, 19, 18, 17};

const std::pair<QCheckBox * general::*, Qt::CheckState GeneralValues::*> kGeneralFlags[] = {
    {&general::Check5, &GeneralValues::beepOnGoodRead},
    {&general::Check8, &GeneralValues::maskingOn},
    {&general::Check6, &GeneralValues::hid},
    {&general::Check15, &GeneralValues::farpointe},
    {&general::Check16, &GeneralValues::awid},
    {&general::Check1, &GeneralValues::includeDateTime},
    {&general::Check7, &GeneralValues::includeReaderId},
    {&general::Check18, &GeneralValues::includeReaderDescription},
};

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
    general* m_general = nullptr;
    wiegand* m_wiegand = nullptr;

private slots:
    void init()
    {
        m_workArea = std::make_unique<QWidget>();
        m_general = new general(m_workArea.get());
        m_wiegand = new wiegand(m_workArea.get());
        m_wiegand->setGeometry(0, 0, 733, 530);
        m_workArea->show();
    }

    // One box of each kind: typed non-digits are dropped, input stops at the
    // kind's length, backspace works, and a paste holding a non-digit is refused.
    void digitBoxes_data()
    {
        QTest::addColumn<QString>("array");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("maxLength");
        QTest::newRow("ID Length") << "Text5" << 0 << 2;
        QTest::newRow("Sleep Time") << "Text5" << 2 << 2;
        QTest::newRow("Low Power Setting") << "Text5" << 3 << 2;
        QTest::newRow("Reader ID") << "Text5" << 7 << 5;
        QTest::newRow("Reader Description") << "Text5" << 8 << 10;
        QTest::newRow("format Start") << "Text1" << 1 << 3;
        QTest::newRow("format Length") << "Text1" << 13 << 2;
        QTest::newRow("format Chars") << "Text1" << 29 << 2;
        QTest::newRow("format Total Bits") << "Text1" << 26 << 3;
        QTest::newRow("mask Start") << "Text2" << 14 << 2;
        QTest::newRow("mask Len/Value") << "Text3" << 7 << 3;
    }
    void digitBoxes()
    {
        QFETCH(QString, array);
        QFETCH(int, index);
        QFETCH(int, maxLength);
        DigitBox* b = array == "Text5"   ? m_general->Text5[index]
                      : array == "Text1" ? m_wiegand->Text1[index]
                      : array == "Text2" ? m_wiegand->Text2[index]
                                         : m_wiegand->Text3[index];
        const QString digits = QStringLiteral("123456789012");
        QTest::keyClicks(b, QStringLiteral("1a- .2B"));
        QCOMPARE(b->text(), QStringLiteral("12"));
        QTest::keyClicks(b, QStringLiteral("345678901234"));
        QCOMPARE(b->text(), digits.left(maxLength));
        QTest::keyClick(b, Qt::Key_Backspace);
        QCOMPARE(b->text(), digits.left(maxLength - 1));

        // A paste is all or nothing: a non-digit or one digit too many refuses it.
        b->clear();
        paste(b, QStringLiteral("12a"));
        QCOMPARE(b->text(), QString());
        paste(b, digits.left(maxLength + 1));
        QCOMPARE(b->text(), QString());
        paste(b, QStringLiteral("12"));
        QCOMPARE(b->text(), QStringLiteral("12"));
    }

    // Const pins its entry's Start box at "00" and locks it until unchecked.
    void constPinsMaskStart()
    {
        DigitBox* start = m_wiegand->Text2[7];
        QTest::keyClicks(start, QStringLiteral("42"));
        QTest::mouseClick(m_wiegand->Check11, Qt::LeftButton);
        QCOMPARE(start->text(), QStringLiteral("00"));
        QVERIFY(!start->isEnabled());
        QTest::keyClicks(start, QStringLiteral("5"));
        QCOMPARE(start->text(), QStringLiteral("00"));
        QTest::mouseClick(m_wiegand->Check11, Qt::LeftButton);
        QVERIFY(start->isEnabled());
        QCOMPARE(start->text(), QStringLiteral("00"));
    }

    // Each Const box pins and locks its own mask entry's Start box and no other.
    void constBoxMapping_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("entry");
        for (int entry = 0; entry < 15; ++entry)
            QTest::addRow("Check%d", kConstCheck[entry]) << kConstCheck[entry] << entry;
    }
    void constBoxMapping()
    {
        QFETCH(int, number);
        QFETCH(int, entry);
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
    }

    // Every box and check box reaches its own field: distinct texts, one check at a time.
    void readersCopyEveryControl()
    {
        for (int i : {0, 2, 3, 7, 8})
            m_general->Text5[i]->setText(QString::number(10 + i));
        const GeneralValues g = readGeneralValues(*m_general);
        QCOMPARE((QStringList{g.idLength, g.sleepTime, g.lowPowerSetting, g.readerId,
                              g.readerDescription}),
                 (QStringList{"10", "12", "13", "17", "18"}));
        for (const auto& [control, field] : kGeneralFlags) {
            (m_general->*control)->setChecked(true);
            const GeneralValues values = readGeneralValues(*m_general);
            for (const auto& other : kGeneralFlags)
                QCOMPARE(values.*other.second, other.second == field ? Qt::Checked : Qt::Unchecked);
            (m_general->*control)->setChecked(false);
        }

        for (int i = 0; i < 30; ++i)
            m_wiegand->Text1[i]->setText(QString::number(i));
        for (int i = 0; i < 15; ++i) {
            m_wiegand->Text2[i]->setText(QString::number(30 + i));
            m_wiegand->Text3[i]->setText(QString::number(50 + i));
        }
        const ProxValues p = readProxValues(*m_wiegand);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(p.Text1[i], QString::number(i));
        for (int i = 0; i < 15; ++i) {
            QCOMPARE(p.Text2[i], QString::number(30 + i));
            QCOMPARE(p.Text3[i], QString::number(50 + i));
        }
        for (int number = 1; number <= 24; ++number) {
            m_wiegand->check(number)->setChecked(true);
            const ProxValues values = readProxValues(*m_wiegand);
            QList<int> checked;
            for (int other = 1; other <= 24; ++other)
                if (values.Check[other] != Qt::Unchecked)
                    checked << other;
            QCOMPARE(checked, QList<int>{number});
            m_wiegand->check(number)->setChecked(false);
        }
    }
};

QTEST_MAIN(ConfigWindowsTest)
#include "tst_config_windows.moc"
