#include "UtilitiesWindow.h"

#include "TransactionUpload.h"
#include "comm/CommandChannel.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace utilitycommands;

namespace {

const QColor kStatusRed(192, 0, 0);
// What a memory figure shows before the reader has been asked.
const QString kNoFigure = QStringLiteral("00000");

} // namespace

UtilitiesWindow::UtilitiesWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs,
                                 QWidget* parent)
    : QWidget(parent), m_state(state), m_channel(channel), m_dialogs(dialogs),
      m_pcClock([] { return QDateTime::currentDateTime(); })
{
    setWindowTitle(QStringLiteral("to become new utility"));
    setAccessibleName(windowTitle());
    paintBackground(this, kWindowGrey);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    // Captions were sized for the narrow Windows face; where it is missing a
    // face of Arial's measure keeps them inside their buttons.
    QFont boldFont;
    boldFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                          QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("Helvetica")});
    boldFont.setPointSize(8);
    boldFont.setBold(true);
    setFont(boldFont);

    firmwareIdButton = addButton(QStringLiteral("Get Firmware Identification"), 1440, 330, 2535,
                                 315, [this] { getFirmwareIdentification(); });
    uploadedCaption = addLabel(QStringLiteral("Uploaded"), 6600, 5400, 1095, 255);
    collectionModeButton = addButton(QStringLiteral("Switch to Collection Mode"), 1440, 3540, 2415,
                                     315, [this] { switchMode(ReaderMode::Collection); });
    onlineModeButton = addButton(QStringLiteral("Switch to Online Mode"), 1500, 2220, 1995, 315,
                                 [this] { switchMode(ReaderMode::Online); });
    clockDisplay = addButton(QStringLiteral("Current Date/Time:"), 5940, 1440, 4095, 315, nullptr);
    setReaderTimeButton = addButton(QStringLiteral("Set Reader Time"), 6540, 2160, 2535, 315,
                                    [this] { setReaderTime(); });
    getReaderTimeButton = addButton(QStringLiteral("Get Reader Time"), 6600, 330, 2535, 315,
                                    [this] { getReaderTime(); });
    memoryUsageButton = addButton(QStringLiteral("Show Memory Usage"), 6600, 3960, 2535, 315,
                                  [this] { showMemoryUsage(); });
    uploadedValue = addLabel(kNoFigure, 8280, 5400, 555, 255);
    clearMemoryButton = addButton(QStringLiteral("Clear Reader Memory"), 6540, 5940, 2535, 315,
                                  [this] { clearReaderMemory(); });
    totalSlotsCaption = addLabel(QStringLiteral("Total Slots"), 6600, 4560, 1155, 255);
    usedSlotsCaption = addLabel(QStringLiteral("Used"), 6600, 4980, 1095, 255);
    restartButton =
        addButton(QStringLiteral("Restart"), 1440, 4200, 2415, 315, [this] { restartReader(); });
    totalSlotsValue = addLabel(kNoFigure, 8280, 4560, 555, 255);
    usedSlotsValue = addLabel(kNoFigure, 8280, 4980, 555, 255);
    uploadButton = addButton(QStringLiteral("Upload Stored Data"), 1440, 5220, 2535, 315,
                             [this] { uploadLog(); });
    // Centred where the narrow line of old was, but wide enough for "Upload
    // complete, 40000 transactions received " and the other long outcomes.
    statusLine = addLabel(QStringLiteral("Records Uploaded: xxxxx"), 1440, 6720, 5955, 255);
    proxDumpModeButton = addButton(QStringLiteral("Switch to Prox Dump Mode"), 1440, 2880, 2475,
                                   315, [this] { switchMode(ReaderMode::ProxDump); });

    // The clock display wears the buttons' colours but reads left to right.
    clockDisplay->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    clockDisplay->setFocusPolicy(Qt::NoFocus);
    clockDisplay->setCursor(Qt::ArrowCursor);
    statusLine->setAlignment(Qt::AlignCenter);
    statusLine->setTextColor(kStatusRed);
    // Labels whose text changes are read out by that text; the status line says
    // what it is in its description, a value field through its caption.
    statusLine->setAccessibleDescription(QStringLiteral("Status"));
    totalSlotsCaption->setBuddy(totalSlotsValue);
    usedSlotsCaption->setBuddy(usedSlotsValue);
    uploadedCaption->setBuddy(uploadedValue);

    firmwareIdField = addField(QStringLiteral("Firmware identification"), 600, 1080, 4335, 315);
    readerTimeField = addField(QStringLiteral("Reader time"), 6780, 900, 2235, 315);
    spareField = addField(QStringLiteral("Spare field"), 7500, 7320, 2235, 315);

    hoursBox = new DigitBox(5, this);
    hoursBox->setGeometry(twipsRect(8280, 2700, 435, 315, this));
    hoursLabel = new QLabel(QStringLiteral("Hours"), this);
    hoursLabel->setGeometry(twipsRect(8790, 2730, 735, 255, this));
    hoursLabel->setBuddy(hoursBox);
    hoursBox->setAccessibleName(hoursLabel->text());

    hoursDirection = new QGroupBox(this);
    hoursDirection->setAccessibleName(QStringLiteral("Add or subtract the hours"));
    hoursDirection->setGeometry(twipsRect(6540, 2520, 1620, 1020, this));
    auto* directionLayout = new QVBoxLayout(hoursDirection);
    directionLayout->setContentsMargins(8, 2, 4, 2);
    addHours = new QRadioButton(QStringLiteral("Add"), hoursDirection);
    subtractHours = new QRadioButton(QStringLiteral("Subtract"), hoursDirection);
    directionLayout->addWidget(addHours);
    directionLayout->addWidget(subtractHours);

    // Tab goes down the left column, then down the right one.
    QWidget* const tabOrder[] = {firmwareIdButton,
                                 firmwareIdField,
                                 onlineModeButton,
                                 proxDumpModeButton,
                                 collectionModeButton,
                                 restartButton,
                                 uploadButton,
                                 getReaderTimeButton,
                                 readerTimeField,
                                 setReaderTimeButton,
                                 addHours,
                                 subtractHours,
                                 hoursBox,
                                 memoryUsageButton,
                                 clearMemoryButton,
                                 spareField};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    hoursBox->setText(QStringLiteral("00"));
    setStatus(QString());
    showClock();

    clockTimer.setInterval(1000);
    connect(&clockTimer, &QTimer::timeout, this, &UtilitiesWindow::showClock);
    clockTimer.start();
}

ClickLabel* UtilitiesWindow::placeLabel(const QString& caption, int left, int top, int width,
                                        int height, std::function<void()> command)
{
    auto* label = new ClickLabel(caption, this);
    // Fixed, as drawn: a new text then never asks the window to lay out again,
    // which counts when the status line changes with every uploaded record.
    const QRect rect = twipsRect(left, top, width, height, this);
    label->setFixedSize(rect.size());
    label->move(rect.topLeft());
    connect(label, &ClickLabel::clicked, this,
            [this, command = std::move(command)] { runCommand(command); });
    return label;
}

ClickLabel* UtilitiesWindow::addLabel(const QString& caption, int left, int top, int width,
                                      int height)
{
    ClickLabel* label = placeLabel(caption, left, top, width, height, nullptr);
    label->setCursor(Qt::ArrowCursor);
    return label;
}

ClickLabel* UtilitiesWindow::addButton(const QString& caption, int left, int top, int width,
                                       int height, std::function<void()> command)
{
    ClickLabel* button = placeLabel(caption, left, top, width, height, std::move(command));
    button->setButtonLook();
    button->setTextColor(palette().color(QPalette::WindowText));
    return button;
}

QLineEdit* UtilitiesWindow::addField(const QString& name, int left, int top, int width, int height)
{
    auto* field = new QLineEdit(this);
    field->setGeometry(twipsRect(left, top, width, height, this));
    field->setAccessibleName(name);
    return field;
}

void UtilitiesWindow::setPcClock(PcClock clock)
{
    m_pcClock = std::move(clock);
    showClock();
}

void UtilitiesWindow::showClock()
{
    clockDisplay->setText(clockDisplayText(m_pcClock()));
}

void UtilitiesWindow::setStatus(const QString& text)
{
    statusLine->setText(text);
}

QString UtilitiesWindow::statusText() const
{
    return statusLine->text();
}

void UtilitiesWindow::forgetReaderValues()
{
    firmwareIdField->clear();
    readerTimeField->clear();
    for (ClickLabel* value : {totalSlotsValue, usedSlotsValue, uploadedValue})
        value->setText(kNoFigure);
    setStatus(QString());
}

void UtilitiesWindow::runCommand(const std::function<void()>& command)
{
    // A click while another reader operation waits would steal its replies.
    OperationMark mark(m_state);
    if (!mark.acquired()) {
        setStatus(kOperationRunningText);
        return;
    }
    if (!m_state.connected()) {
        setStatus(kNotConnected);
        return;
    }
    // Ahead of every command, read-only lines included; a failure shows up
    // as the command's own failed send.
    m_channel.sendTwoReturns();
    if (command)
        command();
}

std::optional<QByteArray> UtilitiesWindow::exchange(const QByteArray& command)
{
    m_channel.sendReaderCommand(command);
    if (m_state.sendFailed) {
        setStatus(kNoResponse);
        return std::nullopt;
    }
    const auto [reply, timedOut] = m_channel.readReaderLine();
    if (timedOut || m_channel.isEcho(reply)) {
        setStatus(timedOut ? kNoResponse : kReaderEchoingText);
        return std::nullopt;
    }
    return reply;
}

void UtilitiesWindow::getFirmwareIdentification()
{
    firmwareIdField->clear();
    if (const std::optional<QByteArray> reply = exchange("V"))
        firmwareIdField->setText(QString::fromLatin1(*reply));
}

void UtilitiesWindow::switchMode(ReaderMode mode)
{
    setStatus(QString());
    if (exchange(modeCommand(mode)))
        setStatus(kModeSwitched);
}

void UtilitiesWindow::setReaderTime()
{
    setStatus(QString());
    const std::optional<int> hours = hoursToShift(hoursBox->text());
    if (!hours) {
        setStatus(kInvalidHours);
        return;
    }
    const QByteArray command = setTimeCommand(m_pcClock(), *hours, addHours->isChecked());
    if (const std::optional<QByteArray> reply = exchange(command))
        setStatus(*reply == "O" ? kTimeSet : kTimeNotSet);
}

void UtilitiesWindow::getReaderTime()
{
    setStatus(QString());
    readerTimeField->clear();
    if (const std::optional<QByteArray> reply = exchange("t"))
        readerTimeField->setText(readerTimeText(*reply));
}

void UtilitiesWindow::showMemoryUsage()
{
    const std::optional<QByteArray> reply = exchange("z");
    if (!reply)
        return;
    setStatus(kMemoryReceived);
    const MemoryUsage usage = memoryUsage(*reply);
    totalSlotsValue->setText(usage.totalSlots);
    usedSlotsValue->setText(usage.usedSlots);
    uploadedValue->setText(usage.uploaded);
}

void UtilitiesWindow::clearReaderMemory()
{
    if (!m_dialogs.askYesNo(kClearQuestion, Dialogs::Answer::No))
        return;
    setStatus(QString());
    if (const std::optional<QByteArray> reply = exchange("lc"); reply && *reply == "OK")
        setStatus(kLogCleared);
}

void UtilitiesWindow::restartReader()
{
    setStatus(QString());
    // A restarting reader says nothing: only the send is checked.
    m_channel.sendReaderCommand(QByteArray("\0X", 2));
    if (m_state.sendFailed)
        setStatus(kNoResponse);
    else if (m_channel.echoedBack())
        setStatus(kReaderEchoingText);
}

std::optional<QString> UtilitiesWindow::chooseUploadFile()
{
    const std::optional<QString> chosen = m_dialogs.chooseSaveFile(
        QStringLiteral("upload.txt"), QStringLiteral("Text (*.txt)"), QStringLiteral("txt"));
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    return chosen;
}

void UtilitiesWindow::uploadLog()
{
    const std::optional<QByteArray> reply = exchange("lr");
    if (!reply)
        return;
    if (*reply != "OK") {
        setStatus(kInvalidUploadReply);
        return;
    }
    const std::optional<QString> path = chooseUploadFile();
    if (!path)
        return;

    // Unbuffered: each record reaches the file as it is written, so nothing
    // the reader has handed over is lost if the upload or the program dies.
    QFile file(*path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        setStatus(kUploadNotCreated);
        return;
    }
    uploadRecords(file);
}

void UtilitiesWindow::uploadRecords(QFile& file)
{
    // Nobody reads thousands of counts a second, and each new text costs a
    // repaint and a wake of the event loop: the count is shown at once, then
    // at most once a frame while records keep coming, always the newest.
    // Every text the upload ends with replaces it exactly.
    constexpr int kStatusPaceMs = 40;
    qint64 records = 0;
    qint64 shown = 0;
    QTimer statusPace;
    statusPace.setInterval(kStatusPaceMs);
    const auto showCount = [&] {
        shown = records;
        setStatus(uploadProgressText(records));
    };
    connect(&statusPace, &QTimer::timeout, &statusPace, [&] {
        if (shown == records)
            statusPace.stop();
        else
            showCount();
    });
    const transactionupload::Result result =
        transactionupload::receiveRecords(m_channel, m_state, file, [&](qint64 count) {
            records = count;
            if (!statusPace.isActive()) {
                showCount();
                statusPace.start();
            }
        });
    switch (result.outcome) {
    case transactionupload::Outcome::NoReply:
    case transactionupload::Outcome::LinkLost:
        // A link that went away ends the upload as a silent reader would.
        setStatus(kNoResponse);
        return;
    case transactionupload::Outcome::NotWritten:
        setStatus(kUploadNotWritten);
        return;
    case transactionupload::Outcome::Complete:
        break;
    }
    file.close();
    setStatus(file.error() == QFileDevice::NoError ? uploadCompleteText(result.records)
                                                   : kUploadNotWritten);
}
