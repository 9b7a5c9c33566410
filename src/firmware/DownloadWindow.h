#pragma once

#include "DownloadProtocol.h"
#include "comm/EventWait.h"

#include <QDate>
#include <QWidget>

#include <functional>

struct AppState;
class ClickLabel;
class CommandChannel;
class Dialogs;
class Link;
class QFile;
class QLabel;

// The download window: chooses an image file and sends it to the reader with
// the block protocol over the link that is open. One implementation serves the
// firmware download and the bootloader extension download.
class DownloadWindow : public QWidget
{
    Q_OBJECT
public:
    DownloadWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs, QWidget* parent,
                   download::Variant variant = download::Variant::Firmware);

    QLabel* heading;
    ClickLabel* selectFileButton;
    ClickLabel* startButton;
    QLabel* chosenFileLine;
    QLabel* statusLine;
    // Every pause and wait of a download.
    eventwait::Deadline deadline;

    // The image the next download sends; empty until one is chosen.
    QString chosenFile;

    // Asks for the image file. Does nothing while the window is busy.
    void selectFile();
    // Says so and returns true when the open serial port is not at the
    // 9600 baud the reader's loader listens at.
    static bool refusedForSpeed(const AppState& state, Dialogs& dialogs);
    // Sends the chosen image. Does nothing while the window is busy or no
    // file is chosen.
    void startDownload();
    // Choosing a file or downloading one.
    bool busy() const { return m_busy; }

    // Pauses and time-outs are multiplied by these; tests and the benchmark run them short.
    void setTimeScale(double pauses, double timeouts);
    // Where the date stamp's date comes from; today by default.
    void setDateSource(std::function<QDate()> today);

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

    void askForFile();
    void runDownload();
    Outcome transfer(QFile& file, Link& link, const download::Parameters& p, bool tcp);
    Outcome sendImage(QFile& file, Link& link, const download::Parameters& p, bool tcp);
    // Waits for received bytes under the armed deadline: serial one
    // character, TCP everything pending.
    Wait awaitBytes(Link& link, bool tcp, QByteArray& got);
    // The exact ready reply after the start command.
    Wait awaitReady(Link& link, const download::Parameters& p, bool tcp);
    // The acknowledgement of a block, the end or an FF group: serial reads
    // one character, TCP reads all pending bytes and looks at the first.
    Wait awaitAck(Link& link, bool tcp, char expected, int timeoutMs);
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
    bool m_busy = false;
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
