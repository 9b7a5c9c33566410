#include "Harness.h"

#include "comm/EventWait.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>

namespace {

// The offscreen platform warns about window calls it cannot honour; that is
// noise, not a finding.
void quietOffscreenWarnings()
{
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text.startsWith(QLatin1String("This plugin does not support")))
                return;
            previous(type, context, text);
        });
}

} // namespace

Harness::Harness()
{
    quietOffscreenWarnings();
    app.start();

    TcpLink& tcp = app.main().tcpLink;
    tcp.setConnectSleep([this, &tcp](int ms) {
        connectSleeps << ms;
        const auto settled = [&tcp] {
            return tcp.isOpen() || tcp.connectFailure().kind != LinkFailure::Kind::NoAnswer;
        };
        // A loaded machine can take longer than the real thirty sleeps to connect to a reader
        // in this very process (under Wine in particular): each sleep allows ten times its
        // length, which costs nothing once the connection is made or refused.
        QDeadlineTimer deadline(10 * ms);
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(10 * ms);
        while (!settled() && !deadline.hasExpired())
            eventwait::waitForNextEvent();
    });

    m_replyExpiry.setInterval(1);
    QObject::connect(&m_replyExpiry, &QTimer::timeout, &m_replyExpiry, [this] {
        // The wait has begun once the reply timer is armed.
        eventwait::Deadline& deadline = app.main().channel().replyDeadline();
        if (!deadline.isArmed())
            return;
        deadline.expire();
        m_replyExpiry.stop();
    });
}

void Harness::doubleClick(QWidget* widget)
{
    QWidget* top = widget->window();
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {},
                       widget->mapTo(top, widget->rect().center()));
}

QString Harness::portTip(int port)
{
    QRadioButton* option = comm().portOptions[port - 1];
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), option->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(option, &tip);
    return option->toolTip();
}

bool Harness::trigger(const QString& text)
{
    for (QAction* menu : main().menuBar()->actions()) {
        for (QAction* action : menu->menu() ? menu->menu()->actions() : QList<QAction*>()) {
            if (QString(action->text()).remove(QLatin1Char('&')) == text) {
                action->trigger();
                return true;
            }
        }
    }
    return false;
}

void Harness::programReader()
{
    dialogs.yesNoAnswers << true;
    click(menu().programEntry);
}

bool Harness::connectTcp(int port)
{
    if (port < 0) {
        if (!server.listen())
            return false;
        port = server.port();
    }
    comm().tcpOption->setChecked(true);
    comm().addressBox->setText(QStringLiteral("127.0.0.1"));
    comm().tcpPortBox->setText(QString::number(port));
    click(comm().connectButton);
    return connectionState() == QLatin1String("Connected");
}

bool Harness::connectSerial()
{
    if (!pty.open())
        return false;
    app.portNames().setOverride(kPtyPort, pty.slavePath());
    comm().serialOption->setChecked(true);
    comm().portOptions[kPtyPort - 1]->setChecked(true);
    return clickConnect();
}

bool Harness::clickConnect()
{
    // Test programs run side by side, and a pseudo-terminal's number is reused
    // at once: another program's port may still be letting go of its lock file
    // for this device, so one refusal is retried after saying why.
    for (int attempt = 0; attempt < 2; ++attempt) {
        click(comm().connectButton);
        if (connectionState() == QLatin1String("Connected"))
            return true;
        qWarning("connect failed: %s", qPrintable(comm().reasonLine->text()));
        QTest::qWait(200);
    }
    return false;
}

QStringList Harness::paneLines(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

void Harness::replyNeverComes(const QByteArray& commandPrefix)
{
    reader.setSilentOn(commandPrefix);
    QObject::connect(&reader, &sim::SimReader::commandReceived, &m_replyExpiry,
                     [this, commandPrefix](QByteArray command) {
                         while (command.startsWith('\0'))
                             command.remove(0, 1);
                         if (command.startsWith(commandPrefix))
                             m_replyExpiry.start();
                     });
}

bool Harness::sendEndMark()
{
    // Work the product queued for later goes out first.
    QCoreApplication::processEvents();
    app.main().channel().sendReaderCommand("END");
    return QTest::qWaitFor([this] { return reader.commands().endsWith("END"); }, 10000);
}

QList<QByteArray> startUpCommands()
{
    return {"V",
            "X07310100",
            "X121110",
            "X122015000",
            "X074026002080010160",
            "X075000000030500",
            "X076000000000000000",
            "X077000000000000",
            "X078000000000000000",
            "X079000000000000",
            "X0800000000000",
            "X081000000000000000",
            "X0820000000000",
            "X083000000000000000",
            "X0840000000000",
            "X085000000000000000",
            "\\20100",
            "g     ",
            "h          "};
}

QByteArray wire(const QList<QByteArray>& commands)
{
    QByteArray bytes = "\r\r";
    for (const QByteArray& command : commands)
        bytes += command + '\r';
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray crlfLines(const QList<QByteArray>& records)
{
    QByteArray text;
    for (const QByteArray& record : records)
        text += record + "\r\n";
    return text;
}

void addLinkRows()
{
    QTest::addColumn<bool>("tcp");
    QTest::newRow("tcp") << true;
    QTest::newRow("serial") << false;
}

bool connectByRow(Harness& harness, bool tcp)
{
    return tcp ? harness.connectTcp() : harness.connectSerial();
}
