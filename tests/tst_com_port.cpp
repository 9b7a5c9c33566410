// "Program Reader" over serial port 5 to the simulated reader running as a program of its
// own (tst_com_port.sh starts it): under Wine, COM5 linked to the reader's pseudo-terminal;
// elsewhere, the pseudo-terminal pinned to option 5.
#include "Harness.h"

#include "comm/CommunicationsWindow.h"

#include <QLabel>
#include <QRadioButton>
#include <QTest>

class ComPortTest : public QObject
{
    Q_OBJECT

private slots:
    void programsTheReaderOverPortFive()
    {
        const QString received = qEnvironmentVariable("KARVEL_READER_RECEIVED");
        if (received.isEmpty())
            QSKIP("needs the simulated reader program on port 5: run by tst_com_port.sh");
        Harness h;
        if (qEnvironmentVariableIsSet("KARVEL_READER_DEVICE"))
            h.app.portNames().setOverride(5, qEnvironmentVariable("KARVEL_READER_DEVICE"));
        h.comm().serialOption->setChecked(true);
        h.comm().portOptions[4]->setChecked(true);
        QVERIFY(h.clickConnect());
        h.programReader();
        QCOMPARE(h.pane().constLast(), QStringLiteral("Programming Complete"));
        QCOMPARE(fileBytes(received), wire(startUpCommands()));
        // The reader drops its link a second after its last byte, as when its adapter is
        // unplugged: the port is found gone, not waited on.
        QTRY_COMPARE_WITH_TIMEOUT(h.connectionState(), QStringLiteral("Disconnected"), 10000);
        QVERIFY2(h.comm().reasonLine->text().contains(QLatin1String(" went away at ")),
                 qPrintable(h.comm().reasonLine->text()));
    }
};

QTEST_MAIN(ComPortTest)
#include "tst_com_port.moc"
