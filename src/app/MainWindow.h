#pragma once

#include "comm/CommandChannel.h"
#include "comm/SerialLink.h"
#include "comm/TcpLink.h"

#include <QMainWindow>
#include <QTimer>

struct AppState;
class Dialogs;
class SerialPortNames;
class CommandMenu;
class CommunicationsWindow;
class GeneralSetupWindow;
class ProxSetupWindow;
class ProgressWindow;
class UtilitiesWindow;
class DownloadWindow;
class BootExtensionWindow;
class TerminalWindow;
class LoopbackWindow;

// The main window: holds the command menu and the working windows, the two
// link objects and the two timers. Windows are created on first use and
// live until the program ends, since a waiting procedure may still use them.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kHeightTwips = 8500;
    static constexpr int kWidthTwips = 13500;
    static constexpr int kMenuWidthTwips = 2500;

    MainWindow(AppState& state, Dialogs& dialogs, const SerialPortNames& portNames);
    ~MainWindow() override;

    AppState& state() { return m_state; }
    Dialogs& dialogs() { return m_dialogs; }
    CommandChannel& channel() { return m_channel; }

    CommandMenu& menu();
    CommunicationsWindow& communications();
    GeneralSetupWindow& generalSetup();
    ProxSetupWindow& proxSetup();
    ProgressWindow& programming();
    UtilitiesWindow& readerUtilities();
    DownloadWindow& flashDownload();
    BootExtensionWindow& bootExtension();
    TerminalWindow& terminal();
    LoopbackWindow& loopbackTest();
    // Sets stopMonitor; a terminal run that was active no longer holds the
    // one-operation mark, so the command that stopped it may run its own.
    void stopTerminalRun();

    // Working windows lie right of the command menu at the working area's full height.
    void placeWorkWindow(QWidget* window);
    // Shows a working window and brings it to the front.
    static void bringToFront(QWidget* window);

    QWidget* workArea() const { return m_workArea; }

    SerialLink serialLink;
    TcpLink tcpLink;
    QTimer blinkTimer; // blinks the connection state

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window in the slot, made and placed on first use.
    template <typename Window, typename... Args> Window& workWindow(Window*& slot, Args&&... args);
    void blinkStateLabel();
    void showAbout();
    void openSettings();
    void saveSettings();

    AppState& m_state;
    Dialogs& m_dialogs;
    CommandChannel m_channel;
    QWidget* m_workArea;

    CommandMenu* m_menu = nullptr;
    CommunicationsWindow* m_comm = nullptr;
    GeneralSetupWindow* m_generalSetup = nullptr;
    ProxSetupWindow* m_proxSetup = nullptr;
    ProgressWindow* m_progress = nullptr;
    UtilitiesWindow* m_utilities = nullptr;
    DownloadWindow* m_download = nullptr;
    BootExtensionWindow* m_bootExtension = nullptr;
    TerminalWindow* m_terminal = nullptr;
    LoopbackWindow* m_loopback = nullptr;
};
