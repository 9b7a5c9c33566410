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

Deadline::Deadline()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    // Fires once per arming, so a wait that ended without stopping it costs no further wake-ups.
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_expired = true; });
}

void Deadline::arm(int ms)
{
    m_timer.stop();
    m_expired = false;
    m_timer.setInterval(ms);
    m_timer.start();
}

void Deadline::stop()
{
    m_timer.stop();
}

bool Deadline::waitOut(int ms, const bool& closing)
{
    arm(ms);
    while (!m_expired && !closing)
        waitForNextEvent();
    m_timer.stop();
    return !closing;
}

} // namespace eventwait
