#include "MainWindow.h"

#include "AboutBox.h"
#include "AppState.h"
#include "CommandMenu.h"
#include "Dialogs.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/Profile.h"
#include "config/ProxSetupWindow.h"
#include "config/SettingsReaders.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalWindow.h"
#include "firmware/DownloadWindow.h"
#include "program/ProgressWindow.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

MainWindow::MainWindow(AppState& state, Dialogs& dialogs, const SerialPortNames& portNames)
    : MSComm1(portNames), m_state(state), m_dialogs(dialogs),
      m_channel(state, MSComm1, tcpclient, Timer1)
{
    setWindowTitle(QStringLiteral("ZEL  KARVEL UTILITY  V 2.1"));
    QMenu* settings = menuBar()->addMenu(QStringLiteral("Settings"));
    settings->addAction(QStringLiteral("Open Settings..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                        this, &MainWindow::openSettings);
    settings->addAction(QStringLiteral("Save Settings As..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                        this, &MainWindow::saveSettings);
    m_ab = menuBar()->addAction(QStringLiteral("About          "));
    connect(m_ab, &QAction::triggered, this, &MainWindow::showAbout);

    m_workArea = new QWidget(this);
    m_workArea->setAccessibleName(QStringLiteral("Working area"));
    setCentralWidget(m_workArea);
    resize(twipsToPixels(kWidthTwips, this), twipsToPixels(kHeightTwips, this));

    // The channel set the reply timer's interval; it stays off until a read arms it.
    Timer1.stop();

    Timer2.setInterval(500);
    connect(&Timer2, &QTimer::timeout, this, &MainWindow::blinkStateLabel);
    Timer2.start();
}

MainWindow::~MainWindow() = default;

CommandMenu& MainWindow::menu()
{
    if (!m_menu)
        m_menu = new CommandMenu(*this, m_workArea);
    return *m_menu;
}

CommunicationsWindow& MainWindow::communications()
{
    if (!m_comm) {
        m_comm = new CommunicationsWindow(m_state, MSComm1, tcpclient, m_dialogs, m_workArea);
        connect(m_comm, &CommunicationsWindow::connectionStateChanged, this,
                [this](const QString& text) { menu().setConnectionState(text); });
        m_comm->setConnectionStateReader([this] { return menu().connectionState(); });
        PlaceWorkWindow(m_comm);
    }
    return *m_comm;
}

GeneralSetupWindow& MainWindow::generalSetup()
{
    if (!m_general) {
        m_general = new GeneralSetupWindow(m_workArea);
        PlaceWorkWindow(m_general);
    }
    return *m_general;
}

ProxSetupWindow& MainWindow::proxSetup()
{
    if (!m_wiegand) {
        m_wiegand = new ProxSetupWindow(m_workArea);
        PlaceWorkWindow(m_wiegand);
    }
    return *m_wiegand;
}

ProgressWindow& MainWindow::programming()
{
    if (!m_pgm) {
        m_pgm = new ProgressWindow(m_state, m_channel, generalSetup(), proxSetup(), m_workArea);
        PlaceWorkWindow(m_pgm);
    }
    return *m_pgm;
}

UtilitiesWindow& MainWindow::readerUtilities()
{
    if (!m_utilities) {
        m_utilities = new UtilitiesWindow(
            m_state, m_channel, m_dialogs, [this] { return menu().connected(); }, m_workArea);
        PlaceWorkWindow(m_utilities);
    }
    return *m_utilities;
}

DownloadWindow& MainWindow::flashDownload()
{
    if (!m_flashdl) {
        m_flashdl = new DownloadWindow(m_state, m_channel, m_dialogs, m_workArea);
        PlaceWorkWindow(m_flashdl);
    }
    return *m_flashdl;
}

BootExtensionWindow& MainWindow::bootExtension()
{
    if (!m_flashboot2) {
        m_flashboot2 = new BootExtensionWindow(m_state, m_channel, m_dialogs, m_workArea);
        PlaceWorkWindow(m_flashboot2);
    }
    return *m_flashboot2;
}

TerminalWindow& MainWindow::terminal()
{
    if (!m_term) {
        m_term = new TerminalWindow(m_state, m_channel, m_workArea);
        PlaceWorkWindow(m_term);
    }
    return *m_term;
}

LoopbackWindow& MainWindow::loopbackTest()
{
    if (!m_loopback) {
        m_loopback = new LoopbackWindow(m_state, m_channel, m_workArea);
        PlaceWorkWindow(m_loopback);
    }
    return *m_loopback;
}

void MainWindow::stopTerminalRun()
{
    m_state.StopMonitor = true;
    if (m_term)
        m_term->stopRun();
}

void MainWindow::PlaceWorkWindow(QWidget* window)
{
    // The command menu has a fixed width, so placing a window never needs
    // the menu itself (some windows are placed before the menu exists).
    // Sizes follow the working area as it is now; they are not adjusted later.
    const int left = twipsToPixels(kMenuWidthTwips, this) + 1;
    // The working area is the client area below the menu bar; computed
    // rather than read so it is right before the main window is first laid out.
    const QSize area(width(), height() - menuBar()->sizeHint().height());
    window->setGeometry(left, 0, area.width() - left, area.height());
}

void MainWindow::bringToFront(QWidget* window)
{
    window->show();
    window->raise();
}

void MainWindow::blinkStateLabel()
{
    menu().blinkConnectionState();
}

void MainWindow::showAbout()
{
    AboutBox box(this);
    box.exec();
}

void MainWindow::openSettings()
{
    const std::optional<QString> path =
        m_dialogs.chooseOpenFile(QStringLiteral("Settings Profiles (*.json)"));
    if (!path)
        return;
    const ProfileReadResult read = loadProfile(*path);
    if (!read.profile) {
        m_dialogs.inform(QStringLiteral("Nothing was changed. %1 cannot be used:\n")
                             .arg(QFileInfo(*path).fileName()) +
                         read.errors.join(QLatin1Char('\n')));
        return;
    }
    writeGeneralValues(generalSetup(), read.profile->general);
    writeProxValues(proxSetup(), read.profile->prox);
}

void MainWindow::saveSettings()
{
    const std::optional<QString> path = m_dialogs.chooseSaveFile(
        QStringLiteral("settings.json"), QStringLiteral("Settings Profiles (*.json)"),
        QStringLiteral("json"));
    if (!path)
        return;
    Profile profile;
    profile.general = readGeneralValues(generalSetup());
    profile.prox = readProxValues(proxSetup());
    QString error;
    if (!saveProfile(*path, profile, &error))
        m_dialogs.inform(QStringLiteral("The settings were not saved to %1: %2").arg(*path, error));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Ends the program at once, even inside a waiting operation: waits see
    // Closing and return, and the outermost event loop then ends.
    m_state.Closing = true;
    Timer1.stop();
    Timer2.stop();
    MSComm1.close();
    tcpclient.close();
    event->accept();
    QCoreApplication::quit();
}
