#include "SimPty.h"

#include "SimReader.h"

#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace sim {

SimPty::SimPty(SimReader& reader, QObject* parent) : QObject(parent), m_reader(&reader)
{
    connect(&reader, &SimReader::send, this, [this](const QByteArray& bytes, const QObject* link) {
        if (!isOpen() || (link && link != this))
            return;
        if (m_written > m_outgoing.size() / 2) {
            m_outgoing.remove(0, m_written);
            m_written = 0;
        }
        m_outgoing += bytes;
        writePending();
    });
    connect(&reader, &SimReader::closeRequested, this, [this](const QObject* link) {
        if (!link || link == this)
            close();
    });
}

SimPty::~SimPty()
{
    close();
}

void SimPty::setReading(bool reading)
{
    if (m_readNotifier)
        m_readNotifier->setEnabled(reading);
    if (reading)
        readMaster();
}

#ifdef Q_OS_WIN
// Windows has no pseudo-terminals: the reader answers over TCP only there.
bool SimPty::open()
{
    m_errorString = QStringLiteral("pseudo-terminals are not available on Windows");
    return false;
}

void SimPty::close() {}
void SimPty::readMaster() {}
void SimPty::writePending() {}
#else
bool SimPty::open()
{
    close();
    m_errorString.clear();
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        fail("openpty");
        return false;
    }

    // Raw from the start, so no CR becomes LF and nothing echoes, whatever the program
    // on the slave side sets up (or fails to).
    termios attributes{};
    if (::tcgetattr(m_slave, &attributes) != 0) {
        fail("tcgetattr");
        close();
        return false;
    }
    ::cfmakeraw(&attributes);
    char name[128] = {};
    if (::tcsetattr(m_slave, TCSANOW, &attributes) != 0 ||
        ::ttyname_r(m_slave, name, sizeof name) != 0 ||
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        fail("pseudo-terminal set-up");
        close();
        return false;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_slavePath = QString::fromLocal8Bit(name);

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimPty::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimPty::writePending);
    if (m_reader)
        m_reader->linkReset(this);
    return true;
}

void SimPty::close()
{
    if (!isOpen())
        return;
    // close() may run inside a notifier's own activation (a command that drops the link).
    for (QSocketNotifier* notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = nullptr;
    ::close(m_master);
    ::close(m_slave);
    m_master = m_slave = -1;
    m_slavePath.clear();
    m_outgoing.clear();
    m_written = 0;
    if (m_reader)
        m_reader->linkReset(this);
    emit closed();
}

void SimPty::readMaster()
{
    char buffer[4096];
    while (isOpen()) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count > 0) {
            if (m_reader)
                m_reader->receive(QByteArray(buffer, count), this);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Not expected while we hold the slave open; stop listening rather than spin.
            fail("read from pseudo-terminal");
            m_readNotifier->setEnabled(false);
        }
        return;
    }
}

void SimPty::writePending()
{
    while (isOpen() && m_written < m_outgoing.size()) {
        const ssize_t count = ::write(m_master, m_outgoing.constData() + m_written,
                                      size_t(m_outgoing.size() - m_written));
        if (count > 0) {
            m_written += count;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            // The utility is not reading and the slave's input queue is full.
            m_writeNotifier->setEnabled(true);
            return;
        }
        fail("write to pseudo-terminal");
        break;
    }
    // All written: give the memory back, so a flood leaves nothing behind here.
    m_outgoing = QByteArray();
    m_written = 0;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}

void SimPty::fail(const char* what)
{
    m_errorString = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                 QString::fromLocal8Bit(std::strerror(errno)));
}

#endif

} // namespace sim

#include "moc_SimPty.cpp"
