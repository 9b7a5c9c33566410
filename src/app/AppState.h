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
    LinkKind ChosenLink = LinkKind::Serial;
    // Whether a link is open, and which: fixed by OpenLink until CloseLink,
    // so options changed while connected wait for the next connect instead
    // of sending to a link that was never opened.
    ConnectionState Connection = ConnectionState::Disconnected;
    LinkKind ConnectedLink = LinkKind::Serial;
    // The speed of the open serial port, fixed by OpenLink like the link kind
    // (0 while none is open): a baud option ticked since does not change it.
    std::int32_t ConnectedBaudRate = 0;
    // The port and speed ticked in the communications window (0 while none
    // is), applied to the serial port at the next connect.
    std::int16_t ComPortNumber = 0;
    std::int32_t BaudRate = 0;
    QString RemoteAddress;
    QString RemotePortText;

    bool ReplyTimedOut = false;
    bool SendFailed = false;
    bool TcpConnectSeen = false;
    bool TcpTerminalOpen = false;
    bool StopMonitor = false;

    // Entry n: decimal digits of 2^n - 1. Entry 65 is never filled.
    std::array<std::int16_t, 66> DigitsForBits{};

    // Set while a reader operation (programming, reset, utilities command,
    // terminal run, download, echo test) is on the stack. Waits yield to the
    // event loop, so without it a second operation could start inside the
    // first and steal its replies.
    bool OperationRunning = false;

    // Set when the main window closes: every wait returns at once so that
    // the program can end even while an operation is waiting.
    bool Closing = false;

    bool connected() const { return Connection == ConnectionState::Connected; }
    // The open connection's link, else the one chosen.
    LinkKind linkInUse() const { return connected() ? ConnectedLink : ChosenLink; }
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
    explicit OperationMark(AppState& state) : m_state(state), m_acquired(!state.OperationRunning)
    {
        if (m_acquired)
            m_state.OperationRunning = true;
    }
    ~OperationMark()
    {
        if (m_acquired)
            m_state.OperationRunning = false;
    }
    OperationMark(const OperationMark&) = delete;
    OperationMark& operator=(const OperationMark&) = delete;

    bool acquired() const { return m_acquired; }

private:
    AppState& m_state;
    bool m_acquired;
};
