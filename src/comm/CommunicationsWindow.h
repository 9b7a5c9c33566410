#pragma once

#include <QWidget>

#include <array>
#include <functional>

struct AppState;
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

    // The connection state is the caption of the menu's state label; the
    // window reads it through this.
    void setConnectionStateReader(std::function<QString()> reader);

    void OpenLink();
    void CloseLink();
    void ApplySerialSettings();

    QRadioButton* Option1;  // TCP/IP
    QRadioButton* Option2;  // Serial Port
    QRadioButton* Option5;  // port 1
    QRadioButton* Option8;  // port 2
    QRadioButton* Option6;  // port 3
    QRadioButton* Option9;  // port 4
    QRadioButton* Option7;  // port 5
    QRadioButton* Option13; // port 6
    QRadioButton* Option14; // port 7
    QRadioButton* Option15; // port 8
    QRadioButton* Option11; // 9600
    QRadioButton* Option10; // 19200
    QRadioButton* Option3;  // 38400
    QRadioButton* Option4;  // 57600
    QRadioButton* Option12; // 115200
    QLineEdit* Text1;       // IP address
    DigitBox* Text3;        // TCP port
    ClickLabel* Label10;    // Connect to Port
    ClickLabel* Label7;     // Disconnect
    // Why the last "Connect to Port" failed, or when an open link was lost.
    QLabel* LinkReason;

    // Port options in port-number order, and baud options in the order
    // they are applied, with their settings strings.
    std::array<QRadioButton*, 8> portOptions() const;
    struct BaudOption
    {
        QRadioButton* option;
        qint32 baud;
        const char* settings;
    };
    std::array<BaudOption, 5> baudOptions() const;

signals:
    void connectionStateChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setConnectionState(const char* text);
    QString connectionState() const;
    bool openTcp();
    void showReason(const LinkFailure& failure);
    void refreshPortToolTip(int portNumber);

    AppState& m_state;
    SerialLink& m_serial;
    TcpLink& m_tcp;
    Dialogs& m_dialogs;
    std::function<QString()> m_stateReader;
    bool m_connecting = false;
};
