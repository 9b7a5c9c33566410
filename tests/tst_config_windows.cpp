#include "config/SettingsReaders.h"
#include "config/general.h"
#include "config/wiegand.h"
#include "widgets/DigitBox.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QtTest>

#include <memory>

namespace {

constexpr std::array<QCheckBox * wiegand::*, 24> kWiegandChecks{
    &wiegand::Check1,  &wiegand::Check2,  &wiegand::Check3,  &wiegand::Check4,  &wiegand::Check5,
    &wiegand::Check6,  &wiegand::Check7,  &wiegand::Check8,  &wiegand::Check9,  &wiegand::Check10,
    &wiegand::Check11, &wiegand::Check12, &wiegand::Check13, &wiegand::Check14, &wiegand::Check15,
    &wiegand::Check16, &wiegand::Check17, &wiegand::Check18, &wiegand::Check19, &wiegand::Check20,
    &wiegand::Check21, &wiegand::Check22, &wiegand::Check23, &wiegand::Check24,
};

// Per format: Site, ID, Issue rows as {Start, Length, Lsb check, Chars}, then Total Bits.
struct FormatRow
{
    int start, length, lsb, chars;
};
constexpr FormatRow kFormats[3][3] = {
    {{1, 4, 1, 6}, {0, 5, 2, 7}, {2, 8, 3, 9}},
    {{10, 12, 14, 17}, {11, 13, 15, 18}, {14, 15, 16, 19}},
    {{20, 22, 22, 27}, {21, 23, 23, 28}, {24, 25, 24, 29}},
};
constexpr int kTotalBits[3] = {3, 16, 26};

struct GeneralFlag
{
    const char* group;
    const char* caption;
    QCheckBox* general::*control;
    Qt::CheckState GeneralValues::*field;
};
const GeneralFlag kGeneralFlags[] = {
    {"Proximity Settings", "Beep on Good Read", &general::Check5, &GeneralValues::beepOnGoodRead},
    {"Proximity Settings", "Masking On", &general::Check8, &GeneralValues::maskingOn},
    {"Card Selection", "HID", &general::Check6, &GeneralValues::hid},
    {"Card Selection", "Farpointe", &general::Check15, &GeneralValues::farpointe},
    {"Card Selection", "AWID", &general::Check16, &GeneralValues::awid},
    {"Storage Settings", "Include Date/Time", &general::Check1, &GeneralValues::includeDateTime},
    {"Storage Settings", "Include Reader ID", &general::Check7, &GeneralValues::includeReaderId},
    {"Storage Settings", "Include Reader Description", &general::Check18,
     &GeneralValues::includeReaderDescription},
};
constexpr int kConstCheck[15] = {4, 5, 6, 7, 8, 13, 12, 11, 10, 9, 21, 20, 19, 18, 17};

// What a user sees around a control: the bold caption over its frame, the
// caption beside it (its own text for a captioned check box) and the caption
// heading its column.
QString captionsAround(QWidget* control)
{
    QWidget* frame = control->parentWidget();
    const QRect box = control->geometry();
    QString group, column;
    auto* button = qobject_cast<QAbstractButton*>(control);
    QString row = button ? button->text() : QString();
    for (auto* label : frame->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect g = label->geometry();
        if (g.bottom() <= frame->y() && g.left() < frame->geometry().right() &&
            g.right() > frame->x() && frame->y() - g.bottom() < 20)
            group = label->text();
    }
    for (auto* label : frame->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect g = label->geometry();
        if (g.right() < box.left() && g.top() <= box.center().y() && g.bottom() >= box.center().y())
            row = label->text();
        if (g.bottom() < box.top() && g.left() <= box.center().x() && g.right() >= box.center().x())
            column = label->text();
    }
    return QStringList{group, row, column}.join(u'/');
}

} // namespace

class ConfigWindowsTest : public QObject
{
    Q_OBJECT

    // Stands in for the main window's working area, which owns both windows.
    std::unique_ptr<QWidget> m_workArea;
    general* m_general = nullptr;
    wiegand* m_wiegand = nullptr;

    DigitBox* box(const QString& array, int index) const
    {
        if (array == u"Text5")
            return m_general->Text5[index];
        return (array == u"Text1"   ? m_wiegand->Text1.data()
                : array == u"Text2" ? m_wiegand->Text2.data()
                                    : m_wiegand->Text3.data())[index];
    }

private slots:
    void init()
    {
        m_workArea = std::make_unique<QWidget>();
        m_workArea->resize(733, 530);
        m_general = new general(m_workArea.get());
        m_wiegand = new wiegand(m_workArea.get());
        m_general->setGeometry(0, 0, 733, 530);
        m_wiegand->setGeometry(0, 0, 733, 530);
        m_workArea->show();
    }

    void typingKeepsDigitsUpToLongestInput_data()
    {
        QTest::addColumn<QString>("array");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("maxLength");
        const auto add = [](const char* array, int index, int max) {
            QTest::addRow("%s(%d)", array, index) << QString(array) << index << max;
        };
        for (auto [index, max] : {std::pair{3, 2}, {2, 2}, {0, 2}, {7, 5}, {8, 10}})
            add("Text5", index, max);
        for (int f = 0; f < 3; ++f) {
            for (const FormatRow& r : kFormats[f]) {
                add("Text1", r.start, 3);
                add("Text1", r.length, 2);
                add("Text1", r.chars, 2);
            }
            add("Text1", kTotalBits[f], 3);
        }
        for (int i = 0; i < 15; ++i) {
            add("Text2", i, 2);
            add("Text3", i, 3);
        }
    }
    void typingKeepsDigitsUpToLongestInput()
    {
        QFETCH(QString, array);
        QFETCH(int, index);
        QFETCH(int, maxLength);
        DigitBox* b = box(array, index);
        QTest::keyClicks(b, QStringLiteral("1a- .2B"));
        QCOMPARE(b->text(), QStringLiteral("12"));
        QTest::keyClicks(b, QStringLiteral("345678901234"));
        QCOMPARE(b->text(), QStringLiteral("123456789012").left(maxLength));
        QTest::keyClick(b, Qt::Key_Backspace);
        QCOMPARE(b->text(), QStringLiteral("123456789012").left(maxLength - 1));
    }

    void pasteTakesOnlyDigits()
    {
        for (DigitBox* b : {m_general->Text5[7], m_wiegand->Text1[0], m_wiegand->Text3[4]}) {
            QApplication::clipboard()->setText(QStringLiteral("12a"));
            QTest::keyClick(b, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(b->text(), QString());
            QApplication::clipboard()->setText(QStringLiteral("12"));
            QTest::keyClick(b, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(b->text(), QStringLiteral("12"));
        }
    }

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

    void everyCheckBoxAffectsOnlyItsEntry_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("entry"); // -1: an Lsb flag, no mask entry
        for (int number = 1; number <= 24; ++number) {
            const int* found = std::find(std::begin(kConstCheck), std::end(kConstCheck), number);
            const int entry = found == std::end(kConstCheck) ? -1 : int(found - kConstCheck);
            QTest::addRow("Check%d", number) << number << entry;
        }
    }
    void everyCheckBoxAffectsOnlyItsEntry()
    {
        QFETCH(int, number);
        QFETCH(int, entry);
        QCheckBox* check = m_wiegand->*kWiegandChecks[number - 1];
        QCOMPARE(m_wiegand->check(number), check);
        for (int i = 0; i < 15; ++i)
            m_wiegand->Text2[i]->setText(QStringLiteral("7"));
        check->setChecked(true);
        for (int i = 0; i < 15; ++i) {
            QCOMPARE(m_wiegand->Text2[i]->isEnabled(), i != entry);
            QCOMPARE(m_wiegand->Text2[i]->text(), i == entry ? "00" : "7");
        }
        check->setChecked(false);
        for (int i = 0; i < 15; ++i)
            QVERIFY(m_wiegand->Text2[i]->isEnabled());
    }

    void controlsSitUnderTheirCaptions_data()
    {
        QTest::addColumn<QString>("array");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("captions");
        const char* rows[] = {"Site", "ID", "Issue"};
        for (int f = 0; f < 3; ++f) {
            const QString group = QStringLiteral("Prox Format # %1/").arg(f + 1);
            for (int r = 0; r < 3; ++r) {
                const FormatRow& c = kFormats[f][r];
                const QString prefix = group + rows[r] + u'/';
                QTest::addRow("Text1(%d)", c.start) << "Text1" << c.start << prefix + "Start";
                QTest::addRow("Text1(%d)", c.length) << "Text1" << c.length << prefix + "Length";
                QTest::addRow("Check%d", c.lsb) << "Check" << c.lsb << prefix + "Lsb";
                QTest::addRow("Text1(%d)", c.chars) << "Text1" << c.chars << prefix + "Chars";
            }
            QTest::addRow("Text1(%d)", kTotalBits[f])
                << "Text1" << kTotalBits[f] << group + "Total Bits/Start";
        }
        for (int i = 0; i < 15; ++i) {
            const QString prefix =
                QStringLiteral("Prox Mask %1/Mask %2/").arg(i / 5 + 1).arg(i % 5 + 1);
            QTest::addRow("Text2(%d)", i) << "Text2" << i << prefix + "Start";
            QTest::addRow("Text3(%d)", i) << "Text3" << i << prefix + "Len/Value";
            QTest::addRow("Check%d", kConstCheck[i])
                << "Check" << kConstCheck[i] << prefix + "Const";
        }
        for (auto [index, captions] : {std::pair{3, "Options/Low Power Setting/"},
                                       {2, "Options/Sleep Time/"},
                                       {0, "Storage Settings/ID Length/"},
                                       {7, "Storage Settings/Reader ID/"},
                                       {8, "Storage Settings/Reader Description/"}})
            QTest::addRow("Text5(%d)", index) << "Text5" << index << captions;
        for (const GeneralFlag& flag : kGeneralFlags)
            QTest::newRow(flag.caption) << "general" << int(&flag - kGeneralFlags)
                                        << QString(flag.group) + u'/' + flag.caption + u'/';
    }
    void controlsSitUnderTheirCaptions()
    {
        QFETCH(QString, array);
        QFETCH(int, index);
        QFETCH(QString, captions);
        QWidget* control =
            array == u"Check"     ? static_cast<QWidget*>(m_wiegand->*kWiegandChecks[index - 1])
            : array == u"general" ? static_cast<QWidget*>(m_general->*kGeneralFlags[index].control)
                                  : box(array, index);
        QCOMPARE(captionsAround(control), captions);
        if (array == u"Text5") {
            const QString caption = captions.section(u'/', 1, 1);
            QCOMPARE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name),
                     caption);
        }
    }

    void readersCopyEveryBox()
    {
        for (int i : {0, 2, 3, 7, 8})
            m_general->Text5[i]->setText(QString::number(10 + i));
        const GeneralValues g = readGeneralValues(*m_general);
        QCOMPARE(g.idLength, "10");
        QCOMPARE(g.sleepTime, "12");
        QCOMPARE(g.lowPowerSetting, "13");
        QCOMPARE(g.readerId, "17");
        QCOMPARE(g.readerDescription, "18");

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
    }

    void readersTakeEachCheckBox()
    {
        for (const GeneralFlag& flag : kGeneralFlags) {
            (m_general->*flag.control)->setChecked(true);
            const GeneralValues values = readGeneralValues(*m_general);
            for (const GeneralFlag& other : kGeneralFlags)
                QVERIFY2(values.*other.field == (&other == &flag ? Qt::Checked : Qt::Unchecked),
                         other.caption);
            // A greyed box is sent as off.
            (m_general->*flag.control)->setCheckState(Qt::PartiallyChecked);
            QCOMPARE(checkFlag(readGeneralValues(*m_general).*flag.field), "0");
            (m_general->*flag.control)->setChecked(false);
        }
        for (int number = 1; number <= 24; ++number) {
            (m_wiegand->*kWiegandChecks[number - 1])->setChecked(true);
            const ProxValues values = readProxValues(*m_wiegand);
            for (int other = 1; other <= 24; ++other)
                QVERIFY2(
                    values.Check[other] == (other == number ? Qt::Checked : Qt::Unchecked),
                    qPrintable(QStringLiteral("Check%1 set, Check%2 read").arg(number).arg(other)));
            (m_wiegand->*kWiegandChecks[number - 1])->setChecked(false);
        }
    }
};

QTEST_MAIN(ConfigWindowsTest)
#include "tst_config_windows.moc"
