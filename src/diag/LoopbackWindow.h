#pragma once

#include "EchoLog.h"
#include "EchoTest.h"
#include "comm/EventWait.h"

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

    QLabel* heading;
    QPushButton* startButton; // Start Loopback Test from User Code
    QPushButton* stopButton;
    QPushButton* clearButton;
    QListView* resultList;
    EchoLog log;
    QLabel* sentCounter; // characters sent, at every thousand
    // The pause after the attention sequence and each echo wait.
    eventwait::Deadline deadline;

    // Runs the whole test; returns when it ends. While another reader
    // operation (this test included) runs, only says so in the list.
    void startTest();
    // Ends the test under way before its next character.
    void stopTest();
    void clearList();
    bool stopRequested() const { return m_stopRequested; }

    // Passes and waits; tests and the benchmark shorten them.
    void setTiming(const echotest::Timing& timing) { m_timing = timing; }

private:
    enum class Echo
    {
        Good,
        Bad,
        TimedOut,
        LinkClosed
    };
    Echo awaitEcho(Link& link, echotest::EchoJudge& judge, bool tcp, std::uint8_t& received);
    // The passes; the tally says how they went, up to the end.
    echotest::Tally runPasses(Link& link, echotest::EchoJudge& judge, bool tcp);

    AppState& m_state;
    CommandChannel& m_channel;
    echotest::Timing m_timing;
    bool m_stopRequested = false;
};
