#include "SimListenerPool.h"

#include "SimTcpServer.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/epoll.h>
#include <unistd.h>
#endif

namespace sim {

SimListenerPool::SimListenerPool(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    m_watch = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_watch >= 0) {
        m_notifier = new QSocketNotifier(m_watch, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SimListenerPool::wakeListeners);
    }
#endif
}

SimListenerPool::~SimListenerPool()
{
#ifdef Q_OS_LINUX
    delete m_notifier;
    if (m_watch >= 0)
        ::close(m_watch);
#endif
}

bool SimListenerPool::add(SimTcpServer& server)
{
#ifdef Q_OS_LINUX
    if (m_watch < 0)
        return false;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = m_servers.size();
    if (::epoll_ctl(m_watch, EPOLL_CTL_ADD, int(server.listeningDescriptor()), &event) != 0)
        return false;
    m_servers.push_back(&server);
    server.setAccepting(false);
    // Back to waiting once the client is taken; one still queued wakes it again.
    connect(&server, &SimTcpServer::clientConnected, this,
            [&server] { server.setAccepting(false); });
    return true;
#else
    Q_UNUSED(server);
    return false;
#endif
}

void SimListenerPool::wakeListeners()
{
#ifdef Q_OS_LINUX
    epoll_event events[64];
    const int count = ::epoll_wait(m_watch, events, 64, 0);
    for (int i = 0; i < count; ++i)
        m_servers.at(events[i].data.u64)->setAccepting(true);
#endif
}

} // namespace sim

#include "moc_SimListenerPool.cpp"
