#include "DownloadWindow.h"

#include "comm/CommandChannel.h"
#include "comm/EventWait.h"
#include "comm/Link.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
#include "widgets/ClickLabel.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QFile>
#include <QFrame>
#include <QLabel>

#include <cmath>

using namespace download;

namespace {

constexpr qint32 kSerialBaud = 9600;

// A command button: a label drawn as a button, in a box frame a little larger.
ClickLabel* framedButton(const QString& text, const QRect& place, QWidget* parent)
{
    auto* button = new ClickLabel(text, parent);
    button->setButtonLook();
    button->setGeometry(place);
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(place.adjusted(-3, -3, 3, 3));
    frame->lower();
    return button;
}

QString fileProblem(const QFile& file)
{
    return file.fileName() + QStringLiteral(" (") + file.errorString() + QLatin1Char(')');
}

} // namespace

DownloadWindow::DownloadWindow(AppState& state, CommandChannel& channel, Dialogs& dialogs,
                               QWidget* parent, Variant variant)
    : QWidget(parent), m_state(state), m_channel(channel), m_dialogs(dialogs), m_variant(variant),
      m_today([] { return QDate::currentDate(); })
{
    const bool firmware = variant == Variant::Firmware;
    setWindowTitle(firmware ? QString() : QStringLiteral("Flash Boot 2"));
    setAccessibleName(firmware ? QStringLiteral("Flash Download") : QStringLiteral("Flash Boot 2"));
    setAutoFillBackground(true);
    if (firmware)
        paintBackground(this, kWindowGrey);

    heading = new QLabel(firmware ? QStringLiteral("KVT Series  Flash Download")
                                  : QStringLiteral("R500 Bootloader Extension Download"),
                         this);
    QFont headingFont(QStringLiteral("Arial"), 14);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    heading->setAlignment(Qt::AlignCenter);
    heading->setGeometry(twipsRect(480, 480, 9600, 480, this));

    selectFileButton = framedButton(QStringLiteral("Select File to Download"),
                                    twipsRect(960, 1680, 3600, 420, this), this);
    startButton = framedButton(QStringLiteral("Start Flash Download"),
                               twipsRect(6000, 1680, 3600, 420, this), this);

    // Both lines are read out by their text, which changes; the description says what they are.
    chosenFileLine = new QLabel(this);
    chosenFileLine->setAccessibleDescription(QStringLiteral("File to download"));
    chosenFileLine->setGeometry(twipsRect(480, 2760, 9600, 330, this));
    chosenFileLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine = new QLabel(this);
    statusLine->setAccessibleDescription(QStringLiteral("Download status"));
    statusLine->setGeometry(twipsRect(480, 3480, 9600, 330, this));

    connect(selectFileButton, &ClickLabel::clicked, this, &DownloadWindow::selectFile);
    connect(startButton, &ClickLabel::clicked, this, &DownloadWindow::startDownload);
}

void DownloadWindow::setTimeScale(double pauses, double timeouts)
{
    m_pauseScale = pauses;
    m_timeoutScale = timeouts;
}

void DownloadWindow::setDateSource(std::function<QDate()> today)
{
    m_today = std::move(today);
}

bool DownloadWindow::refusedForSpeed(const AppState& state, Dialogs& dialogs)
{
    // The open port's speed: a baud option ticked since takes effect only at the next connect.
    if (state.isTcp() || state.connectedBaudRate == kSerialBaud)
        return false;
    dialogs.inform(QStringLiteral("Controller must be programmed to 9600 baud before reflashing"));
    return true;
}

void DownloadWindow::selectFile()
{
    if (m_busy)
        return;
    m_busy = true;
    askForFile();
    m_busy = false;
}

void DownloadWindow::startDownload()
{
    if (m_busy || chosenFile.isEmpty())
        return;
    m_busy = true;
    runDownload();
    m_busy = false;
}

void DownloadWindow::askForFile()
{
    chosenFile.clear();
    const std::optional<QString> chosen =
        m_dialogs.chooseOpenFile(QStringLiteral("Bin Files (*.bin)"));
    // A cancel leaves the path shown before, though nothing is chosen any more.
    if (!chosen)
        return;
    chosenFile = *chosen;
    if (!chosenFile.isEmpty())
        chosenFileLine->setText(chosenFile);
}

void DownloadWindow::runDownload()
{
    OperationMark mark(m_state);
    if (!mark.acquired()) {
        setStatus(kOperationRunningText);
        return;
    }
    const bool tcp = m_state.isTcp();
    // The port may have been opened again at another speed since the menu let this window forward.
    if (refusedForSpeed(m_state, m_dialogs))
        return;

    const Parameters p = parametersFor(m_variant, tcp);
    Link& link = m_channel.activeLink();
    m_stage = Stage::Handshake;

    setStatus(QStringLiteral("Preparing to Download Flash"));
    QFile file(chosenFile);
    const Outcome outcome = transfer(file, link, p, tcp);
    file.close();

    switch (outcome.kind) {
    case Outcome::Closing:
        return;
    case Outcome::Complete:
        setStatus(QString());
        m_dialogs.inform(QStringLiteral("Download complete"));
        return;
    case Outcome::Failed:
        break;
    }
    const bool protocolFailure =
        outcome.failure == Failure::ReadyTimeout || outcome.failure == Failure::NotAcknowledged;
    // Failures of the file or the link leave nothing worth reading in the status line.
    if ((protocolFailure && p.clearStatusOnError) || outcome.failure == Failure::FileUnreadable ||
        outcome.failure == Failure::LinkLost)
        setStatus(QString());
    m_dialogs.inform(failureMessage(outcome.failure, p.errorCodes, m_stage, outcome.detail));
}

DownloadWindow::Outcome DownloadWindow::transfer(QFile& file, Link& link, const Parameters& p,
                                                 bool tcp)
{
    if (!file.open(QIODevice::ReadOnly))
        return failed(Failure::FileUnreadable, fileProblem(file));

    // Leftovers of an earlier run (a late acknowledgement) would spoil the ready reply.
    link.discardPending();
    if (!link.write(kAttentionSequence))
        return failed(Failure::LinkLost);
    if (!deadline.waitOut(scaled(p.pauseMs, m_pauseScale), m_state.closing))
        return {Outcome::Closing, {}, {}};

    // On serial, whatever the reader said while waking up is not the reply.
    if (!tcp)
        link.discardPending();
    if (!link.write(p.startCommand))
        return failed(Failure::LinkLost);
    const Wait ready = awaitReady(link, p, tcp);
    if (ready != Wait::Done)
        return fromWait(ready, Failure::ReadyTimeout);

    return sendImage(file, link, p, tcp);
}

DownloadWindow::Outcome DownloadWindow::sendImage(QFile& file, Link& link, const Parameters& p,
                                                  bool tcp)
{
    const qint64 dataLength = file.size() - p.trailerBytes;
    // An image of no more than its trailer has no data part to send.
    if (dataLength <= 0)
        return failed(Failure::EarlyEnd);

    qint64 bytesRead = 0;
    qint64 bytesAcked = 0;
    QByteArray block(p.blockSize, '\0');
    while (bytesRead < dataLength) {
        const qint64 wanted = std::min<qint64>(p.blockSize, dataLength - bytesRead);
        const qint64 got = file.read(block.data(), wanted);
        if (got < 0)
            return failed(Failure::FileUnreadable, fileProblem(file));
        if (got < wanted)
            return failed(Failure::EarlyEnd);
        bytesRead += got;
        const bool last = bytesRead == dataLength;
        if (last && p.hundredAtLastBlock)
            setStatus(completeText());
        if (!link.write(frameBlock(QByteArrayView(block.constData(), got))))
            return failed(Failure::LinkLost);
        m_stage = last ? Stage::LastBlock : Stage::FullBlock;
        const Wait acked = awaitAck(link, tcp, kBlockAck, scaled(p.ackTimeoutMs, m_timeoutScale));
        if (acked != Wait::Done)
            return fromWait(acked, Failure::NotAcknowledged);
        if (!last) {
            bytesAcked += p.blockSize;
            setStatus(progressText(bytesAcked, dataLength));
        }
    }

    QByteArray ending(1, '\0');
    if (p.trailerAndDate) {
        const QByteArray trailer = file.read(p.trailerBytes);
        if (trailer.size() != p.trailerBytes)
            return file.error() == QFileDevice::NoError
                       ? failed(Failure::EarlyEnd)
                       : failed(Failure::FileUnreadable, fileProblem(file));
        ending += trailer;
        ending += dateStamp(m_today());
    }
    if (!link.write(ending))
        return failed(Failure::LinkLost);
    m_stage = Stage::Final;
    const int finalTimeout = scaled(p.finalTimeoutMs, m_timeoutScale);
    Wait final = awaitAck(link, tcp, kFinalAck, finalTimeout);
    for (int group = 0; group < p.ffGroups && final == Wait::Done; ++group) {
        if (!link.write(QByteArray(kGroupBytes, '\xff')))
            return failed(Failure::LinkLost);
        final = awaitAck(link, tcp, kFinalAck, finalTimeout);
    }
    if (final != Wait::Done)
        return fromWait(final, Failure::NotAcknowledged);
    return {Outcome::Complete, {}, {}};
}

DownloadWindow::Wait DownloadWindow::awaitBytes(Link& link, bool tcp, QByteArray& got)
{
    for (;;) {
        eventwait::pass(link.pending() > 0);
        if (m_state.closing)
            return Wait::Closing;
        if (deadline.expired()) {
            deadline.stop();
            return Wait::TimedOut;
        }
        const qint64 pending = link.pending();
        if (pending <= 0) {
            if (!link.isOpen()) {
                deadline.stop();
                return Wait::LinkLost;
            }
            continue;
        }
        // Serial takes one character a pass, so what follows stays pending.
        got = link.read(tcp ? pending : 1);
        if (!got.isEmpty())
            return Wait::Done;
    }
}

DownloadWindow::Wait DownloadWindow::awaitReady(Link& link, const Parameters& p, bool tcp)
{
    deadline.arm(scaled(p.readyTimeoutMs, m_timeoutScale));
    QByteArray reply;
    for (;;) {
        QByteArray got;
        if (const Wait wait = awaitBytes(link, tcp, got); wait != Wait::Done)
            return wait;
        // Once longer than the reply it can never match; it need not grow further.
        if (reply.size() <= p.readyReply.size())
            reply += got;
        if (reply == p.readyReply)
            break;
    }
    deadline.stop();
    return Wait::Done;
}

DownloadWindow::Wait DownloadWindow::awaitAck(Link& link, bool tcp, char expected, int timeoutMs)
{
    deadline.arm(timeoutMs);
    QByteArray got;
    if (const Wait wait = awaitBytes(link, tcp, got); wait != Wait::Done)
        return wait;
    deadline.stop();
    return got.at(0) == expected ? Wait::Done : Wait::Wrong;
}

int DownloadWindow::scaled(int ms, double factor) const
{
    return int(std::lround(ms * factor));
}

void DownloadWindow::setStatus(const QString& text)
{
    // The progress text changes once in many blocks; drawing it again each block
    // would cost more than the block itself.
    if (text == statusLine->text())
        return;
    statusLine->setText(text);
    statusLine->repaint();
}

DownloadWindow::Outcome DownloadWindow::failed(Failure failure, const QString& detail) const
{
    return {Outcome::Failed, failure, detail};
}

DownloadWindow::Outcome DownloadWindow::fromWait(Wait wait, Failure refused) const
{
    switch (wait) {
    case Wait::Closing:
        return {Outcome::Closing, {}, {}};
    case Wait::LinkLost:
        return failed(Failure::LinkLost);
    case Wait::Done:
    case Wait::TimedOut:
    case Wait::Wrong:
        break;
    }
    return failed(refused);
}
