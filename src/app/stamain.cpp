#include "stamain.h"

#include "AppState.h"
#include "Dialogs.h"
#include "about.h"
#include "comm/commform.h"
#include "commandmenu.h"
#include "config/Profile.h"
#include "config/SettingsReaders.h"
#include "config/general.h"
#include "config/wiegand.h"
#include "diag/loopback.h"
#include "diag/termmode.h"
#include "firmware/flashdl.h"
#include "program/pgmform.h"
#include "utilities/utilities.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

stamain::stamain(AppState& state, Dialogs& dialogs, const SerialPortNames& portNames)
    : MSComm1(portNames), m_state(state), m_dialogs(dialogs),
      m_channel(state, MSComm1, tcpclient, Timer1)
{
    setWindowTitle(QStringLiteral("ZEL  KARVEL UTILITY  V 2.1"));
    QMenu* settings = menuBar()->addMenu(QStringLiteral("Settings"));
    settings->addAction(QStringLiteral("Open Settings..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                        this, &stamain::openSettings);
    settings->addAction(QStringLiteral("Save Settings As..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                        this, &stamain::saveSettings);
    m_ab = menuBar()->addAction(QStringLiteral("About          "));
    connect(m_ab, &QAction::triggered, this, &stamain::showAbout);

    m_workArea = new QWidget(this);
    m_workArea->setAccessibleName(QStringLiteral("Working area"));
    setCentralWidget(m_workArea);
    resize(twipsToPixels(kWidthTwips, this), twipsToPixels(kHeightTwips, this));

    // The channel set the reply timer's interval; it stays off until a read arms it.
    Timer1.stop();

    Timer2.setInterval(500);
    connect(&Timer2, &QTimer::timeout, this, &stamain::blinkStateLabel);
    Timer2.start();
}

stamain::~stamain() = default;

commandmenu& stamain::menu()
{
    if (!m_menu)
        m_menu = new commandmenu(*this, m_workArea);
    return *m_menu;
}

commform& stamain::communications()
{
    if (!m_comm) {
        m_comm = new commform(m_state, MSComm1, tcpclient, m_dialogs, m_workArea);
        connect(m_comm, &commform::connectionStateChanged, this,
                [this](const QString& text) { menu().setConnectionState(text); });
        m_comm->setConnectionStateReader([this] { return menu().connectionState(); });
        PlaceWorkWindow(m_comm);
    }
    return *m_comm;
}

general& stamain::generalSetup()
{
    if (!m_general) {
        m_general = new general(m_workArea);
        PlaceWorkWindow(m_general);
    }
    return *m_general;
}

wiegand& stamain::proxSetup()
{
    if (!m_wiegand) {
        m_wiegand = new wiegand(m_workArea);
        PlaceWorkWindow(m_wiegand);
    }
    return *m_wiegand;
}

pgmform& stamain::programming()
{
    if (!m_pgm) {
        m_pgm = new pgmform(m_state, m_channel, generalSetup(), proxSetup(), m_workArea);
        PlaceWorkWindow(m_pgm);
    }
    return *m_pgm;
}

utilities& stamain::readerUtilities()
{
    if (!m_utilities) {
        m_utilities = new utilities(
            m_state, m_channel, m_dialogs, [this] { return menu().connected(); }, m_workArea);
        PlaceWorkWindow(m_utilities);
    }
    return *m_utilities;
}

flashdl& stamain::flashDownload()
{
    if (!m_flashdl) {
        m_flashdl = new flashdl(m_state, m_channel, m_dialogs, m_workArea);
        PlaceWorkWindow(m_flashdl);
    }
    return *m_flashdl;
}

flashboot2& stamain::bootExtension()
{
    if (!m_flashboot2) {
        m_flashboot2 = new flashboot2(m_state, m_channel, m_dialogs, m_workArea);
        PlaceWorkWindow(m_flashboot2);
    }
    return *m_flashboot2;
}

termmode& stamain::terminal()
{
    if (!m_term) {
        m_term = new termmode(m_state, m_channel, m_workArea);
        PlaceWorkWindow(m_term);
    }
    return *m_term;
}

loopback& stamain::loopbackTest()
{
    if (!m_loopback) {
        m_loopback = new loopback(m_state, m_channel, m_workArea);
        PlaceWorkWindow(m_loopback);
    }
    return *m_loopback;
}

void stamain::stopTerminalRun()
{
    m_state.StopMonitor = true;
    if (m_term)
        m_term->stopRun();
}

void stamain::PlaceWorkWindow(QWidget* window)
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

void stamain::bringToFront(QWidget* window)
{
    window->show();
    window->raise();
}

void stamain::blinkStateLabel()
{
    menu().blinkConnectionState();
}

void stamain::showAbout()
{
    about box(this);
    box.exec();
}

void stamain::openSettings()
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

void stamain::saveSettings()
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

void stamain::closeEvent(QCloseEvent* event)
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
