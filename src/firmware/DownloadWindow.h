#pragma once

#include "DownloadProtocol.h"

#include <QDate>
#include <QTimer>
#include <QWidget>

#include <functional>

struct AppState;
class ClickLabel;
class CommandChannel;
class Dialogs;
class Link;
class QFile;
class QFrame;
class QLabel;

// The download window: chooses an image file and sends it to the reader with
// the block protocol over the link that is open. One implementation serves the
// firmware download and the bootloader extension download (flashboot2).
class DownloadWindow : public QWidget
{
    Q_OBJECT
public:
    DownloadWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs, QWidget* parent,
                   download::Variant variant = download::Variant::Firmware);

    QLabel* Label2;     // heading
    ClickLabel* Label4; // Select File to Download
    ClickLabel* Label8; // Start Flash Download
    QLabel* Label1;     // chosen file
    QLabel* Label3;     // status line
    QFrame* Shape1[2];  // frames of the two command buttons
    QTimer Timer1;      // time base of every pause and wait

    bool DownloadBusy = false;
    QString DownloadFile;
    bool TimerExpired = false;

    void Label4_Click();
    void Label8_Click();
    void getdownloadfile();
    void doflashdl();

    // Pauses and time-outs are multiplied by these; tests and the benchmark run them short.
    void setTimeScale(double pauses, double timeouts);
    // Where the date stamp's date comes from; today by default.
    void setDateSource(std::function<QDate()> today);

signals:
    // The ready reply came; the blocks follow.
    void handshakeDone();
    // The reader acknowledged the end of the image (and any FF groups).
    void transferDone();

private:
    enum class Wait
    {
        Done,
        TimedOut,
        Wrong,
        LinkLost,
        Closing,
    };
    struct Outcome
    {
        enum Kind
        {
            Complete,
            Failed,
            Closing,
        } kind = Complete;
        download::Failure failure = download::Failure::LinkLost;
        QString detail;
    };

    Outcome transfer(QFile& file, Link& link, const download::Parameters& p, bool tcp);
    Outcome sendImage(QFile& file, Link& link, const download::Parameters& p, bool tcp);
    // The exact ready reply after the start command.
    // Waits for received bytes under the armed timer: serial one character,
    // TCP everything pending.
    Wait awaitBytes(Link& link, bool tcp, QByteArray& got);
    Wait awaitReady(Link& link, const download::Parameters& p, bool tcp);
    // wait_for_k / wait_for_b and their TCP forms: serial reads one character,
    // TCP reads all pending bytes and looks at the first.
    Wait awaitAck(Link& link, bool tcp, char expected, int timeoutMs);
    bool pause(int ms);
    void armTimer(int ms);
    int scaled(int ms, double factor) const;
    void setStatus(const QString& text);
    Outcome failed(download::Failure failure, const QString& detail = QString()) const;
    Outcome fromWait(Wait wait, download::Failure refused) const;

    AppState& m_state;
    CommandChannel& m_channel;
    Dialogs& m_dialogs;
    download::Variant m_variant;
    download::Stage m_stage = download::Stage::Handshake;
    double m_pauseScale = 1.0;
    double m_timeoutScale = 1.0;
    std::function<QDate()> m_today;
};

// The bootloader extension window: the download window with its own parameters.
class BootExtensionWindow : public DownloadWindow
{
    Q_OBJECT
public:
    BootExtensionWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs, QWidget* parent)
        : DownloadWindow(state, channel, dialogs, parent, download::Variant::BootExtension)
    {
    }
};
