#include "CommunicationsWindow.h"

#include "LinkFailure.h"
#include "SerialLink.h"
#include "SerialPortNames.h"
#include "TcpLink.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {
QRadioButton* addOption(QGroupBox* group, const QString& caption, QRect geometry)
{
    auto* option = new QRadioButton(caption, group);
    option->setGeometry(geometry);
    return option;
}
} // namespace

CommunicationsWindow::CommunicationsWindow(AppState& state, SerialLink& serial, TcpLink& tcp,
                                           Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_state(state), m_serial(serial), m_tcp(tcp), m_dialogs(dialogs)
{
    setAccessibleName(QStringLiteral("Communications"));
    paintBackground(this, kWindowGrey);

    auto* mode = new QGroupBox(QStringLiteral("Comm Mode"), this);
    mode->setGeometry(twipsRect(480, 480, 2600, 2700, this));
    tcpOption = addOption(mode, QStringLiteral("TCP/IP"), twipsRect(240, 480, 2200, 330, this));
    serialOption =
        addOption(mode, QStringLiteral("Serial Port"), twipsRect(240, 960, 2200, 330, this));

    auto* port = new QGroupBox(QStringLiteral("Comm Port"), this);
    port->setGeometry(twipsRect(3360, 480, 2600, 2700, this));
    // Odd port numbers in the left column, even ones in the right.
    auto portRect = [this](int number) {
        const int column = (number - 1) % 2;
        const int row = (number - 1) / 2;
        return twipsRect(360 + column * 1200, 480 + row * 480, 1000, 330, this);
    };
    for (int number = 1; number <= static_cast<int>(portOptions.size()); ++number)
        portOptions[number - 1] = addOption(port, QString::number(number), portRect(number));

    auto* baud = new QGroupBox(QStringLiteral("Baud Rate"), this);
    baud->setGeometry(twipsRect(6240, 480, 2600, 2700, this));
    baud9600 = addOption(baud, QStringLiteral("9600"), twipsRect(360, 480, 1800, 330, this));
    baud19200 = addOption(baud, QStringLiteral("19200"), twipsRect(360, 900, 1800, 330, this));
    baud38400 = addOption(baud, QStringLiteral("38400"), twipsRect(360, 1320, 1800, 330, this));
    baud57600 = addOption(baud, QStringLiteral("57600"), twipsRect(360, 1740, 1800, 330, this));
    baud115200 = addOption(baud, QStringLiteral("115200"), twipsRect(360, 2160, 1800, 330, this));

    auto* ip = new QGroupBox(QStringLiteral("IP Settings"), this);
    ip->setGeometry(twipsRect(480, 3480, 8360, 1200, this));
    auto* addressCaption = new QLabel(QStringLiteral("IP Address"), ip);
    addressCaption->setGeometry(twipsRect(240, 480, 1200, 330, this));
    addressBox = new QLineEdit(ip);
    addressBox->setMaxLength(15);
    addressBox->setGeometry(twipsRect(1500, 450, 2600, 360, this));
    addressCaption->setBuddy(addressBox);
    addressBox->setAccessibleName(QStringLiteral("IP Address"));
    auto* portCaption = new QLabel(QStringLiteral("Port"), ip);
    portCaption->setGeometry(twipsRect(4800, 480, 700, 330, this));
    tcpPortBox = new DigitBox(5, ip);
    tcpPortBox->setGeometry(twipsRect(5520, 450, 1200, 360, this));
    portCaption->setBuddy(tcpPortBox);
    tcpPortBox->setAccessibleName(QStringLiteral("Port"));

    connectButton = new ClickLabel(QStringLiteral("Connect to Port"), this);
    connectButton->setButtonLook();
    connectButton->setGeometry(twipsRect(960, 5280, 2535, 420, this));
    disconnectButton = new ClickLabel(QStringLiteral("Disconnect"), this);
    disconnectButton->setButtonLook();
    disconnectButton->setGeometry(twipsRect(5880, 5280, 2535, 420, this));

    reasonLine = new QLabel(this);
    reasonLine->setGeometry(twipsRect(480, 5880, 8360, 660, this));
    reasonLine->setWordWrap(true);
    reasonLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    reasonLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Named by its text, so a screen reader hears why; the description says what it is.
    reasonLine->setAccessibleDescription(QStringLiteral("Connection problem"));
    QPalette reasonPalette = reasonLine->palette();
    reasonPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    reasonLine->setPalette(reasonPalette);

    connect(tcpOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_state.chosenLink = LinkKind::Tcp;
    });
    connect(serialOption, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_state.chosenLink = LinkKind::Serial;
    });
    for (int i = 0; i < static_cast<int>(portOptions.size()); ++i) {
        connect(portOptions[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                m_state.chosenPortNumber = static_cast<std::int16_t>(i + 1);
        });
    }
    for (const BaudOption& option : baudOptions()) {
        const qint32 rate = option.baud;
        connect(option.option, &QRadioButton::toggled, this, [this, rate](bool on) {
            if (on)
                m_state.chosenBaudRate = rate;
        });
    }
    connect(addressBox, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_state.remoteAddress = text; });
    connect(tcpPortBox, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_state.remotePortText = text; });
    connect(connectButton, &ClickLabel::clicked, this, &CommunicationsWindow::openLink);
    connect(disconnectButton, &ClickLabel::clicked, this, &CommunicationsWindow::closeLink);
    connect(&m_tcp, &TcpLink::connectCompleted, this, [this] { m_state.tcpConnectSeen = true; });
    connect(&m_tcp, &TcpLink::lost, this,
            [this](const LinkFailure& failure) { linkLost(LinkKind::Tcp, failure); });
    connect(&m_serial, &SerialLink::lost, this,
            [this](const LinkFailure& failure) { linkLost(LinkKind::Serial, failure); });

    for (int i = 0; i < static_cast<int>(portOptions.size()); ++i) {
        portOptions[i]->installEventFilter(this);
        portOptions[i]->setToolTip(QStringLiteral("Port %1").arg(i + 1));
    }
}

std::array<CommunicationsWindow::BaudOption, 5> CommunicationsWindow::baudOptions() const
{
    return {{{baud9600, 9600},
             {baud19200, 19200},
             {baud38400, 38400},
             {baud57600, 57600},
             {baud115200, 115200}}};
}

void CommunicationsWindow::setConnectionState(ConnectionState state)
{
    m_state.connection = state;
    emit connectionStateChanged(state);
}

void CommunicationsWindow::applySerialSettings()
{
    // A group with nothing ticked yet leaves that setting of the port as it was.
    if (m_state.chosenPortNumber != 0)
        m_serial.setPortNumber(m_state.chosenPortNumber);
    if (m_state.chosenBaudRate != 0)
        m_serial.setSettings(QStringLiteral("%1,N,8,1").arg(m_state.chosenBaudRate));
}

void CommunicationsWindow::openLink()
{
    if (m_connecting) {
        m_connectAgain = true;
        return;
    }
    if (m_state.connected()) {
        m_dialogs.inform(QStringLiteral("Disconnect first before connecting"));
        return;
    }
    m_connecting = true;
    m_connectStopped = false;
    do {
        m_connectAgain = false;
        connectOnce();
    } while (m_connectAgain && !m_connectStopped && !m_state.closing && !m_state.connected());
    m_connecting = false;
}

void CommunicationsWindow::connectOnce()
{
    showReason({});
    if (m_state.chosenLink == LinkKind::Serial) {
        m_serial.close();
        applySerialSettings();
        if (!m_serial.open()) {
            showReason(m_serial.lastFailure());
            setConnectionState(ConnectionState::Disconnected);
            return;
        }
        m_state.connectedLink = LinkKind::Serial;
        m_state.connectedBaudRate = m_serial.openBaudRate();
        setConnectionState(ConnectionState::Connected);
        return;
    }
    if (!openTcp()) {
        setConnectionState(ConnectionState::Disconnected);
        m_tcp.close();
        return;
    }
    m_state.connectedLink = LinkKind::Tcp;
    setConnectionState(ConnectionState::Connected);
}

bool CommunicationsWindow::openTcp()
{
    m_state.tcpConnectSeen = false;
    bool numeric = false;
    const qint32 port = m_state.remotePortText.toInt(&numeric);
    if (!numeric || port < 1 || port > 65535) {
        LinkFailure failure;
        failure.kind = LinkFailure::Kind::BadTcpPort;
        failure.port = m_state.remotePortText;
        showReason(failure);
        return false;
    }
    // The wait may take seconds: it says what it waits for until it ends.
    reasonLine->setText(
        QStringLiteral("Connecting to %1 port %2 ...").arg(m_state.remoteAddress).arg(port));
    m_tcp.connectTo(m_state.remoteAddress, static_cast<quint16>(port));
    const bool connected = m_tcp.waitForConnect(m_state.tcpConnectSeen, [this] {
        return m_connectAgain || m_connectStopped || m_state.closing;
    });
    if (connected)
        showReason({});
    else if (m_connectAgain || m_connectStopped)
        reasonLine->clear();
    else
        showReason(m_tcp.connectFailure());
    return connected;
}

void CommunicationsWindow::closeLink()
{
    if (m_connecting) {
        m_connectStopped = true;
        return;
    }
    if (!m_state.connected()) {
        m_dialogs.inform(QStringLiteral("Already disconnected"));
        return;
    }
    // The link that was opened, whatever the options show now.
    if (m_state.isTcp())
        m_tcp.close();
    else
        m_serial.closeAfterSending();
    m_state.connectedBaudRate = 0;
    setConnectionState(ConnectionState::Disconnected);
}

void CommunicationsWindow::linkLost(LinkKind kind, const LinkFailure& failure)
{
    showReason(failure);
    if (!m_state.connected() || m_state.connectedLink != kind)
        return;
    // The socket is left as it is: a reply that came before the close can
    // still be read by the operation waiting for it.
    m_state.connectedBaudRate = 0;
    setConnectionState(ConnectionState::Disconnected);
}

void CommunicationsWindow::showReason(const LinkFailure& failure)
{
    reasonLine->setText(describe(failure));
}

void CommunicationsWindow::refreshPortToolTip(int portNumber)
{
    const QString description = m_serial.portNames().describe(portNumber);
    portOptions[portNumber - 1]->setToolTip(
        description.isEmpty() ? QStringLiteral("No such port on this computer") : description);
}

bool CommunicationsWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Adapters come and go, so the device is looked up when the tip is shown.
    if (event->type() == QEvent::ToolTip) {
        for (int i = 0; i < static_cast<int>(portOptions.size()); ++i) {
            if (portOptions[i] == watched)
                refreshPortToolTip(i + 1);
        }
    }
    return QWidget::eventFilter(watched, event);
}
