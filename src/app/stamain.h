#pragma once

#include "comm/CommandChannel.h"
#include "comm/SerialLink.h"
#include "comm/TcpLink.h"

#include <QMainWindow>
#include <QTimer>

struct AppState;
class Dialogs;
class SerialPortNames;
class commandmenu;
class commform;
class general;
class wiegand;
class pgmform;
class utilities;
class flashdl;
class flashboot2;
class termmode;
class loopback;

// The main window: holds the command menu and the working windows, the two
// link objects and the two timers. Windows are created on first use and
// live until the program ends, since a waiting procedure may still use them.
class stamain : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kHeightTwips = 8500;
    static constexpr int kWidthTwips = 13500;
    static constexpr int kMenuWidthTwips = 2500;

    stamain(AppState& state, Dialogs& dialogs, const SerialPortNames& portNames);
    ~stamain() override;

    AppState& state() { return m_state; }
    Dialogs& dialogs() { return m_dialogs; }
    CommandChannel& channel() { return m_channel; }

    commandmenu& menu();
    commform& communications();
    general& generalSetup();
    wiegand& proxSetup();
    pgmform& programming();
    utilities& readerUtilities();
    flashdl& flashDownload();
    flashboot2& bootExtension();
    termmode& terminal();
    loopback& loopbackTest();
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

    commandmenu* m_menu = nullptr;
    commform* m_comm = nullptr;
    general* m_general = nullptr;
    wiegand* m_wiegand = nullptr;
    pgmform* m_pgm = nullptr;
    utilities* m_utilities = nullptr;
    flashdl* m_flashdl = nullptr;
    flashboot2* m_flashboot2 = nullptr;
    termmode* m_term = nullptr;
    loopback* m_loopback = nullptr;
};
