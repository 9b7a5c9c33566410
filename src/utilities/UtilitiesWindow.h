#pragma once

#include "UtilityCommands.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

struct AppState;
class ClickLabel;
class CommandChannel;
class DigitBox;
class Dialogs;
class QFile;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The reader's one-shot service commands and the transaction upload. Every
// element of Label1 goes through one dispatcher; the outcome is written to
// the status line, Label1 index 24.
class UtilitiesWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kLabelCount = 26;
    static constexpr int kStatusLine = 24;
    static constexpr int kClockDisplay = 4;

    // connected reads the command menu's connection label.
    UtilitiesWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs,
                    std::function<bool()> connected, QWidget* parent);

    // Indexes the window does not have hold null.
    std::array<ClickLabel*, kLabelCount> Label1{};
    std::array<QLineEdit*, 3> Text1{};
    DigitBox* Text2;
    QLabel* Label2; // "Hours"
    QGroupBox* Frame1;
    std::array<QRadioButton*, 2> Option1{}; // Add, Subtract
    QTimer Timer1;                          // the PC clock display

    // Where the PC's date and time come from; the system clock by default.
    void setPcClock(utilitycommands::PcClock clock);

    void Label1_Click(int index);
    void upload_log();
    void get_uploadfilename(QString& uploadfilename, bool& cancelhit);

    QString statusText() const;

private:
    ClickLabel* addLabel(int index, const QString& caption, int left, int top, int width,
                         int height, bool button);
    void setStatus(const QString& text);
    void showClock();
    // Sends a command and reads its reply; on a failed send or a time-out
    // the status says so and nothing comes back.
    std::optional<QByteArray> exchange(const QByteArray& command);
    void getFirmwareIdentification();
    void switchMode(const QByteArray& command);
    void setReaderTime();
    void getReaderTime();
    void showMemoryUsage();
    void clearReaderMemory();
    void restartReader();
    // The "l" loop into an open file; ends with the status of how it ended.
    void uploadRecords(QFile& file);

    AppState& m_state;
    CommandChannel& m_channel;
    Dialogs& m_dialogs;
    std::function<bool()> m_connected;
    utilitycommands::PcClock m_pcClock;
};
