// Settings profiles saved from and opened into the setup windows through
// the "Settings" menu.
#include "Harness.h"
#include "ProxSetupHelpers.h"

#include "config/GeneralSetupWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>

namespace {

// Every check box and digit box of both setup windows, in the windows' order.
QList<QWidget*> controlsOf(Harness& h)
{
    QList<QWidget*> controls;
    for (QWidget* window :
         std::initializer_list<QWidget*>{&h.main().generalSetup(), &h.main().proxSetup()}) {
        for (QWidget* control : window->findChildren<QWidget*>()) {
            if ((qobject_cast<QCheckBox*>(control) || qobject_cast<DigitBox*>(control)) &&
                control != h.main().proxSetup().cardBitCount)
                controls << control;
        }
    }
    return controls;
}

QString valueOf(QWidget* control)
{
    const auto* check = qobject_cast<QCheckBox*>(control);
    return check ? QString::number(check->checkState()) : static_cast<QLineEdit*>(control)->text();
}

// A value for every control, each unlike its start value: a check box in
// one of its two other states by turns (the Const boxes grey, which leaves
// their Start boxes free), a digit box typed full with digits whose first two
// differ from box to box, some after a 0.
const QStringList& everyValue()
{
    static const QStringList values = [] {
        Harness start;
        QStringList list;
        int n = 10, turn = 0;
        for (QWidget* control : controlsOf(start)) {
            if (auto* check = qobject_cast<QCheckBox*>(control)) {
                const bool constant = check->accessibleName().endsWith(QLatin1String("Const"));
                list << QString::number(constant ? 1 : (check->checkState() + 1 + turn++ % 2) % 3);
                continue;
            }
            auto* box = static_cast<QLineEdit*>(control);
            box->clear();
            QTest::keyClicks(box, (n % 10 == 7 ? "0" : "") + QString::number(n).repeated(5));
            list << box->text();
            ++n;
        }
        return list;
    }();
    return values;
}

void fillEveryControl(Harness& h)
{
    const QList<QWidget*> controls = controlsOf(h);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        if (auto* check = qobject_cast<QCheckBox*>(controls[i]))
            check->setCheckState(Qt::CheckState(everyValue()[i].toInt()));
        else
            static_cast<QLineEdit*>(controls[i])->setText(everyValue()[i]);
    }
}

// Controls whose value is (or, with equal false, is not) the one above.
QStringList controlsAt(Harness& h, bool equal)
{
    QStringList found;
    const QList<QWidget*> controls = controlsOf(h);
    for (qsizetype i = 0; i < controls.size(); ++i)
        if ((valueOf(controls[i]) == everyValue()[i]) == equal)
            found << Harness::spoken(controls[i]) + "=" + valueOf(controls[i]);
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

    // What the setup window makes of its boxes comes back with them: checked
    // Const boxes pin and lock their own Start boxes, and standard layouts are named.
    void openedProfileRestoresLocksAndLayouts()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("site.json"));
        Harness h;
        ProxSetupWindow& prox = h.main().proxSetup();
        // Mask 1 row 1, mask 2 row 5 and mask 3 row 3: entries 0, 9 and 12.
        for (const auto& [mask, row] : {std::pair{0, 0}, {1, 4}, {2, 2}})
            prox.masks[mask][row].constant->setChecked(true);
        chooseLayout(prox, 1, QStringLiteral("35-bit corporate"));
        chooseLayout(prox, 2, QStringLiteral("48-bit corporate"));
        h.dialogs.saveFileAnswers << path;
        QVERIFY(h.trigger(QStringLiteral("Save Settings As...")));
        Harness other;
        other.dialogs.openFileAnswers << path;
        QVERIFY(other.trigger(QStringLiteral("Open Settings...")));
        QVERIFY(other.dialogs.messages.isEmpty());
        const ProxSetupWindow& opened = other.main().proxSetup();
        QCOMPARE(startsOtherThan(opened, QStringLiteral("00")),
                 (QStringList{"0: 00, locked", "9: 00, locked", "12: 00, locked"}));
        QCOMPARE(opened.layoutChoice[1]->currentText(), QStringLiteral("35-bit corporate"));
        QCOMPARE(opened.layoutChoice[2]->currentText(), QStringLiteral("48-bit corporate"));
    }

    // A bad profile changes nothing and says which entry is wrong and why: the
    // known file with the first text found replaced.
    void badProfileChangesNothing_data()
    {
        addColumns<QByteArray, QByteArray, QString>({"found", "replacement", "error"});
        const auto row = [](const char* name, const char* found, const char* replacement,
                            const char* error) {
            QTest::newRow(name) << QByteArray(found) << QByteArray(replacement) << error;
        };
        row("letter", R"("Reader ID": "13131")", R"("Reader ID": "12a")",
            R"(General Setup / Reader ID: "12a" holds a character other than a digit)");
        row("too long", R"("Total Bits": "343")", R"("Total Bits": "1234")",
            R"(Prox Setup / Prox Format # 2 / Total Bits: "1234" is longer than 3 digits)");
        row("check", R"("Lsb": "checked")", R"("Lsb": "maybe")",
            R"(Prox Setup / Prox Format # 1 / ID / Lsb: "maybe" is not checked, unchecked or grey)");
        row("missing", R"("HID": "unchecked",)", "", "General Setup / HID: missing");
        row("const start", R"("Const": "grey")", R"("Const": "checked")",
            R"(Prox Setup / Prox Mask 1 / Mask 1: Const is checked, so Start must be "00", not "45")");
        row("newer", R"("version": 1)", R"("version": 2)",
            "This profile is format version 2, written by a newer utility; this one reads "
            "version 1.");
        row("not a profile", R"("kind": "KARVEL Utility settings profile")", R"("kind": "notes")",
            "This file is not a settings profile.");
    }
    void badProfileChangesNothing()
    {
        const auto [found, replacement, error] =
            fetch<QByteArray, QByteArray, QString>("found", "replacement", "error");
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("bad.json"));
        QByteArray bytes = fileBytes(QFINDTESTDATA("data/every-field.json"));
        const qsizetype at = bytes.indexOf(found);
        QVERIFY(at >= 0);
        QVERIFY(writeFile(file, bytes.replace(at, found.size(), replacement)));
        Harness h;
        // Start-up values, none of them the file's.
        const QStringList before = controlsAt(h, false);
        h.dialogs.openFileAnswers << file;
        QVERIFY(h.trigger(QStringLiteral("Open Settings...")));
        QCOMPARE(controlsAt(h, false), before);
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
