#include "CommunicationsWindow.h"

#include "LinkFailure.h"
#include "SerialLink.h"
#include "SerialPortNames.h"
#include "TcpLink.h"
#include "app/AppState.h"
#include "app/Dialogs.h"
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
const char* const kConnected = "Connected";
const char* const kDisconnected = "Disconnected";

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
    Option1 = addOption(mode, QStringLiteral("TCP/IP"), twipsRect(240, 480, 2200, 330, this));
    Option2 = addOption(mode, QStringLiteral("Serial Port"), twipsRect(240, 960, 2200, 330, this));

    auto* port = new QGroupBox(QStringLiteral("Comm Port"), this);
    port->setGeometry(twipsRect(3360, 480, 2600, 2700, this));
    // Odd port numbers in the left column, even ones in the right.
    auto portRect = [this](int number) {
        const int column = (number - 1) % 2;
        const int row = (number - 1) / 2;
        return twipsRect(360 + column * 1200, 480 + row * 480, 1000, 330, this);
    };
    Option5 = addOption(port, QStringLiteral("1"), portRect(1));
    Option8 = addOption(port, QStringLiteral("2"), portRect(2));
    Option6 = addOption(port, QStringLiteral("3"), portRect(3));
    Option9 = addOption(port, QStringLiteral("4"), portRect(4));
    Option7 = addOption(port, QStringLiteral("5"), portRect(5));
    Option13 = addOption(port, QStringLiteral("6"), portRect(6));
    Option14 = addOption(port, QStringLiteral("7"), portRect(7));
    Option15 = addOption(port, QStringLiteral("8"), portRect(8));

    auto* baud = new QGroupBox(QStringLiteral("Baud Rate"), this);
    baud->setGeometry(twipsRect(6240, 480, 2600, 2700, this));
    Option11 = addOption(baud, QStringLiteral("9600"), twipsRect(360, 480, 1800, 330, this));
    Option10 = addOption(baud, QStringLiteral("19200"), twipsRect(360, 900, 1800, 330, this));
    Option3 = addOption(baud, QStringLiteral("38400"), twipsRect(360, 1320, 1800, 330, this));
    Option4 = addOption(baud, QStringLiteral("57600"), twipsRect(360, 1740, 1800, 330, this));
    Option12 = addOption(baud, QStringLiteral("115200"), twipsRect(360, 2160, 1800, 330, this));

    auto* ip = new QGroupBox(QStringLiteral("IP Settings"), this);
    ip->setGeometry(twipsRect(480, 3480, 8360, 1200, this));
    auto* addressCaption = new QLabel(QStringLiteral("IP Address"), ip);
    addressCaption->setGeometry(twipsRect(240, 480, 1200, 330, this));
    Text1 = new QLineEdit(ip);
    Text1->setMaxLength(15);
    Text1->setGeometry(twipsRect(1500, 450, 2600, 360, this));
    addressCaption->setBuddy(Text1);
    Text1->setAccessibleName(QStringLiteral("IP Address"));
    auto* portCaption = new QLabel(QStringLiteral("Port"), ip);
    portCaption->setGeometry(twipsRect(4800, 480, 700, 330, this));
    Text3 = new DigitBox(5, ip);
    Text3->setGeometry(twipsRect(5520, 450, 1200, 360, this));
    portCaption->setBuddy(Text3);
    Text3->setAccessibleName(QStringLiteral("Port"));

    Label10 = new ClickLabel(QStringLiteral("Connect to Port"), this);
    Label10->setButtonLook();
    Label10->setGeometry(twipsRect(960, 5280, 2535, 420, this));
    Label7 = new ClickLabel(QStringLiteral("Disconnect"), this);
    Label7->setButtonLook();
    Label7->setGeometry(twipsRect(5880, 5280, 2535, 420, this));

    LinkReason = new QLabel(this);
    LinkReason->setGeometry(twipsRect(480, 5880, 8360, 660, this));
    LinkReason->setWordWrap(true);
    LinkReason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LinkReason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Named by its text, so a screen reader hears why; the description says what it is.
    LinkReason->setAccessibleDescription(QStringLiteral("Connection problem"));
    QPalette reasonPalette = LinkReason->palette();
    reasonPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    LinkReason->setPalette(reasonPalette);

    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_state.LinkMode = 1;
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_state.LinkMode = 2;
    });
    const auto ports = portOptions();
    for (int i = 0; i < static_cast<int>(ports.size()); ++i) {
        connect(ports[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                m_state.ComPortNumber = static_cast<std::int16_t>(i + 1);
        });
    }
    for (const BaudOption& option : baudOptions()) {
        const qint32 rate = option.baud;
        connect(option.option, &QRadioButton::toggled, this, [this, rate](bool on) {
            if (on)
                m_state.BaudRate = rate;
        });
    }
    connect(Text1, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_state.RemoteAddress = text; });
    connect(Text3, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_state.RemotePortText = text; });
    connect(Label10, &ClickLabel::clicked, this, &CommunicationsWindow::OpenLink);
    connect(Label7, &ClickLabel::clicked, this, &CommunicationsWindow::CloseLink);
    connect(&m_tcp, &TcpLink::connectCompleted, this, [this] { m_state.TcpConnectSeen = true; });
    connect(&m_tcp, &TcpLink::lost, this, &CommunicationsWindow::showReason);
    connect(&m_serial, &SerialLink::lost, this, &CommunicationsWindow::showReason);

    for (int i = 0; i < static_cast<int>(ports.size()); ++i) {
        ports[i]->installEventFilter(this);
        ports[i]->setToolTip(QStringLiteral("Port %1").arg(i + 1));
    }
}

std::array<QRadioButton*, 8> CommunicationsWindow::portOptions() const
{
    return {Option5, Option8, Option6, Option9, Option7, Option13, Option14, Option15};
}

std::array<CommunicationsWindow::BaudOption, 5> CommunicationsWindow::baudOptions() const
{
    return {{{Option11, 9600, "9600,N,8,1"},
             {Option10, 19200, "19200,N,8,1"},
             {Option3, 38400, "38400,N,8,1"},
             {Option4, 57600, "57600,N,8,1"},
             {Option12, 115200, "115200,N,8,1"}}};
}

void CommunicationsWindow::setConnectionStateReader(std::function<QString()> reader)
{
    m_stateReader = std::move(reader);
}

QString CommunicationsWindow::connectionState() const
{
    return m_stateReader ? m_stateReader() : QString::fromLatin1(kDisconnected);
}

void CommunicationsWindow::setConnectionState(const char* text)
{
    emit connectionStateChanged(QString::fromLatin1(text));
}

void CommunicationsWindow::ApplySerialSettings()
{
    // Reads the options themselves; a group with nothing selected leaves
    // that setting of the port as it was.
    const auto ports = portOptions();
    for (int i = 0; i < static_cast<int>(ports.size()); ++i) {
        if (ports[i]->isChecked())
            m_serial.setPortNumber(i + 1);
    }
    for (const BaudOption& option : baudOptions()) {
        if (option.option->isChecked())
            m_serial.setSettings(QString::fromLatin1(option.settings));
    }
}

void CommunicationsWindow::OpenLink()
{
    if (m_connecting)
        return;
    if (connectionState() == QLatin1String(kConnected)) {
        m_dialogs.inform(QStringLiteral("Disconnect first before connecting"));
        return;
    }
    m_state.ConnectedLinkMode = 0;
    m_state.ConnectedBaudRate = 0;
    showReason({});
    if (m_state.LinkMode != 1) {
        m_serial.close();
        ApplySerialSettings();
        const bool opened = m_serial.open();
        if (opened) {
            m_state.ConnectedLinkMode = 2;
            m_state.ConnectedBaudRate = m_serial.openBaudRate();
        } else {
            showReason(m_serial.lastFailure());
        }
        setConnectionState(opened ? kConnected : kDisconnected);
        return;
    }
    m_connecting = true;
    const bool opened = openTcp();
    m_connecting = false;
    if (opened) {
        m_state.ConnectedLinkMode = 1;
        setConnectionState(kConnected);
    } else {
        setConnectionState(kDisconnected);
        m_tcp.close();
    }
}

bool CommunicationsWindow::openTcp()
{
    m_state.TcpConnectSeen = false;
    bool numeric = false;
    const qint32 port = m_state.RemotePortText.toInt(&numeric);
    if (!numeric || port < 1 || port > 65535) {
        LinkFailure failure;
        failure.kind = LinkFailure::Kind::BadTcpPort;
        failure.port = m_state.RemotePortText;
        showReason(failure);
        return false;
    }
    m_tcp.connectTo(m_state.RemoteAddress, static_cast<quint16>(port));
    if (!m_tcp.waitForConnect(m_state.TcpConnectSeen, m_state.Closing)) {
        showReason(m_tcp.connectFailure());
        return false;
    }
    return true;
}

void CommunicationsWindow::CloseLink()
{
    if (connectionState() == QLatin1String(kDisconnected)) {
        m_dialogs.inform(QStringLiteral("Already disconnected"));
        return;
    }
    // The link that was opened, whatever the options show now.
    if (m_state.isTcp())
        m_tcp.close();
    else
        m_serial.closeAfterSending();
    m_state.ConnectedLinkMode = 0;
    m_state.ConnectedBaudRate = 0;
    setConnectionState(kDisconnected);
}

void CommunicationsWindow::showReason(const LinkFailure& failure)
{
    LinkReason->setText(describe(failure));
}

void CommunicationsWindow::refreshPortToolTip(int portNumber)
{
    const QString description = m_serial.portNames().describe(portNumber);
    portOptions()[portNumber - 1]->setToolTip(
        description.isEmpty() ? QStringLiteral("No such port on this computer") : description);
}

bool CommunicationsWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Adapters come and go, so the device is looked up when the tip is shown.
    if (event->type() == QEvent::ToolTip) {
        const auto ports = portOptions();
        for (int i = 0; i < static_cast<int>(ports.size()); ++i) {
            if (ports[i] == watched)
                refreshPortToolTip(i + 1);
        }
    }
    return QWidget::eventFilter(watched, event);
}
