#include "EventWait.h"

#include <QCoreApplication>

namespace eventwait {

void yieldToEventLoop()
{
    QCoreApplication::processEvents();
}

void waitForNextEvent()
{
    // The two-argument overload ignores WaitForMoreEvents and spins.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace eventwait
