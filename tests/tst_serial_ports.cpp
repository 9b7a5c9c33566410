// The device each port option stands for: the system's ports in their documented
// order, ports pinned on the command line, and the tips that name them.
#include "Harness.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

namespace {

const QString kNoSuchPort = QStringLiteral("No such port on this computer");

// Pins ports as "--port" values would, failing the test on a refused value.
bool pin(SerialPortNames& names, const QStringList& values)
{
    QString error;
    const auto pins = SerialPortNames::parsePins(values, error);
    if (!pins)
        qWarning("%s", qPrintable(error));
    else
        names.pin(*pins);
    return pins.has_value();
}

void connectPort(Harness& h, int port)
{
    h.comm().serialOption->setChecked(true);
    h.comm().portOptions[port - 1]->setChecked(true);
    Harness::click(h.comm().connectButton);
}

} // namespace

class SerialPortsTest : public QObject
{
    Q_OBJECT

private slots:
    // A link that leads to the reader's device, as a stable name leads to an
    // adapter, programs the reader as a listed port would.
    void pinnedLinkProgramsTheReader()
    {
        QTemporaryDir folder;
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
        QVERIFY(h.pty.open());
        const QString link = folder.filePath(QStringLiteral("usb-KARVEL_Reader_0042-if00-port0"));
        QVERIFY(QFile::link(h.pty.slavePath(), link));
        QVERIFY(pin(h.app.portNames(), {"7=" + link}));
        connectPort(h, 7);
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));
        QCOMPARE(h.comm().reasonLine->text(), QString());
        h.programReader();
        QCOMPARE(h.pane().constLast(), QStringLiteral("Programming Complete"));
    }

    void goodPortValuesPinPorts_data()
    {
        // "port=device" for each pinned port, in order.
        addColumns<QStringList, QStringList>({"values", "pinned"});
        const auto row = [](const char* name, const QStringList& values,
                            const QStringList& pinned) { QTest::newRow(name) << values << pinned; };
        row("first and last, in any order", {"8=/dev/ttyUSB1", "1=/dev/serial/by-id/usb-A"},
            {"1=/dev/serial/by-id/usb-A", "8=/dev/ttyUSB1"});
        row("name in /dev", {"2=ttyACM0"}, {"2=/dev/ttyACM0"});
        row("relative path", {"4=lab/../reader"}, {"4=" + QDir::currentPath() + "/reader"});
        row("equals sign in the path", {"6=/tmp/a=b"}, {"6=/tmp/a=b"});
        row("leading zero", {"03=/dev/ttyS4"}, {"3=/dev/ttyS4"});
    }
    void goodPortValuesPinPorts()
    {
        SKIP_ON_WINDOWS_PORT_NAMES();
        const auto [values, pinned] = fetch<QStringList, QStringList>("values", "pinned");
        SerialPortNames names;
        names.setSystemPorts([] { return QStringList(); });
        QVERIFY(pin(names, values));
        QStringList found;
        for (int port = 1; port <= 8; ++port)
            if (!names.deviceFor(port).isEmpty())
                found << QStringLiteral("%1=%2").arg(port).arg(names.deviceFor(port));
        QCOMPARE(found, pinned);
    }

    // Port n is the n-th port in this order: ttyS by number, ttyUSB by
    // number, ttyACM by number, then any other by name. Sorting the names as
    // text would put ttyS10 before ttyS2 and ttyUSB10 before ttyUSB9.
    void portOptionsStandForPortsInTheDocumentedOrder_data()
    {
        // Expected: ports 1 to 8, those with a device.
        addColumns<QStringList, QStringList, QString>({"reported", "expected", "reasonForPort8"});
        // Devices in /dev, named with blanks between them.
        const auto row = [](const char* name, const char* reported, const char* expected,
                            const QString& reason) {
            const auto devices = [](const char* names) {
                QStringList list = QString::fromLatin1(names).split(' ');
                for (QString& device : list)
                    device.prepend(QLatin1String("/dev/"));
                return list;
            };
            QTest::newRow(name) << devices(reported) << devices(expected) << reason;
        };
        row("every family", "ttyUSB10 ttyS10 ttyACM0 ttyS2 rfcomm0 ttyUSB9 ttyAMA0 ttyS0 ttyUSB0",
            "ttyS0 ttyS2 ttyS10 ttyUSB0 ttyUSB9 ttyUSB10 ttyACM0 rfcomm0", QString());
        row("adapters only, fewer than eight", "ttyACM10 ttyUSB1 ttyACM2 ttyUSB0",
            "ttyUSB0 ttyUSB1 ttyACM2 ttyACM10",
            "Port 8 has no serial device on this computer. Ports with a device: "
            "1 (/dev/ttyUSB0), 2 (/dev/ttyUSB1), 3 (/dev/ttyACM2), 4 (/dev/ttyACM10).");
        row("others by name", "ttyXRUSB0 ttyAMA1 ttyS1 rfcomm1 ttyAMA0",
            "ttyS1 rfcomm1 ttyAMA0 ttyAMA1 ttyXRUSB0", QString());
    }
    void portOptionsStandForPortsInTheDocumentedOrder()
    {
        SKIP_ON_WINDOWS_PORT_NAMES();
        const auto [reported, expected, reasonForPort8] =
            fetch<QStringList, QStringList, QString>("reported", "expected", "reasonForPort8");
        QTemporaryDir noStableNames;
        Harness h;
        h.app.portNames().setSystemPorts([reported] { return reported; });
        h.app.portNames().setStableNameFolder(noStableNames.path());
        for (int port = 1; port <= 8; ++port)
            QCOMPARE(h.portTip(port), expected.value(port - 1, kNoSuchPort));
        // A port with no device says which options have one, in the same order.
        if (!reasonForPort8.isEmpty()) {
            connectPort(h, 8);
            QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
            QCOMPARE(h.comm().reasonLine->text(), reasonForPort8);
        }
    }

    // A USB adapter's link in the stable-name folder is shown beside its
    // device; a port pinned to that link shows the device it leads to now.
    void tipsShowStableNames()
    {
        SKIP_ON_WINDOWS_PORT_NAMES();
        QTemporaryDir folder;
        const QString base = QDir(folder.path()).canonicalPath();
        QVERIFY(QDir(base).mkpath(QStringLiteral("dev")));
        QVERIFY(QDir(base).mkpath(QStringLiteral("by-id")));
        for (const char* name : {"ttyS0", "ttyUSB0", "ttyUSB1", "ttyACM0"})
            QVERIFY(writeFile(base + "/dev/" + name, {}));
        const QString adapter = base + "/by-id/usb-Acme_USB_UART_A10K1XYZ-if00-port0";
        const QString acm = base + "/by-id/usb-KARVEL_Reader_0042-if00";
        // Relative links, as the system makes them, and one whose adapter is gone.
        QVERIFY(QFile::link(QStringLiteral("../dev/ttyUSB1"), adapter));
        QVERIFY(QFile::link(QStringLiteral("../dev/ttyACM0"), acm));
        QVERIFY(QFile::link(QStringLiteral("../dev/ttyUSB7"), base + "/by-id/usb-gone-if00"));

        Harness h;
        h.app.portNames().setSystemPorts([base] {
            return QStringList{base + "/dev/ttyACM0", base + "/dev/ttyUSB1", base + "/dev/ttyUSB0",
                               base + "/dev/ttyS0"};
        });
        h.app.portNames().setStableNameFolder(base + "/by-id");
        QVERIFY(pin(h.app.portNames(), {"6=" + adapter, "7=" + base + "/by-id/usb-gone-if00"}));

        QCOMPARE(h.portTip(1), base + "/dev/ttyS0");
        QCOMPARE(h.portTip(2), base + "/dev/ttyUSB0");
        QCOMPARE(h.portTip(3), base + "/dev/ttyUSB1\nStable name: " + adapter);
        QCOMPARE(h.portTip(4), base + "/dev/ttyACM0\nStable name: " + acm);
        QCOMPARE(h.portTip(5), kNoSuchPort);
        QCOMPARE(h.portTip(6), adapter + "\nDevice: " + base + "/dev/ttyUSB1");
        QCOMPARE(h.portTip(7), base + "/by-id/usb-gone-if00");

        // A pinned device that is not there fails like any port: the state
        // stays "Disconnected", no box appears, and the reason line names it.
        connectPort(h, 7);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.comm().reasonLine->text(),
                 base + "/by-id/usb-gone-if00 could not be opened: the device does not exist.");
    }
};

QTEST_MAIN(SerialPortsTest)
#include "tst_serial_ports.moc"
