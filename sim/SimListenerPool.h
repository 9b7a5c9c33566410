#pragma once

#include <QObject>

#include <vector>

class QSocketNotifier;

namespace sim {

class SimTcpServer;

// Many readers in one process: every enabled listener costs each pass of the
// event loop, which with a thousand of them slows every reply. The pool
// watches all listening sockets through one descriptor and lets a listener
// accept only while a client waits for it.
class SimListenerPool : public QObject
{
    Q_OBJECT
public:
    explicit SimListenerPool(QObject* parent = nullptr);
    ~SimListenerPool() override;

    // False where the system offers no such watch; the listeners then stay as they are.
    bool add(SimTcpServer& server);

private:
    void wakeListeners();

    int m_watch = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<SimTcpServer*> m_servers;
};

} // namespace sim
