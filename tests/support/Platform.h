#pragma once

#include <QString>
#include <QTest>

// Pseudo-terminals are POSIX devices. On Windows every test or row that makes one is
// skipped and says so; this is the one place that decides it.
#ifndef Q_OS_WIN
#define KARVEL_HAVE_PSEUDO_TERMINALS
#endif
#ifdef KARVEL_HAVE_PSEUDO_TERMINALS
#define SKIP_WITHOUT_PSEUDO_TERMINAL(needsOne) static_cast<void>(needsOne)
#else
#define SKIP_WITHOUT_PSEUDO_TERMINAL(needsOne)                                                     \
    do {                                                                                           \
        if (needsOne)                                                                              \
            QSKIP("needs a pseudo-terminal, which Windows lacks");                                 \
    } while (false)
#endif

// Windows names serial port n COMn and takes a pinned device as given; the device paths and
// the order of ports that Linux reports mean nothing there.
#ifdef Q_OS_WIN
#define SKIP_ON_WINDOWS_PORT_NAMES() QSKIP("Windows names port n COMn")
#else
#define SKIP_ON_WINDOWS_PORT_NAMES() static_cast<void>(0)
#endif

// How a program's text on its standard streams ends each line.
#ifdef Q_OS_WIN
inline const QString kTextLineEnd = QStringLiteral("\r\n");
#else
inline const QString kTextLineEnd = QStringLiteral("\n");
#endif
