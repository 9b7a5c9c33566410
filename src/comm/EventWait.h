#pragma once

// The two ways a waiting procedure hands control to the event loop.
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

} // namespace eventwait
