// Settings profiles saved from and opened into the setup windows through
// the "Settings" menu.
#include "Harness.h"

#include "app/MainWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A value for every control, each unlike its start value: the general check
// boxes flipped or grey, every text changed (the widest at full length), the
// Lsb boxes checked or grey, and the Const boxes grey, which leaves their
// Start boxes free.
struct Control
{
    QString name;
    QCheckBox* check; // or else a text box
    QLineEdit* text;
    QString value;
    QString read() const { return check ? QString::number(check->checkState()) : text->text(); }
};

QList<Control> everyControl(Harness& h)
{
    QList<Control> list;
    const auto checkBox = [&](const QString& name, QCheckBox* box, Qt::CheckState state) {
        list.append({name, box, nullptr, QString::number(state)});
    };
    const auto textBox = [&](const QString& name, QLineEdit* box, const QString& text) {
        list.append({name, nullptr, box, text});
    };
    GeneralSetupWindow& gen = h.main().generalSetup();
    ProxSetupWindow& prox = h.main().proxSetup();
    const std::pair<QCheckBox*, Qt::CheckState> generalChecks[] = {
        {gen.beepOnGoodRead, Qt::Unchecked}, {gen.maskingOn, Qt::Checked},
        {gen.hid, Qt::PartiallyChecked},     {gen.farpointe, Qt::Unchecked},
        {gen.awid, Qt::PartiallyChecked},    {gen.includeDateTime, Qt::Unchecked},
        {gen.includeReaderId, Qt::Checked},  {gen.includeReaderDescription, Qt::PartiallyChecked}};
    int n = 0;
    for (const auto& [box, state] : generalChecks)
        checkBox(QStringLiteral("general check %1").arg(n++), box, state);
    const std::pair<DigitBox*, const char*> generalTexts[] = {
        {gen.lowPowerSettingBox, "07"},
        {gen.sleepTimeBox, "9"},
        {gen.idLengthBox, "12"},
        {gen.readerIdBox, "54321"},
        {gen.readerDescriptionBox, "0123456789"}};
    for (const auto& [box, text] : generalTexts)
        textBox(box->accessibleName(), box, QString::fromLatin1(text));
    // Per format: Total Bits, then Start, Length, Chars and Lsb of Site, ID
    // and Issue; all distinct, the Start and Total Bits boxes at three digits.
    struct FieldValues
    {
        int start, length, chars;
        Qt::CheckState lsb;
    };
    struct FormatValues
    {
        int totalBits;
        FieldValues fields[3];
    };
    const Qt::CheckState on = Qt::Checked, grey = Qt::PartiallyChecked;
    const FormatValues formats[3] = {
        {103, {{101, 5, 7, on}, {100, 6, 8, grey}, {102, 9, 10, on}}},
        {116, {{110, 13, 18, grey}, {111, 14, 19, on}, {114, 16, 20, grey}}},
        {126, {{120, 23, 28, grey}, {121, 24, 29, on}, {124, 26, 30, grey}}},
    };
    for (int f = 0; f < 3; ++f) {
        const ProxSetupWindow::FormatControls& format = prox.formats[f];
        textBox(format.totalBits->accessibleName(), format.totalBits,
                QString::number(formats[f].totalBits));
        for (int k = 0; k < 3; ++k) {
            const ProxSetupWindow::FieldControls& field = format.fields[k];
            const FieldValues& value = formats[f].fields[k];
            textBox(field.start->accessibleName(), field.start, QString::number(value.start));
            textBox(field.length->accessibleName(), field.length, QString::number(value.length));
            textBox(field.chars->accessibleName(), field.chars, QString::number(value.chars));
            checkBox(field.lsb->accessibleName(), field.lsb, value.lsb);
        }
    }
    for (int m = 0; m < 3; ++m) {
        for (int r = 0; r < 5; ++r) {
            const ProxSetupWindow::MaskRowControls& row = prox.masks[m][r];
            const int entry = 5 * m + r;
            textBox(row.start->accessibleName(), row.start, QString::number(40 + entry));
            textBox(row.value->accessibleName(), row.value, QString::number(200 + entry));
            checkBox(row.constant->accessibleName(), row.constant, Qt::PartiallyChecked);
        }
    }
    return list;
}

void fillEveryControl(Harness& h)
{
    for (const Control& c : everyControl(h))
        c.check ? c.check->setCheckState(Qt::CheckState(c.value.toInt()))
                : c.text->setText(c.value);
}

// The mask rows' Start boxes, mask 1 row 1 first.
QList<DigitBox*> maskStarts(const ProxSetupWindow& prox)
{
    QList<DigitBox*> starts;
    for (const ProxSetupWindow::MaskControls& mask : prox.masks) {
        for (const ProxSetupWindow::MaskRowControls& row : mask)
            starts << row.start;
    }
    return starts;
}

// Controls whose value is (or, with equal false, is not) the one above.
QStringList controlsAt(Harness& h, bool equal)
{
    QStringList found;
    for (const Control& control : everyControl(h))
        if ((control.read() == control.value) == equal)
            found << control.name + "=" + control.read();
    return found;
}
} // namespace

class ProfileTest : public QObject
{
    Q_OBJECT

private slots:
    // Every field, saved: byte for byte the checked-in file.
    void savedProfileIsTheKnownFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("site.json"));
        Harness h;
        fillEveryControl(h);
        h.dialogs.saveFileAnswers << path;
        QVERIFY(h.trigger(QStringLiteral("Save Settings As...")));
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.dialogs.saveFileRequests,
                 (QList<QStringList>{{"settings.json", "Settings Profiles (*.json)", "json"}}));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"site.json"});
        QCOMPARE(fileBytes(path), fileBytes(QFINDTESTDATA("data/every-field.json")));
    }

    // The checked-in file, opened at start-up values, reaches every box.
    void knownFileFillsEveryControl()
    {
        Harness h;
        QCOMPARE(controlsAt(h, true), QStringList());
        h.dialogs.openFileAnswers << QFINDTESTDATA("data/every-field.json");
        QVERIFY(h.trigger(QStringLiteral("Open Settings...")));
        QVERIFY2(h.dialogs.messages.isEmpty(), qPrintable(h.dialogs.messages.join('\n')));
        QCOMPARE(controlsAt(h, false), QStringList());
        QVERIFY(h.main().proxSetup().masks[1][0].start->isEnabled());
    }

    // Checked Const boxes read from a file pin and lock their own Start boxes.
    void openedConstBoxesPinTheirStarts()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("const.json"));
        Harness h;
        // Mask 1 row 1, mask 2 row 5 and mask 3 row 3: entries 0, 9 and 12.
        for (const auto& [mask, row] : {std::pair{0, 0}, {1, 4}, {2, 2}})
            h.main().proxSetup().masks[mask][row].constant->setChecked(true);
        h.dialogs.saveFileAnswers << path;
        QVERIFY(h.trigger(QStringLiteral("Save Settings As...")));
        Harness other;
        const QList<DigitBox*> starts = maskStarts(other.main().proxSetup());
        for (DigitBox* start : starts)
            start->setText(QStringLiteral("7"));
        other.dialogs.openFileAnswers << path;
        QVERIFY(other.trigger(QStringLiteral("Open Settings...")));
        QVERIFY(other.dialogs.messages.isEmpty());
        QList<int> locked;
        for (int entry = 0; entry < 15; ++entry)
            if (!starts[entry]->isEnabled())
                locked << entry;
        QCOMPARE(locked, (QList<int>{0, 9, 12}));
        for (int entry : locked)
            QCOMPARE(starts[entry]->text(), QStringLiteral("00"));
    }

    // A bad profile changes nothing and says which entry is wrong and why.
    void badProfileChangesNothing_data()
    {
        addColumns<QStringList, QJsonValue, QString>({"path", "value", "error"});
        const auto row = [](const char* name, const char* path, const QJsonValue& value,
                            const char* error) {
            QTest::newRow(name) << QString::fromLatin1(path).split('/') << value << error;
        };
        row("letter", "General Setup/Reader ID", "12a",
            "General Setup / Reader ID: \"12a\" holds a character other than a digit");
        row("too long", "Prox Setup/Prox Format # 2/Total Bits", "1234",
            "Prox Setup / Prox Format # 2 / Total Bits: \"1234\" is longer than 3 digits");
        row("check", "Prox Setup/Prox Format # 1/ID/Lsb", "maybe",
            "Prox Setup / Prox Format # 1 / ID / Lsb: \"maybe\" is not checked, unchecked or "
            "grey");
        row("missing", "General Setup/HID", QJsonValue(), "General Setup / HID: missing");
        row("const start", "Prox Setup/Prox Mask 3/Mask 2/Const", "checked",
            "Prox Setup / Prox Mask 3 / Mask 2: Const is checked, so Start must be \"00\", not "
            "\"05\"");
        row("newer", "version", 2,
            "This profile is format version 2, written by a newer utility; this one reads "
            "version 1.");
        row("not a profile", "kind", "notes", "This file is not a settings profile.");
    }
    void badProfileChangesNothing()
    {
        const auto [path, value, error] =
            fetch<QStringList, QJsonValue, QString>("path", "value", "error");
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("bad.json"));
        Harness h;
        h.main().proxSetup().masks[2][1].start->setText(QStringLiteral("05"));
        h.dialogs.saveFileAnswers << file;
        QVERIFY(h.trigger(QStringLiteral("Save Settings As...")));

        QJsonObject root = QJsonDocument::fromJson(fileBytes(file)).object();
        // Rebuilt from the inside out: QJsonObject values are copies.
        std::function<void(QJsonObject&, int)> edit = [&](QJsonObject& object, int depth) {
            if (depth == path.size() - 1) {
                if (value.isNull())
                    object.remove(path[depth]);
                else
                    object.insert(path[depth], value);
                return;
            }
            QJsonObject inner = object.value(path[depth]).toObject();
            edit(inner, depth + 1);
            object.insert(path[depth], inner);
        };
        edit(root, 0);
        QVERIFY(writeFile(file, QJsonDocument(root).toJson()));

        fillEveryControl(h);
        h.dialogs.openFileAnswers << file;
        QVERIFY(h.trigger(QStringLiteral("Open Settings...")));
        QCOMPARE(controlsAt(h, false), QStringList());
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY2(h.dialogs.messages.first().split('\n').contains(error),
                 qPrintable(h.dialogs.messages.first()));
    }

    void failedSaveLeavesNoFile()
    {
        QTemporaryDir folder;
        Harness h;
        h.dialogs.saveFileAnswers << folder.filePath(QStringLiteral("missing/site.json"));
        QVERIFY(h.trigger(QStringLiteral("Save Settings As...")));
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages.first().startsWith("The settings were not saved to "));
        QVERIFY(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
};

QTEST_MAIN(ProfileTest)
#include "tst_profile.moc"
