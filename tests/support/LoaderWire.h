#pragma once

#include <QByteArray>

// What wakes a reader's loader: NUL ESC CR, twice.
inline const QByteArray kLoaderAttention("\x00\x1b\x0d\x00\x1b\x0d", 6);

// An image file of the given size, its bytes in a pattern no framing repeats.
inline QByteArray imageOf(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 37 + 11) & 0xff);
    return bytes;
}

// What a reader's loader receives of a whole download, framed here independently of the
// code under test: the attention sequence, then "B" and 50-byte blocks of the data before
// the file's 44-byte trailer, the end marker, the trailer and the date stamp; the
// bootloader extension sends the whole file in 32-byte blocks after "w" over a serial
// port, and over TCP/IP follows the date stamp with 104 bytes of FF.
inline QByteArray loaderWire(const QByteArray& file, bool boot2, bool tcp, const QByteArray& stamp)
{
    const bool serialBoot = boot2 && !tcp;
    const int blockSize = serialBoot ? 32 : 50;
    const QByteArray data = serialBoot ? file : file.left(file.size() - 44);
    QByteArray wire = kLoaderAttention + (serialBoot ? "w" : "B");
    for (int at = 0; at < data.size(); at += blockSize) {
        const QByteArray chunk = data.mid(at, blockSize);
        char check = 0;
        for (char c : chunk)
            check ^= c;
        wire += char(chunk.size()) + chunk + check;
    }
    wire += '\0';
    if (!serialBoot)
        wire += file.right(44) + stamp;
    if (boot2 && tcp)
        wire += QByteArray(104, '\xff');
    return wire;
}
