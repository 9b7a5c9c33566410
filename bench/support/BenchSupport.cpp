#include "BenchSupport.h"

#include <QString>

#include <sys/resource.h>

qint64 processCpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& t) { return qint64(t.tv_sec) * 1000000 + t.tv_usec; };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}

void quietOffscreenWarnings()
{
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text.startsWith(QLatin1String("This plugin does not support")))
                return;
            previous(type, context, text);
        });
}
