#pragma once

#include <QString>

#include <array>
#include <cstdint>

// How the PC reaches the reader.
enum class LinkKind : std::uint8_t
{
    Tcp,
    Serial,
};

enum class ConnectionState : std::uint8_t
{
    Disconnected,
    Connected,
};

// The one record of state shared by all windows of one running utility.
// Owned by UtilityApp and handed to each window by reference.
struct AppState
{
    // The kind of link chosen in the communications window.
    LinkKind chosenLink = LinkKind::Serial;
    // Whether a link is open, and which: fixed by openLink until closeLink,
    // so options changed while connected wait for the next connect instead
    // of sending to a link that was never opened.
    ConnectionState connection = ConnectionState::Disconnected;
    LinkKind connectedLink = LinkKind::Serial;
    // The speed of the open serial port, fixed by openLink like the link kind
    // (0 while none is open): a baud option ticked since does not change it.
    std::int32_t connectedBaudRate = 0;
    // The port and speed ticked in the communications window (0 while none
    // is), applied to the serial port at the next connect.
    std::int16_t chosenPortNumber = 0;
    std::int32_t chosenBaudRate = 0;
    QString remoteAddress;
    QString remotePortText;

    bool sendFailed = false;
    bool tcpConnectSeen = false;
    bool tcpTerminalOpen = false;
    bool stopMonitor = false;
    // The reader was last seen echoing what it is sent: an echo test left it
    // so, or a reply was the command itself. A real reply clears it; until
    // then a command that expects no reply waits for its echo.
    bool readerEchoing = false;

    // Entry n: decimal digits of 2^n - 1. Entry 65 is never filled.
    std::array<std::int16_t, 66> digitsForBits{};

    // Set while a reader operation (programming, reset, utilities command,
    // terminal run, download, echo test) is on the stack. Waits yield to the
    // event loop, so without it a second operation could start inside the
    // first and steal its replies.
    bool operationRunning = false;

    // Set when the main window closes: every wait returns at once so that
    // the program can end even while an operation is waiting.
    bool closing = false;

    bool connected() const { return connection == ConnectionState::Connected; }
    // The open connection's link, else the one chosen.
    LinkKind linkInUse() const { return connected() ? connectedLink : chosenLink; }
    bool isTcp() const { return linkInUse() == LinkKind::Tcp; }
};

// What a window shows in its usual place when the one-operation mark refuses a click.
inline const QString kOperationRunningText = QStringLiteral("Another reader operation is running");

// Holds the one-operation mark for the lifetime of a reader operation.
// Check acquired() before doing anything: a refused operation sends nothing
// and says so with kOperationRunningText.
class OperationMark
{
public:
    explicit OperationMark(AppState& state) : m_state(state), m_acquired(!state.operationRunning)
    {
        if (m_acquired)
            m_state.operationRunning = true;
    }
    ~OperationMark()
    {
        if (m_acquired)
            m_state.operationRunning = false;
    }
    OperationMark(const OperationMark&) = delete;
    OperationMark& operator=(const OperationMark&) = delete;

    bool acquired() const { return m_acquired; }

private:
    AppState& m_state;
    bool m_acquired;
};
