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
    // Sets StopMonitor; a terminal run that was active no longer holds the
    // one-operation mark, so the command that stopped it may run its own.
    void stopTerminalRun();

    // Working windows lie right of the command menu at the working area's full height.
    void PlaceWorkWindow(QWidget* window);
    // Shows a working window and brings it to the front.
    static void bringToFront(QWidget* window);

    QWidget* workArea() const { return m_workArea; }

    SerialLink MSComm1;
    TcpLink tcpclient;
    QTimer Timer1; // reply time-out, armed by the command channel
    QTimer Timer2; // blinks the connection state

signals:
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void blinkStateLabel();
    void showAbout();
    void openSettings();
    void saveSettings();

    AppState& m_state;
    Dialogs& m_dialogs;
    CommandChannel m_channel;
    QWidget* m_workArea;
    QAction* m_ab;

    CommandMenu* m_menu = nullptr;
    CommunicationsWindow* m_comm = nullptr;
    GeneralSetupWindow* m_general = nullptr;
    ProxSetupWindow* m_wiegand = nullptr;
    ProgressWindow* m_pgm = nullptr;
    UtilitiesWindow* m_utilities = nullptr;
    DownloadWindow* m_flashdl = nullptr;
    BootExtensionWindow* m_flashboot2 = nullptr;
    TerminalWindow* m_term = nullptr;
    LoopbackWindow* m_loopback = nullptr;
};
