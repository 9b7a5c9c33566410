#pragma once

#include "EchoLog.h"
#include "EchoTest.h"

#include <QTimer>
#include <QWidget>

struct AppState;
class CommandChannel;
class Link;
class QLabel;
class QListView;
class QPushButton;

// The loopback test: after the attention sequence and "*", every code from 0
// to 255 is sent over and over, and each must come back unchanged and in time.
class LoopbackWindow : public QWidget
{
    Q_OBJECT
public:
    LoopbackWindow(AppState& state, CommandChannel& channel, QWidget* parent);

    QLabel* Label2;        // heading
    QPushButton* Command1; // Start Loopback Test from User Code
    QPushButton* Command3; // Stop Loopback Test
    QPushButton* Command4; // Clear List
    QListView* List1;
    EchoLog log;
    QLabel* Label1; // characters sent
    QTimer Timer1;

    bool TimerExpired = false;
    bool StopRequested = false;

    // Runs the whole test; returns when it ends. While another reader
    // operation (this test included) runs, only says so in the list.
    void Command1_Click();
    void Command3_Click();
    void Command4_Click();

    // Passes and waits; tests and the benchmark shorten them.
    void setTiming(const echotest::Timing& timing) { m_timing = timing; }

signals:
    // The echo command went out: the passes begin.
    void passesStarted();

private:
    void armTimer(int ms);
    // Waits for Timer1; false when the program is closing.
    bool pause(int ms);
    enum class Echo
    {
        Good,
        Bad,
        TimedOut,
        LinkClosed
    };
    Echo awaitEcho(Link& link, echotest::EchoJudge& judge, bool tcp, std::uint8_t sent,
                   std::uint8_t& received);
    // The passes; returns CharsSent at the end.
    std::int64_t runPasses(Link& link, bool tcp);

    AppState& m_state;
    CommandChannel& m_channel;
    echotest::Timing m_timing;
};
