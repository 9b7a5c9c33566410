#include "TerminalWindow.h"

#include "EchoTest.h"
#include "TerminalScreen.h"
#include "comm/CommandChannel.h"
#include "comm/EventWait.h"
#include "comm/Link.h"
#include "core/AppState.h"
#include "core/NumberText.h"
#include "widgets/ClickLabel.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QKeyEvent>
#include <QLabel>

namespace {

// Labels of the window that only show text.
QLabel* makeLabel(const QString& text, const QRect& place, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    return label;
}

} // namespace

TerminalWindow::TerminalWindow(AppState& state, CommandChannel& channel, QWidget* parent)
    : QWidget(parent), m_state(state), m_channel(channel)
{
    setAccessibleName(QStringLiteral("Terminal"));
    paintBackground(this, kWindowGrey);

    screen = new TerminalScreen(m_grid, this);
    screen->setGeometry(twipsRect(120, 120, 9855, 6285, this));

    statusLine = makeLabel(QStringLiteral("STATUS"), twipsRect(540, 6600, 9015, 255, this), this);
    statusLine->setAlignment(Qt::AlignCenter);
    hintLine = makeLabel(QStringLiteral("To send a NULL character hit the F10 key"),
                         twipsRect(840, 7140, 5715, 255, this), this);

    clearButton = new ClickLabel(QStringLiteral("Clear Screen"), this);
    clearButton->setGeometry(twipsRect(8640, 7140, 1095, 255, this));
    clearButton->setAlignment(Qt::AlignCenter);
    paintBackground(clearButton, kTeal);
    clearButton->setTextColor(Qt::white);
    connect(clearButton, &ClickLabel::clicked, this, &TerminalWindow::clearScreen);

    // The window sees every key before its controls do.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

TerminalWindow::~TerminalWindow() = default;

Link& TerminalWindow::link() const
{
    return m_channel.activeLink();
}

void TerminalWindow::openRun()
{
    auto mark = std::make_unique<OperationMark>(m_state);
    if (!mark->acquired())
        return;
    m_mark = std::move(mark);

    show();
    raise();
    screen->setFocus();
    m_state.stopMonitor = false;
    m_received = 0;
    m_grid.clear();
    if (!m_state.isTcp()) {
        statusLine->setText(QStringLiteral("Connected to comm port") +
                            signedNumberText(m_state.chosenPortNumber));
    } else {
        statusLine->setText(QStringLiteral("Connected to ") + m_state.remoteAddress.trimmed() +
                            QStringLiteral(" Port ") + m_state.remotePortText.trimmed());
        m_state.tcpTerminalOpen = true;
    }
    screen->drawPending();
    m_running = true;
    receiveUntilStopped();
    m_running = false;
    screen->drawPending();
    m_mark.reset();
}

void TerminalWindow::stopRun()
{
    m_state.stopMonitor = true;
    // Once stopped, this run reads nothing more from the link.
    if (m_running)
        m_mark.reset();
}

void TerminalWindow::receiveUntilStopped()
{
    for (;;) {
        // Sleeps until the next event when nothing is waiting, so a quiet line costs nothing.
        eventwait::pass(link().pending() > 0);
        if (m_state.stopMonitor || m_state.closing)
            return;
        Link& from = link();
        const qint64 count = from.pending();
        // Over TCP, bytes that came before the connection dropped are still shown.
        if (count <= 0)
            continue;
        if (m_state.isTcp()) {
            receive(from.read(count));
        } else {
            // The serial port is read one character per read; a pass takes
            // the characters that were waiting when it began.
            for (qint64 i = 0; i < count; ++i)
                receive(from.read(1));
        }
        screen->scheduleDrawing();
    }
}

void TerminalWindow::receive(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        m_grid.put(static_cast<std::uint8_t>(byte), TerminalGrid::Ink::Received);
        ++m_received;
    }
}

void TerminalWindow::clearScreen()
{
    m_grid.clear();
    screen->drawPending();
    screen->setFocus();
}

void TerminalWindow::type(std::uint8_t byte)
{
    m_grid.put(byte, TerminalGrid::Ink::Typed);
    screen->scheduleDrawing();

    Link& to = link();
    // A closed serial port gets nothing; over TCP a send on a dropped
    // connection fails and nothing goes out.
    if (m_state.isTcp() || to.isOpen())
        to.write(QByteArray(1, char(byte)));
}

bool TerminalWindow::keysIgnored() const
{
    if (m_state.isTcp() && !m_state.tcpTerminalOpen)
        return true;
    // Keys typed here while another reader operation runs would land in its
    // replies, also when that operation was started from inside a run.
    return m_state.operationRunning && !m_mark;
}

bool TerminalWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // The terminal takes every key, shortcuts included.
        event->accept();
        return true;
    case QEvent::KeyPress:
        return handleKeyPress(static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease:
        return handleKeyRelease(static_cast<QKeyEvent*>(event));
    case QEvent::FocusOut:
    case QEvent::WindowDeactivate:
        // After Alt+Tab the release of Alt goes to another window.
        m_keys.forget();
        return QWidget::eventFilter(watched, event);
    default:
        return QWidget::eventFilter(watched, event);
    }
}

bool TerminalWindow::handleKeyPress(QKeyEvent* event)
{
    if (keysIgnored())
        return true;
    // A held Alt repeats; the code typed so far must not be emptied by it.
    if (event->key() == Qt::Key_Alt && event->isAutoRepeat())
        return true;
    // A character with no key behind it (one the system composed) is only a character.
    const bool hasKey = event->key() != 0 && event->key() != Qt::Key_unknown;
    if (hasKey) {
        const TerminalKeys::Outcome down =
            m_keys.keyDown(TerminalKeys::keyCodeFor(event->key(), event->modifiers()));
        if (down.byte)
            type(*down.byte);
        if (down.swallowed)
            return true;
    }
    for (const QChar ch : event->text()) {
        const TerminalKeys::Outcome typed = m_keys.character(ch.unicode());
        if (typed.byte)
            type(*typed.byte);
    }
    return true;
}

bool TerminalWindow::handleKeyRelease(QKeyEvent* event)
{
    if (keysIgnored() || event->isAutoRepeat())
        return true;
    const TerminalKeys::Outcome up =
        m_keys.keyUp(TerminalKeys::keyCodeFor(event->key(), event->modifiers()));
    if (up.byte)
        type(*up.byte);
    return up.swallowed;
}
