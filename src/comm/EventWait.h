#pragma once

#include <QTimer>

// The two ways a waiting procedure hands control to the event loop, and the
// time limit such a wait runs under.
namespace eventwait {

// Handles whatever events are pending and returns at once.
void yieldToEventLoop();

// Handles pending events; when there are none, sleeps until the next one
// (socket data, a timer tick, a click). Used when a wait has nothing to do,
// so that a wait never burns a core.
void waitForNextEvent();

// One pass of a polling loop: block only when there is no work pending.
inline void pass(bool workPending)
{
    if (workPending)
        yieldToEventLoop();
    else
        waitForNextEvent();
}

// The time limit of a wait: a precise timer that a waiting procedure arms and
// then checks between passes of the event loop.
class Deadline
{
public:
    Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    // Starts the limit over: it expires ms from now.
    void arm(int ms);
    void stop();
    bool expired() const { return m_expired; }
    // Ends the wait under way now, as the timer would.
    void expire() { m_expired = true; }
    bool isArmed() const { return m_timer.isActive(); }
    // The limit last armed, in milliseconds.
    int interval() const { return m_timer.interval(); }
    Qt::TimerType timerType() const { return m_timer.timerType(); }

    // A pause with nothing to do: arms the limit for ms and sleeps until it
    // expires. False when closing became true first.
    bool waitOut(int ms, const bool& closing);

private:
    QTimer m_timer;
    bool m_expired = false;
};

} // namespace eventwait
