#pragma once

#include "UtilityCommands.h"

#include <QTimer>
#include <QWidget>

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

// The reader's one-shot service commands and the transaction upload. Each
// outcome is written to the status line.
class UtilitiesWindow : public QWidget
{
    Q_OBJECT
public:
    UtilitiesWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs, QWidget* parent);

    // Command buttons.
    ClickLabel* firmwareIdButton;
    ClickLabel* onlineModeButton;
    ClickLabel* proxDumpModeButton;
    ClickLabel* collectionModeButton;
    ClickLabel* restartButton;
    ClickLabel* uploadButton;
    ClickLabel* getReaderTimeButton;
    ClickLabel* setReaderTimeButton;
    ClickLabel* memoryUsageButton;
    ClickLabel* clearMemoryButton;

    // Read-only lines: the PC clock, the outcome of the last command, and
    // the memory figures with their captions.
    ClickLabel* clockDisplay;
    ClickLabel* statusLine;
    ClickLabel* totalSlotsCaption;
    ClickLabel* totalSlotsValue;
    ClickLabel* usedSlotsCaption;
    ClickLabel* usedSlotsValue;
    ClickLabel* uploadedCaption;
    ClickLabel* uploadedValue;

    QLineEdit* firmwareIdField;
    QLineEdit* readerTimeField;
    QLineEdit* spareField;

    // How many hours to shift the PC's time by when setting the reader's.
    DigitBox* hoursBox;
    QLabel* hoursLabel;
    QGroupBox* hoursDirection;
    QRadioButton* addHours;
    QRadioButton* subtractHours;

    QTimer clockTimer; // redraws the PC clock

    // Where the PC's date and time come from; the system clock by default.
    void setPcClock(utilitycommands::PcClock clock);

    QString statusText() const;
    // Back to the blank fields and start figures of a window that has read
    // nothing yet, for a link to another reader.
    void forgetReaderValues();

private:
    // A label at its place in twips whose click runs the command, if any,
    // through runCommand.
    ClickLabel* placeLabel(const QString& caption, int left, int top, int width, int height,
                           std::function<void()> command);
    // A read-only line: a click does no more than the checks and the two returns.
    ClickLabel* addLabel(const QString& caption, int left, int top, int width, int height);
    ClickLabel* addButton(const QString& caption, int left, int top, int width, int height,
                          std::function<void()> command);
    QLineEdit* addField(const QString& name, int left, int top, int width, int height);
    // What every click does: one reader operation at a time, only while
    // connected, two returns ahead of the command.
    void runCommand(const std::function<void()>& command);
    void setStatus(const QString& text);
    void showClock();
    // Sends a command and reads its reply; on a failed send or a time-out
    // the status says so and nothing comes back.
    std::optional<QByteArray> exchange(const QByteArray& command);
    void getFirmwareIdentification();
    void switchMode(utilitycommands::ReaderMode mode);
    void setReaderTime();
    void getReaderTime();
    void showMemoryUsage();
    void clearReaderMemory();
    void restartReader();
    void uploadLog();
    // The file the upload goes to; nothing when the user cancels.
    std::optional<QString> chooseUploadFile();
    // The "l" loop into an open file; ends with the status of how it ended.
    void uploadRecords(QFile& file);

    AppState& m_state;
    CommandChannel& m_channel;
    Dialogs& m_dialogs;
    utilitycommands::PcClock m_pcClock;
};
