#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTime>

// Why a link did not open, or why an open link was lost: a value the link
// layer hands up, put into words only by describe().
struct LinkFailure
{
    enum class Kind
    {
        None,
        // Serial: opening failed.
        NoSuchDevice,
        PermissionDenied,
        PortInUse,
        OtherSerialError,
        // TCP: connecting failed.
        BadTcpPort,
        HostNotFound,
        ConnectionRefused,
        NoAnswer,
        OtherTcpError,
        // An open link was lost.
        ClosedByReader,
        DeviceGone,
    };

    Kind kind = Kind::None;
    // The device path or address that was tried.
    QString target;
    // The port option number (serial) or the TCP port text as typed.
    QString port;
    // Group owning a device we may not open; Qt's text for anything else.
    QString detail;
    // Serial: the port options that do have a device, as "n (device)".
    QStringList availablePorts;
    // When an open link was lost.
    QTime when;
};

// What the process may do with a serial device, as far as the system says.
struct DeviceAccess
{
    bool exists = false;
    bool readWritable = false;
    QString group;
};
DeviceAccess probeDeviceAccess(const QString& device);

// Tells "permission denied" from "in use": Qt reports both as PermissionError.
LinkFailure serialOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                              const QString& qtText, const DeviceAccess& access);

// One line in plain words, with what to do about it where there is something.
QString describe(const LinkFailure& failure);
