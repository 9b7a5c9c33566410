#include "DownloadProtocol.h"

namespace download {

Parameters parametersFor(Variant variant, bool tcp)
{
    Parameters p;
    p.errorCodes = !tcp;
    if (variant == Variant::Firmware) {
        p.pauseMs = tcp ? 3000 : 2000;
        p.startCommand = "B";
        p.readyReply = "TK";
        p.clearStatusOnError = !tcp;
        return p;
    }
    p.hundredAtLastBlock = false;
    if (tcp) {
        p.pauseMs = 3000;
        p.startCommand = "B";
        p.readyReply = "TK";
        p.ffGroups = 2;
        return p;
    }
    // The serial loader takes the whole file in smaller blocks and has no trailer.
    p.trailerBytes = 0;
    p.trailerAndDate = false;
    p.pauseMs = 1000;
    p.startCommand = "w";
    p.readyReply = "YK";
    p.readyTimeoutMs = 7000;
    p.blockSize = 32;
    p.ackTimeoutMs = 5000;
    p.finalTimeoutMs = 5000;
    return p;
}

std::uint8_t checkByte(QByteArrayView data)
{
    std::uint8_t check = 0;
    for (const char byte : data)
        check ^= static_cast<std::uint8_t>(byte);
    return check;
}

QByteArray frameBlock(QByteArrayView data)
{
    QByteArray frame;
    frame.reserve(data.size() + 2);
    frame.append(static_cast<char>(data.size()));
    frame.append(data);
    frame.append(static_cast<char>(checkByte(data)));
    return frame;
}

QByteArray dateStamp(const QDate& date)
{
    return date.toString(QStringLiteral("MMddyyyy")).toLatin1();
}

QString progressText(qint64 acked, qint64 dataLength)
{
    int hundredths = 0;
    if (dataLength > 0) {
        // Rounded half up, as the "0.00" number format does; whole numbers, so no
        // binary fraction tips a ratio such as 0.455 the wrong way.
        hundredths = int((acked * 200 + dataLength) / (2 * dataLength));
        if (hundredths >= 100)
            hundredths = 99;
    }
    return QStringLiteral("Downloading - %1 % complete").arg(hundredths, 2, 10, QLatin1Char('0'));
}

QString completeText()
{
    return QStringLiteral("Downloading - 100 % complete");
}

QString failureMessage(Failure failure, bool errorCodes, Stage stage, const QString& detail)
{
    auto coded = [&](const char* text) {
        QString message = QString::fromLatin1(text);
        if (errorCodes)
            message += QStringLiteral(", error code ") + QString::number(int(stage));
        return message;
    };
    switch (failure) {
    case Failure::ReadyTimeout:
        return coded("Timeout Error");
    case Failure::NotAcknowledged:
        return coded("Download Error");
    case Failure::EarlyEnd:
        return QStringLiteral("Early end of binary file");
    case Failure::FileUnreadable:
        return QStringLiteral("The image file could not be read: ") + detail;
    case Failure::LinkLost:
        return QStringLiteral("The connection to the reader was lost during the download.");
    }
    return {};
}

} // namespace download
