#pragma once

#include "core/AppState.h"

#include <QWidget>

#include <array>

class ClickLabel;
class Dialogs;
class DigitBox;
class QLabel;
class QLineEdit;
struct LinkFailure;
class QRadioButton;
class SerialLink;
class TcpLink;

// The communications window: how the PC reaches the reader, and the
// "Connect to Port" and "Disconnect" commands.
class CommunicationsWindow : public QWidget
{
    Q_OBJECT
public:
    CommunicationsWindow(AppState& state, SerialLink& serial, TcpLink& tcp, Dialogs& dialogs,
                         QWidget* parent);

    void openLink();
    void closeLink();
    void applySerialSettings();

    QRadioButton* tcpOption;
    QRadioButton* serialOption;
    // Port options in port-number order: portOptions[0] is port 1.
    std::array<QRadioButton*, 8> portOptions{};
    QRadioButton* baud9600;
    QRadioButton* baud19200;
    QRadioButton* baud38400;
    QRadioButton* baud57600;
    QRadioButton* baud115200;
    QLineEdit* addressBox;
    DigitBox* tcpPortBox;
    ClickLabel* connectButton;
    ClickLabel* disconnectButton;
    // Why the last "Connect to Port" failed, or when an open link was lost.
    QLabel* reasonLine;

    // Baud options with their rates, slowest first.
    struct BaudOption
    {
        QRadioButton* option;
        qint32 baud;
    };
    std::array<BaudOption, 5> baudOptions() const;

signals:
    void connectionStateChanged(ConnectionState state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setConnectionState(ConnectionState state);
    // One attempt with the options as they are.
    void connectOnce();
    bool openTcp();
    void showReason(const LinkFailure& failure);
    // The open link of this kind failed under us.
    void linkLost(LinkKind kind, const LinkFailure& failure);
    void refreshPortToolTip(int portNumber);

    AppState& m_state;
    SerialLink& m_serial;
    TcpLink& m_tcp;
    Dialogs& m_dialogs;
    // A TCP connect is waiting for its answer.
    bool m_connecting = false;
    // Clicks during that wait: "Connect to Port" starts over with the options
    // as they are then, "Disconnect" gives up.
    bool m_connectAgain = false;
    bool m_connectStopped = false;
};
