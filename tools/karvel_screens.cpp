// Drives the utility against an in-process simulated reader on 127.0.0.1
// and saves what the main window shows at each step as a PNG file.
#include "SimEcho.h"
#include "SimFirmware.h"
#include "SimReader.h"
#include "SimTcpServer.h"
#include "SimUtilities.h"
#include "app/AboutBox.h"
#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "comm/CommunicationsWindow.h"
#include "config/ProxSetupWindow.h"
#include "core/Dialogs.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalScreen.h"
#include "diag/TerminalWindow.h"
#include "firmware/DownloadWindow.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextStream>
#include <QTimer>

namespace {

class YesDialogs : public Dialogs
{
public:
    bool askYesNo(const QString&, Answer) override { return true; }
    void inform(const QString&) override {}
    QString openFile; // answer to the open-file dialog, when set
    std::optional<QString> chooseOpenFile(const QString&) override
    {
        return openFile.isEmpty() ? std::nullopt : std::optional<QString>(openFile);
    }
    std::optional<QString> chooseSaveFile(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    sim::SimReader reader;
    sim::SimTcpServer server(reader);
    if (!server.listen()) {
        QTextStream(stderr) << "cannot listen on 127.0.0.1\n";
        return 1;
    }

    YesDialogs dialogs;
    UtilityApp utility(&dialogs);
    utility.start();
    MainWindow& main = utility.main();
    CommandMenu& menu = main.menu();

    auto save = [&](const char* name) {
        QApplication::processEvents();
        const QString path = folder + QLatin1Char('/') + QLatin1String(name) + ".png";
        main.grab().save(path);
        QTextStream(stdout) << path << '\n';
    };

    save("start-up");
    CommunicationsWindow& comm = main.communications();
    comm.serialOption->setChecked(true);
    comm.portOptions[7]->setChecked(true);
    emit comm.connectButton->clicked();
    save("connect-failed");
    comm.tcpOption->setChecked(true);
    comm.addressBox->setText(QStringLiteral("127.0.0.1"));
    comm.tcpPortBox->setText(QString::number(server.port()));
    emit comm.connectButton->clicked();
    save("connected");
    emit menu.generalSetupEntry->clicked();
    save("general-setup");
    emit menu.proxSetupEntry->clicked();
    save("prox-setup");
    emit menu.programEntry->clicked();
    save("programmed");
    emit menu.resetEntry->clicked();
    save("reset");

    // The utilities window after reading the firmware, the reader's clock and its memory.
    sim::SimUtilities readerService(reader);
    readerService.fillLog(120);
    emit menu.utilitiesEntry->clicked();
    UtilitiesWindow& tools = main.readerUtilities();
    for (ClickLabel* button :
         {tools.firmwareIdButton, tools.getReaderTimeButton, tools.memoryUsageButton})
        emit button->clicked();
    save("utilities");
    // A firmware download, shown as its last block goes out.
    sim::SimFirmware loader(reader);
    const QString image = folder + QStringLiteral("/firmware.bin");
    QFile imageFile(image);
    if (imageFile.open(QIODevice::WriteOnly))
        imageFile.write(QByteArray(5044, '\x5a'));
    imageFile.close();
    dialogs.openFile = image;
    emit menu.flashEntry->clicked();
    DownloadWindow& flash = main.flashDownload();
    flash.setTimeScale(0.01, 1.0);
    emit flash.selectFileButton->clicked();
    QObject::connect(&loader, &sim::SimFirmware::imageComplete, &main,
                     [&save] { save("firmware-download"); });
    emit flash.startButton->clicked();
    QFile::remove(image);
    menu.bootExtensionClicked();
    save("boot2-download");
    // The terminal with received bytes in red and typed ones in black; the
    // run is ended by the next menu entry, as a user ends it.
    sim::SimEcho echo(reader);
    TerminalWindow& terminal = main.terminal();
    QTimer::singleShot(0, &main, [&] {
        reader.sendUnsolicited("OK\r\nKARVEL READER SIM V1.00\r\n{card 12345}~\x7f\x80");
        QTimer::singleShot(100, &main, [&] {
            for (const char* typed : {"hello", "~"})
                QTest::keyClicks(terminal.screen, QString::fromLatin1(typed));
            QTest::keyClick(terminal.screen, Qt::Key_F10);
            QTest::keyClick(terminal.screen, Qt::Key_Return);
            QTimer::singleShot(100, &main, [&] {
                save("terminal");
                emit menu.communicationsEntry->clicked();
            });
        });
    });
    emit menu.terminalEntry->clicked();

    // A short echo test with one wrong byte, opened by Escape in the menu.
    echo.setWrongAt(300, 'A');
    QTest::keyClick(&menu, Qt::Key_Escape);
    LoopbackWindow& echoTest = main.loopbackTest();
    echoTest.setTiming({4, 50, 50, 1000, 1000});
    echoTest.startTest();
    save("loopback");

    // Prox Setup with standard layouts chosen and a 26-bit card checked.
    emit menu.proxSetupEntry->clicked();
    ProxSetupWindow& prox = main.proxSetup();
    for (const auto& [format, layout] :
         {std::pair{1, "35-bit corporate"}, {2, "37-bit with site code"}}) {
        QComboBox* choice = prox.layoutChoice[format];
        choice->setCurrentIndex(choice->findText(QLatin1String(layout)));
        emit choice->activated(choice->currentIndex());
    }
    prox.cardData->setText(QStringLiteral("2F623AE"));
    prox.cardBitCount->setText(QStringLiteral("26"));
    save("card-formats");

    AboutBox box(&main);
    box.show();
    QApplication::processEvents();
    box.grab().save(folder + QStringLiteral("/about.png"));
    QTextStream(stdout) << folder << "/about.png\n";
    return 0;
}
