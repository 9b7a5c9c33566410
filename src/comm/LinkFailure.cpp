#include "LinkFailure.h"

#include <QFileInfo>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
// A COM port is no file and has no owning group: when Windows refuses one,
// another program holds it.
DeviceAccess probeDeviceAccess(const QString&)
{
    return {true, true, {}};
}
#else
DeviceAccess probeDeviceAccess(const QString& device)
{
    DeviceAccess access;
    const QByteArray path = QFile::encodeName(device);
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) != 0)
        return access;
    access.exists = true;
    access.readWritable = ::access(path.constData(), R_OK | W_OK) == 0;
    if (const struct group* owner = ::getgrgid(info.st_gid))
        access.group = QString::fromLocal8Bit(owner->gr_name);
    else
        access.group = QString::number(info.st_gid);
    return access;
}
#endif

LinkFailure serialOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                              const QString& qtText, const DeviceAccess& access)
{
    LinkFailure failure;
    failure.target = device;
    failure.detail = qtText;
    if (error == QSerialPort::DeviceNotFoundError || !access.exists) {
        failure.kind = LinkFailure::Kind::OtherSerialError;
        if (error == QSerialPort::DeviceNotFoundError || error == QSerialPort::NoError)
            failure.detail = QStringLiteral("the device does not exist");
    } else if (error == QSerialPort::PermissionError && !access.readWritable) {
        failure.kind = LinkFailure::Kind::PermissionDenied;
        failure.detail = access.group;
    } else if (error == QSerialPort::PermissionError) {
        // Readable and writable for us, yet refused: someone holds the lock
        // or has the port open exclusively.
        failure.kind = LinkFailure::Kind::PortInUse;
    } else {
        failure.kind = LinkFailure::Kind::OtherSerialError;
    }
    return failure;
}

namespace {

QString at(const QTime& when)
{
    return when.isValid() ? QStringLiteral(" at ") + when.toString(QStringLiteral("HH:mm:ss"))
                          : QString();
}

} // namespace

QString describe(const LinkFailure& f)
{
    using Kind = LinkFailure::Kind;
    switch (f.kind) {
    case Kind::None:
        return {};
    case Kind::NoSuchDevice:
        return QStringLiteral("Port %1 has no serial device on this computer. %2")
            .arg(f.port, f.availablePorts.isEmpty()
                             ? QStringLiteral("No port option has a device.")
                             : QStringLiteral("Ports with a device: %1.")
                                   .arg(f.availablePorts.join(QStringLiteral(", "))));
    case Kind::PermissionDenied:
        return QStringLiteral("Permission denied on %1: it belongs to group \"%2\". Add yourself "
                              "with: sudo usermod -aG %2 $USER, then log out and in again.")
            .arg(f.target, f.detail);
    case Kind::PortInUse:
        return QStringLiteral("%1 is in use by another program. Close that program and connect "
                              "again.")
            .arg(f.target);
    case Kind::OtherSerialError:
        return QStringLiteral("%1 could not be opened: %2.").arg(f.target, f.detail);
    case Kind::BadTcpPort:
        return QStringLiteral("Port \"%1\" is not a number from 1 to 65535.").arg(f.port);
    case Kind::HostNotFound:
        return QStringLiteral("No host named \"%1\" was found. Check the IP address.")
            .arg(f.target);
    case Kind::ConnectionRefused:
        return QStringLiteral("%1 refused the connection on port %2: nothing is listening there.")
            .arg(f.target, f.port);
    case Kind::NoAnswer:
        return QStringLiteral("No answer from %1 port %2 within 3 seconds. Check the address, "
                              "the cable and that the reader is powered.")
            .arg(f.target, f.port);
    case Kind::OtherTcpError:
        return QStringLiteral("Could not connect to %1 port %2: %3.")
            .arg(f.target, f.port, f.detail);
    case Kind::ClosedByReader:
        return QStringLiteral("The reader at %1 closed the connection%2. \"Connect to Port\" "
                              "connects again.")
            .arg(f.target, at(f.when));
    case Kind::DeviceGone:
        return QStringLiteral("%1 went away%2 (adapter unplugged?). Plug it in again, then "
                              "\"Connect to Port\".")
            .arg(f.target, at(f.when));
    }
    return {};
}
