#include "DownloadWindow.h"

#include "ImageTransfer.h"
#include "comm/CommandChannel.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
#include "widgets/ClickLabel.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QFile>
#include <QFrame>
#include <QLabel>

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
    if (m_busy)
        return;
    if (chosenFile.isEmpty()) {
        setStatus(QStringLiteral("Select a file to download first"));
        return;
    }
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
    setStatus(QStringLiteral("Preparing to Download Flash"));
    QFile file(chosenFile);
    TransferOutcome outcome;
    if (file.open(QIODevice::ReadOnly)) {
        ImageTransfer transfer(m_channel.activeLink(), deadline, m_state.closing);
        transfer.setTimeScale(m_pauseScale, m_timeoutScale);
        transfer.setDateSource(m_today);
        transfer.setStatusSink([this](const QString& text) { setStatus(text); });
        outcome = transfer.run(file, file.fileName(), p, tcp);
        file.close();
    } else {
        outcome = {TransferOutcome::Failed, Failure::FileUnreadable,
                   file.fileName() + QStringLiteral(" (") + file.errorString() + QLatin1Char(')')};
    }

    switch (outcome.kind) {
    case TransferOutcome::Closing:
        return;
    case TransferOutcome::Complete:
        setStatus(QString());
        m_dialogs.inform(QStringLiteral("Download complete"));
        return;
    case TransferOutcome::Failed:
        break;
    }
    const bool protocolFailure =
        outcome.failure == Failure::ReadyTimeout || outcome.failure == Failure::NotAcknowledged;
    // Failures of the file or the link leave nothing worth reading in the status line.
    if ((protocolFailure && p.clearStatusOnError) || outcome.failure == Failure::FileUnreadable ||
        outcome.failure == Failure::LinkLost)
        setStatus(QString());
    m_dialogs.inform(failureMessage(outcome.failure, p.errorCodes, outcome.stage, outcome.detail));
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
