#pragma once

#include "TerminalGrid.h"
#include "TerminalKeys.h"

#include <QWidget>

#include <memory>

struct AppState;
class ClickLabel;
class CommandChannel;
class Link;
class OperationMark;
class QLabel;
class TerminalScreen;

// The terminal window: every byte from the reader drawn into a grid of cells
// in red, every key typed sent at once and drawn in black.
class TerminalWindow : public QWidget
{
    Q_OBJECT
public:
    TerminalWindow(AppState& state, CommandChannel& channel, QWidget* parent);
    ~TerminalWindow() override;

    TerminalScreen* screen;
    QLabel* statusLine;
    QLabel* hintLine;
    ClickLabel* clearButton;

    // The "Terminal Mode" command: status line, clear screen, then the
    // receive loop until stopMonitor is set. Does nothing while another
    // reader operation runs.
    void openRun();
    // Ends a run from outside: sets stopMonitor and stops counting the run as
    // the reader operation, so the command that ended it may start its own.
    void stopRun();
    bool running() const { return m_running; }

    const TerminalGrid& grid() const { return m_grid; }
    // Bytes taken from the link since the run started.
    qint64 receivedCount() const { return m_received; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Takes in and draws what the reader sends until the run is stopped or
    // the program closes.
    void receiveUntilStopped();
    void clearScreen();
    void receive(const QByteArray& bytes);
    // Draws a typed byte in black and sends it.
    void type(std::uint8_t byte);
    bool handleKeyPress(QKeyEvent* event);
    bool handleKeyRelease(QKeyEvent* event);
    Link& link() const;
    bool keysIgnored() const;

    AppState& m_state;
    CommandChannel& m_channel;
    TerminalGrid m_grid;
    TerminalKeys m_keys;
    std::unique_ptr<OperationMark> m_mark;
    bool m_running = false;
    qint64 m_received = 0;
};
