#include "UtilitiesWindow.h"

#include "app/AppState.h"
#include "app/Dialogs.h"
#include "comm/CommandChannel.h"
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
const QByteArray kEndOfLog = "END";

} // namespace

UtilitiesWindow::UtilitiesWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs,
                                 std::function<bool()> connected, QWidget* parent)
    : QWidget(parent), m_state(state), m_channel(channel), m_dialogs(dialogs),
      m_connected(std::move(connected)), m_pcClock([] { return QDateTime::currentDateTime(); })
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

    addLabel(0, QStringLiteral("Get Firmware Identification"), 1440, 330, 2535, 315, true);
    addLabel(1, QStringLiteral("Uploaded"), 6600, 5400, 1095, 255, false);
    addLabel(2, QStringLiteral("Switch to Collection Mode"), 1440, 3540, 2415, 315, true);
    addLabel(3, QStringLiteral("Switch to Online Mode"), 1500, 2220, 1995, 315, true);
    addLabel(kClockDisplay, QStringLiteral("Current Date/Time:"), 5940, 1440, 4095, 315, true);
    addLabel(5, QStringLiteral("Set Reader Time"), 6540, 2160, 2535, 315, true);
    addLabel(6, QStringLiteral("Get Reader Time"), 6600, 330, 2535, 315, true);
    addLabel(7, QStringLiteral("Show Memory Usage"), 6600, 3960, 2535, 315, true);
    addLabel(8, QStringLiteral("00000"), 8280, 5400, 555, 255, false);
    addLabel(9, QStringLiteral("Clear Reader Memory"), 6540, 5940, 2535, 315, true);
    addLabel(10, QStringLiteral("Total Slots"), 6600, 4560, 1155, 255, false);
    addLabel(11, QStringLiteral("Used"), 6600, 4980, 1095, 255, false);
    addLabel(12, QStringLiteral("Restart"), 1440, 4200, 2415, 315, true);
    addLabel(15, QStringLiteral("00000"), 8280, 4560, 555, 255, false);
    addLabel(17, QStringLiteral("00000"), 8280, 4980, 555, 255, false);
    addLabel(19, QStringLiteral("Upload Stored Data"), 1440, 5220, 2535, 315, true);
    // Centred where the narrow line of old was, but wide enough for "Upload
    // complete, 40000 transactions received " and the other long outcomes.
    addLabel(kStatusLine, QStringLiteral("Records Uploaded: xxxxx"), 1440, 6720, 5955, 255, false);
    addLabel(25, QStringLiteral("Switch to Prox Dump Mode"), 1440, 2880, 2475, 315, true);

    // The clock display wears the buttons' colours but reads left to right.
    Label1[kClockDisplay]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1[kClockDisplay]->setFocusPolicy(Qt::NoFocus);
    Label1[kClockDisplay]->setCursor(Qt::ArrowCursor);
    Label1[kStatusLine]->setAlignment(Qt::AlignCenter);
    Label1[kStatusLine]->setTextColor(kStatusRed);
    // Labels whose text changes are read out by that text; the status line says
    // what it is in its description, a value field through its caption.
    Label1[kStatusLine]->setAccessibleDescription(QStringLiteral("Status"));
    for (const auto& [field, caption] : {std::pair{15, 10}, {17, 11}, {8, 1}})
        Label1[caption]->setBuddy(Label1[field]);

    const QString text1Names[] = {QStringLiteral("Firmware identification"),
                                  QStringLiteral("Reader time"), QStringLiteral("Spare field")};
    const QRect text1Rects[] = {twipsRect(600, 1080, 4335, 315, this),
                                twipsRect(6780, 900, 2235, 315, this),
                                twipsRect(7500, 7320, 2235, 315, this)};
    for (int index = 0; index < 3; ++index) {
        Text1[index] = new QLineEdit(this);
        Text1[index]->setGeometry(text1Rects[index]);
        Text1[index]->setAccessibleName(text1Names[index]);
    }

    Text2 = new DigitBox(5, this);
    Text2->setGeometry(twipsRect(8280, 2700, 435, 315, this));
    Label2 = new QLabel(QStringLiteral("Hours"), this);
    Label2->setGeometry(twipsRect(8790, 2730, 735, 255, this));
    Label2->setBuddy(Text2);
    Text2->setAccessibleName(Label2->text());

    Frame1 = new QGroupBox(this);
    Frame1->setAccessibleName(QStringLiteral("Add or subtract the hours"));
    Frame1->setGeometry(twipsRect(6540, 2520, 1620, 1020, this));
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->setContentsMargins(8, 2, 4, 2);
    Option1[0] = new QRadioButton(QStringLiteral("Add"), Frame1);
    Option1[1] = new QRadioButton(QStringLiteral("Subtract"), Frame1);
    frameLayout->addWidget(Option1[0]);
    frameLayout->addWidget(Option1[1]);

    // Window load: fields cleared, hours at "00", the clock shown at once.
    for (int index : {1, 2, 0})
        Text1[index]->clear();
    Text2->setText(QStringLiteral("00"));
    setStatus(QString());
    showClock();

    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &UtilitiesWindow::showClock);
    Timer1.start();
}

ClickLabel* UtilitiesWindow::addLabel(int index, const QString& caption, int left, int top,
                                      int width, int height, bool button)
{
    auto* label = new ClickLabel(caption, this);
    // Fixed, as drawn: a new text then never asks the window to lay out again,
    // which counts when the status line changes with every uploaded record.
    const QRect rect = twipsRect(left, top, width, height, this);
    label->setFixedSize(rect.size());
    label->move(rect.topLeft());
    if (button) {
        label->setButtonLook();
        label->setTextColor(palette().color(QPalette::WindowText));
    } else {
        label->setCursor(Qt::ArrowCursor);
    }
    connect(label, &ClickLabel::clicked, this, [this, index] { Label1_Click(index); });
    Label1[index] = label;
    return label;
}

void UtilitiesWindow::setPcClock(PcClock clock)
{
    m_pcClock = std::move(clock);
    showClock();
}

void UtilitiesWindow::showClock()
{
    Label1[kClockDisplay]->setText(clockDisplayText(m_pcClock()));
}

void UtilitiesWindow::setStatus(const QString& text)
{
    Label1[kStatusLine]->setText(text);
}

QString UtilitiesWindow::statusText() const
{
    return Label1[kStatusLine]->text();
}

void UtilitiesWindow::Label1_Click(int index)
{
    // A click while another reader operation waits would steal its replies.
    OperationMark mark(m_state);
    if (!mark.acquired()) {
        setStatus(kOperationRunningText);
        return;
    }
    if (!m_connected()) {
        setStatus(kNotConnected);
        return;
    }
    // Ahead of every command, read-only fields included; a failure shows up
    // as the command's own failed send.
    m_channel.SendTwoReturns();

    if (const std::optional<QByteArray> mode = modeCommand(index)) {
        switchMode(*mode);
        return;
    }
    switch (index) {
    case 0:
        getFirmwareIdentification();
        break;
    case 5:
        setReaderTime();
        break;
    case 6:
        getReaderTime();
        break;
    case 7:
        showMemoryUsage();
        break;
    case 9:
        clearReaderMemory();
        break;
    case 12:
        restartReader();
        break;
    case 19:
        upload_log();
        break;
    default:
        break;
    }
}

std::optional<QByteArray> UtilitiesWindow::exchange(const QByteArray& command)
{
    m_channel.SendReaderCommand(command);
    if (m_state.SendFailed) {
        setStatus(kNoResponse);
        return std::nullopt;
    }
    QByteArray reply;
    bool timedOut = false;
    m_channel.ReadReaderLine(reply, timedOut);
    if (timedOut) {
        setStatus(kNoResponse);
        return std::nullopt;
    }
    return reply;
}

void UtilitiesWindow::getFirmwareIdentification()
{
    Text1[0]->clear();
    if (const std::optional<QByteArray> reply = exchange("V"))
        Text1[0]->setText(QString::fromLatin1(*reply));
}

void UtilitiesWindow::switchMode(const QByteArray& command)
{
    setStatus(QString());
    if (exchange(command))
        setStatus(kModeSwitched);
}

void UtilitiesWindow::setReaderTime()
{
    setStatus(QString());
    const std::optional<int> hours = hoursToShift(Text2->text());
    if (!hours) {
        setStatus(kInvalidHours);
        return;
    }
    const QByteArray command = setTimeCommand(m_pcClock(), *hours, Option1[0]->isChecked());
    if (const std::optional<QByteArray> reply = exchange(command))
        setStatus(*reply == "O" ? kTimeSet : kTimeNotSet);
}

void UtilitiesWindow::getReaderTime()
{
    setStatus(QString());
    Text1[1]->clear();
    if (const std::optional<QByteArray> reply = exchange("t"))
        Text1[1]->setText(readerTimeText(*reply));
}

void UtilitiesWindow::showMemoryUsage()
{
    const std::optional<QByteArray> reply = exchange("z");
    if (!reply)
        return;
    setStatus(kMemoryReceived);
    const MemoryUsage usage = memoryUsage(*reply);
    Label1[15]->setText(usage.totalSlots);
    Label1[17]->setText(usage.usedSlots);
    Label1[8]->setText(usage.uploaded);
}

void UtilitiesWindow::clearReaderMemory()
{
    if (!m_dialogs.askYesNo(kClearQuestion))
        return;
    setStatus(QString());
    if (const std::optional<QByteArray> reply = exchange("lc"); reply && *reply == "OK")
        setStatus(kLogCleared);
}

void UtilitiesWindow::restartReader()
{
    setStatus(QString());
    // A restarting reader says nothing: only the send is checked.
    m_channel.SendReaderCommand(QByteArray("\0X", 2));
    if (m_state.SendFailed)
        setStatus(kNoResponse);
}

void UtilitiesWindow::get_uploadfilename(QString& uploadfilename, bool& cancelhit)
{
    const std::optional<QString> chosen = m_dialogs.chooseSaveFile(
        QStringLiteral("upload.txt"), QStringLiteral("Text (*.txt)"), QStringLiteral("txt"));
    cancelhit = !chosen || chosen->isEmpty();
    if (!cancelhit)
        uploadfilename = *chosen;
}

void UtilitiesWindow::upload_log()
{
    const std::optional<QByteArray> reply = exchange("lr");
    if (!reply)
        return;
    if (*reply != "OK") {
        setStatus(kInvalidUploadReply);
        return;
    }
    QString uploadfilename;
    bool cancelhit = false;
    get_uploadfilename(uploadfilename, cancelhit);
    if (cancelhit)
        return;

    // Unbuffered: each record reaches the file as it is written, so nothing
    // the reader has handed over is lost if the upload or the program dies.
    QFile file(uploadfilename);
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
    for (;;) {
        // A link that went away ends the upload as a silent reader would.
        const std::optional<QByteArray> reply = exchange("l");
        if (!reply)
            return;
        if (*reply == kEndOfLog)
            break;
        const QByteArray line = *reply + "\r\n";
        if (file.write(line) != line.size()) {
            setStatus(kUploadNotWritten);
            return;
        }
        ++records;
        if (!statusPace.isActive()) {
            showCount();
            statusPace.start();
        }
    }
    file.close();
    setStatus(file.error() == QFileDevice::NoError ? uploadCompleteText(records)
                                                   : kUploadNotWritten);
}
