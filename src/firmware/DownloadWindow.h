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
    // Sends the chosen image. Does nothing while the window is busy; with
    // no file chosen, says so.
    void startDownload();
    // Choosing a file or downloading one.
    bool busy() const { return m_busy; }

    // Pauses and time-outs are multiplied by these; tests and the benchmark run them short.
    void setTimeScale(double pauses, double timeouts);
    // Where the date stamp's date comes from; today by default.
    void setDateSource(std::function<QDate()> today);

private:
    void askForFile();
    void runDownload();
    void setStatus(const QString& text);

    AppState& m_state;
    CommandChannel& m_channel;
    Dialogs& m_dialogs;
    download::Variant m_variant;
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
