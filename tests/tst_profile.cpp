// Settings profiles saved from and opened into the setup windows through
// the "Settings" menu.
#include "Harness.h"

#include "app/stamain.h"
#include "config/SettingsReaders.h"
#include "config/general.h"
#include "config/wiegand.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

void trigger(Harness& h, const QString& text)
{
    for (QAction* menu : h.main().menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (QAction* action : menu->menu()->actions()) {
            if (action->text() == text) {
                action->trigger();
                return;
            }
        }
    }
    QFAIL(qPrintable(QStringLiteral("no menu entry ") + text));
}

// Everything the two windows hold, for comparing one state with another.
QByteArray snapshot(Harness& h)
{
    const GeneralValues g = readGeneralValues(h.main().generalSetup());
    const ProxValues x = readProxValues(h.main().proxSetup());
    QStringList parts{g.lowPowerSetting, g.sleepTime, g.idLength, g.readerId, g.readerDescription};
    for (Qt::CheckState state : {g.beepOnGoodRead, g.maskingOn, g.hid, g.farpointe, g.awid,
                                 g.includeDateTime, g.includeReaderId, g.includeReaderDescription})
        parts << QString::number(state);
    for (const QString& text : x.Text1)
        parts << text;
    for (std::size_t i = 0; i < x.Text2.size(); ++i)
        parts << x.Text2[i] << x.Text3[i];
    for (int number = 1; number <= 24; ++number)
        parts << QString::number(x.Check[number]);
    return parts.join(QLatin1Char('|')).toUtf8();
}

// Sets every control away from its start value, each to something of its own.
void fillEveryControl(Harness& h)
{
    general& gen = h.main().generalSetup();
    const Qt::CheckState cycle[] = {Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked};
    int n = 0;
    for (QCheckBox* box : {gen.Check1, gen.Check5, gen.Check6, gen.Check7, gen.Check8, gen.Check15,
                           gen.Check16, gen.Check18})
        box->setCheckState(cycle[n++ % 3]);
    gen.Text5[3]->setText(QStringLiteral("07"));
    gen.Text5[2]->setText(QStringLiteral("9"));
    gen.Text5[0]->setText(QStringLiteral("12"));
    gen.Text5[7]->setText(QStringLiteral("54321"));
    gen.Text5[8]->setText(QStringLiteral("0123456789"));
    wiegand& prox = h.main().proxSetup();
    for (int i = 0; i < 30; ++i)
        prox.Text1[i]->setText(QString::number(i + 1));
    for (int i = 0; i < 15; ++i) {
        prox.Text2[i]->setText(QString::number(i + 40));
        prox.Text3[i]->setText(QString::number(i + 200));
    }
    for (int number : {1, 2, 14, 22, 24})
        prox.check(number)->setChecked(true);
    prox.check(3)->setCheckState(Qt::PartiallyChecked);
    prox.check(13)->setChecked(true); // Const of mask 2, row 1: pins its Start
}

} // namespace

class ProfileTest : public QObject
{
    Q_OBJECT

private slots:
    void everyValueTravelsThroughAFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("site.json"));
        QByteArray saved;
        {
            Harness h;
            fillEveryControl(h);
            saved = snapshot(h);
            h.dialogs.saveFileAnswers << path;
            trigger(h, QStringLiteral("Save Settings As..."));
            QVERIFY(h.dialogs.messages.isEmpty());
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(root.value("version").toInt(), 1);
        QCOMPARE(root.value("General Setup").toObject().value("Reader ID").toString(),
                 QStringLiteral("54321"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"site.json"});

        Harness h;
        const QByteArray startValues = snapshot(h);
        QVERIFY(startValues != saved);
        h.dialogs.openFileAnswers << path;
        trigger(h, QStringLiteral("Open Settings..."));
        QVERIFY2(h.dialogs.messages.isEmpty(), qPrintable(h.dialogs.messages.join('\n')));
        QCOMPARE(snapshot(h), saved);
        // The Const box's handler ran: its Start box is pinned.
        QVERIFY(!h.main().proxSetup().Text2[5]->isEnabled());
        QCOMPARE(h.main().proxSetup().Text2[5]->text(), QStringLiteral("00"));
    }

    // A bad profile changes nothing and says which entry is wrong and why.
    void badProfileChangesNothing_data()
    {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("letter") << QStringList{"General Setup", "Reader ID"} << QJsonValue("12a")
                                << "General Setup / Reader ID: \"12a\" holds a character other "
                                   "than a digit";
        QTest::newRow("too long")
            << QStringList{"Prox Setup", "Prox Format # 2", "Total Bits"} << QJsonValue("1234")
            << "Prox Setup / Prox Format # 2 / Total Bits: \"1234\" is longer than 3 digits";
        QTest::newRow("check") << QStringList{"Prox Setup", "Prox Format # 1", "ID", "Lsb"}
                               << QJsonValue("maybe")
                               << "Prox Setup / Prox Format # 1 / ID / Lsb: \"maybe\" is not "
                                  "checked, unchecked or grey";
        QTest::newRow("missing") << QStringList{"General Setup", "HID"} << QJsonValue()
                                 << "General Setup / HID: missing";
        QTest::newRow("const start")
            << QStringList{"Prox Setup", "Prox Mask 3", "Mask 2", "Const"} << QJsonValue("checked")
            << "Prox Setup / Prox Mask 3 / Mask 2: Const is checked, so Start must be \"00\", "
               "not \"05\"";
        QTest::newRow("newer") << QStringList{"version"} << QJsonValue(2)
                               << "This profile is format version 2, written by a newer utility; "
                                  "this one reads version 1.";
        QTest::newRow("not a profile")
            << QStringList{"kind"} << QJsonValue("notes") << "This file is not a settings profile.";
    }
    void badProfileChangesNothing()
    {
        QFETCH(QStringList, path);
        QFETCH(QJsonValue, value);
        QFETCH(QString, error);
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("bad.json"));
        Harness h;
        h.main().proxSetup().Text2[11]->setText(QStringLiteral("05"));
        h.dialogs.saveFileAnswers << file;
        trigger(h, QStringLiteral("Save Settings As..."));

        QFile json(file);
        QVERIFY(json.open(QIODevice::ReadOnly));
        QJsonObject root = QJsonDocument::fromJson(json.readAll()).object();
        json.close();
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
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(QJsonDocument(root).toJson());
        json.close();

        fillEveryControl(h);
        const QByteArray before = snapshot(h);
        h.dialogs.openFileAnswers << file;
        trigger(h, QStringLiteral("Open Settings..."));
        QCOMPARE(snapshot(h), before);
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY2(h.dialogs.messages.first().split('\n').contains(error),
                 qPrintable(h.dialogs.messages.first()));
    }

    void failedSaveLeavesNoFile()
    {
        QTemporaryDir folder;
        Harness h;
        h.dialogs.saveFileAnswers << folder.filePath(QStringLiteral("missing/site.json"));
        trigger(h, QStringLiteral("Save Settings As..."));
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages.first().startsWith("The settings were not saved to "));
        QVERIFY(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
};

QTEST_MAIN(ProfileTest)
#include "tst_profile.moc"
