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
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        m_expired = true;
        // On Windows a precise timer's expiry comes among the posted events that an event-loop
        // pass sends before it looks for more; finding nothing more, the pass sleeps on, and a
        // wait on a silent link would never see the expiry. A posted event ends that pass.
        QMetaObject::invokeMethod(
            &m_timer, [] {}, Qt::QueuedConnection);
    });
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
