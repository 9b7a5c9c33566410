#include "MainWindow.h"

#include "AboutBox.h"
#include "CommandMenu.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/Profile.h"
#include "config/ProxSetupWindow.h"
#include "config/SettingsReaders.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
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
    : serialLink(portNames), m_state(state), m_dialogs(dialogs),
      m_channel(state, serialLink, tcpLink)
{
    setWindowTitle(QStringLiteral("ZEL  KARVEL UTILITY  V 2.1"));
    // Alt with the underlined letter opens an entry, whatever box has the focus.
    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    settings->addAction(QStringLiteral("&Open Settings..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                        this, &MainWindow::openSettings);
    settings->addAction(QStringLiteral("&Save Settings As..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                        this, &MainWindow::saveSettings);
    QAction* about = menuBar()->addAction(QStringLiteral("&About          "));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);

    m_workArea = new QWidget(this);
    m_workArea->setAccessibleName(QStringLiteral("Working area"));
    setCentralWidget(m_workArea);
    resize(twipsToPixels(kWidthTwips, this), twipsToPixels(kHeightTwips, this));

    blinkTimer.setInterval(500);
    connect(&blinkTimer, &QTimer::timeout, this, &MainWindow::blinkStateLabel);
    blinkTimer.start();
}

MainWindow::~MainWindow() = default;

CommandMenu& MainWindow::menu()
{
    if (!m_menu)
        m_menu = new CommandMenu(*this, m_workArea);
    return *m_menu;
}

template <typename Window, typename... Args>
Window& MainWindow::workWindow(Window*& slot, Args&&... args)
{
    if (!slot) {
        slot = new Window(std::forward<Args>(args)..., m_workArea);
        placeWorkWindow(slot);
    }
    return *slot;
}

CommunicationsWindow& MainWindow::communications()
{
    if (!m_comm) {
        workWindow(m_comm, m_state, serialLink, tcpLink, m_dialogs);
        connect(m_comm, &CommunicationsWindow::connectionStateChanged, this,
                [this](ConnectionState state) {
                    menu().showConnectionState(state);
                    // What was read over the old link belongs to that reader.
                    if (state == ConnectionState::Connected && m_utilities)
                        m_utilities->forgetReaderValues();
                });
    }
    return *m_comm;
}

GeneralSetupWindow& MainWindow::generalSetup()
{
    return workWindow(m_generalSetup);
}

ProxSetupWindow& MainWindow::proxSetup()
{
    return workWindow(m_proxSetup);
}

ProgressWindow& MainWindow::programming()
{
    return workWindow(m_progress, m_state, m_channel, generalSetup(), proxSetup());
}

UtilitiesWindow& MainWindow::readerUtilities()
{
    return workWindow(m_utilities, m_state, m_channel, m_dialogs);
}

DownloadWindow& MainWindow::flashDownload()
{
    return workWindow(m_download, m_state, m_channel, m_dialogs);
}

BootExtensionWindow& MainWindow::bootExtension()
{
    return workWindow(m_bootExtension, m_state, m_channel, m_dialogs);
}

TerminalWindow& MainWindow::terminal()
{
    return workWindow(m_terminal, m_state, m_channel);
}

LoopbackWindow& MainWindow::loopbackTest()
{
    return workWindow(m_loopback, m_state, m_channel);
}

void MainWindow::stopTerminalRun()
{
    m_state.stopMonitor = true;
    if (m_terminal)
        m_terminal->stopRun();
}

void MainWindow::placeWorkWindow(QWidget* window)
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
    // The windows behind go out of sight, so that Tab walks only what can be
    // seen: the command menu and the window in front.
    for (QWidget* other :
         window->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != window && !qobject_cast<CommandMenu*>(other))
            other->hide();
    }
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
    m_state.closing = true;
    m_channel.replyDeadline().stop();
    blinkTimer.stop();
    serialLink.close();
    tcpLink.close();
    event->accept();
    QCoreApplication::quit();
}
