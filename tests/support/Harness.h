#pragma once

#include "DataRows.h"
#include "Platform.h"
#include "ScriptedDialogs.h"
#include "SimPty.h"
#include "SimReader.h"
#include "SimTcpServer.h"
#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "comm/CommunicationsWindow.h"
#include "program/ProgressWindow.h"
#include "widgets/ClickLabel.h"

#include <QAccessible>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>
#include <QTimer>

// A started utility with scripted dialogs and a simulated reader it can
// reach over TCP on 127.0.0.1 or over a pseudo-terminal put in a port's place.
class Harness
{
public:
    // The port option the pseudo-terminal stands in for.
    static constexpr int kPtyPort = 3;

    Harness();

    ScriptedDialogs dialogs;
    sim::SimReader reader;
    sim::SimTcpServer server{reader};
    sim::SimPty pty{reader};
    UtilityApp app{&dialogs};

    AppState& state() { return app.state(); }
    MainWindow& main() { return app.main(); }
    CommandMenu& menu() { return app.main().menu(); }
    CommunicationsWindow& comm() { return app.main().communications(); }
    ProgressWindow& programming() { return app.main().programming(); }

    QString connectionState() { return menu().connectionLabel->text(); }
    static void click(ClickLabel* label) { QTest::mouseClick(label, Qt::LeftButton); }
    static void doubleClick(QWidget* widget);
    // What a screen reader hears a control called.
    static QString spoken(QWidget* widget)
    {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }
    // The tip a person sees on hovering over port option n.
    QString portTip(int port);
    // Triggers the menu entry with the text, mnemonic aside; false if there is none.
    bool trigger(const QString& text);

    // Answers Yes to "Program Reader" and runs it; the progress pane's lines.
    void programReader();
    QStringList pane() { return paneLines(programming().progressPane->toPlainText()); }

    // Chooses TCP/IP to 127.0.0.1 at the given port (the sim's by default) and connects.
    bool connectTcp(int port = -1);
    // Chooses the serial port standing for the pseudo-terminal and connects.
    bool connectSerial();
    // Clicks "Connect to Port" with the options as they are; true once connected.
    bool clickConnect();

    // Lines of a pane, without the empty text after the last line end.
    static QStringList paneLines(const QString& text);

    // The reply time-out the command channel arms (5000 ms unless set).
    void setReplyTimeout(int ms) { app.main().channel().setReplyTimeout(ms); }
    // The reader never answers commands starting with the prefix, and the
    // utility's wait for such a reply times out as soon as it has begun
    // rather than after the real 5 s.
    void replyNeverComes(const QByteArray& commandPrefix);
    // The reply wait under way, or the next one, times out as soon as it has begun.
    void expireReplyWait() { m_replyExpiry.start(); }

    // Sends the command "END" and waits until the reader has it: what came
    // before it is then all that will come. False if it never arrived.
    bool sendEndMark();

    // Every sleep the TCP connect wait asked for, in milliseconds. The
    // harness's sleep ends as soon as the connection is made or refused, so
    // a connect costs no more than the handshake.
    QList<int> connectSleeps;

private:
    QTimer m_replyExpiry;
};

// What "Program Reader" sends from the start-up values, one command a line,
// and the bytes on the wire: two returns, then each command with its return.
QList<QByteArray> startUpCommands();
QByteArray wire(const QList<QByteArray>& commands);

// A file's bytes, "<no file>" if it cannot be read; and a file written whole.
QByteArray fileBytes(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);
// Records as a text file holds them, each ended by CR LF.
QByteArray crlfLines(const QList<QByteArray>& records);

// Both links, for data-driven tests: a "tcp" column of type bool.
void addLinkRows();
bool connectByRow(Harness& harness, bool tcp);
