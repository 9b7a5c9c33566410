#include "pgmform.h"

#include "ProgrammingCommands.h"
#include "ProxValidation.h"
#include "app/AppState.h"
#include "comm/CommandChannel.h"
#include "config/SettingsReaders.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace {

QPlainTextEdit* makePane(const QString& name, QWidget* parent)
{
    auto* pane = new QPlainTextEdit(parent);
    pane->setReadOnly(true);
    pane->setAccessibleName(name);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette pal = pane->palette();
    pal.setColor(QPalette::Base, QColor(192, 192, 192));
    pane->setPalette(pal);
    return pane;
}

// Replies are raw bytes; each byte stands for one character.
QString replyText(const QByteArray& reply)
{
    return QString::fromLatin1(reply);
}

} // namespace

pgmform::pgmform(AppState& state, CommandChannel& channel, const general& generalSetup,
                 const wiegand& proxSetup, QWidget* parent)
    : QWidget(parent), m_state(state), m_channel(channel), m_general(generalSetup),
      m_prox(proxSetup)
{
    setAccessibleName(QStringLiteral("Programming"));
    setAutoFillBackground(true);
    Picture1 = makePane(QStringLiteral("Progress"), this);
    Picture2 = makePane(QStringLiteral("Progress, second pane"), this);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Picture1, 1);
    layout->addWidget(Picture2, 1);
}

void pgmform::appendText(const QString& text)
{
    QTextCursor cursor(Picture1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    // Follow the newest line without moving a selection the user is copying.
    QScrollBar* scroll = Picture1->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void pgmform::appendLine(const QString& text)
{
    appendText(text + QLatin1Char('\n'));
}

void pgmform::clearPanes()
{
    Picture1->clear();
    Picture2->clear();
}

void pgmform::do_program()
{
    OperationMark mark(m_state);
    if (!mark.acquired())
        return;

    clearPanes();
    appendLine(QStringLiteral("Checking Parameters"));
    const ProxValidationResult checked =
        validateProxSettings(readProxValues(m_prox), m_state.DigitsForBits);
    for (const QString& line : checked.lines)
        appendLine(line);
    if (!checked.mayProgram)
        return;

    // The run goes on only if the two returns really went out on this link.
    if (!m_channel.SendTwoReturns()) {
        appendLine(QStringLiteral("Reader could not be reached over the link"));
        return;
    }
    appendLine(QStringLiteral("Starting Communications"));

    const std::optional<QByteArray> version = exchange(currentCommand(1));
    if (!version) {
        appendLine(stepTimeoutText(1));
        return;
    }
    appendLine(replyText(*version));

    for (int step = 2; step <= kProgrammingSteps; ++step) {
        if (!runStep(step))
            return;
    }
    appendLine(QStringLiteral(" "));
    appendLine(QStringLiteral("Programming Complete"));
}

QByteArray pgmform::currentCommand(int step) const
{
    // Built now, so a control changed during the run counts for commands not yet sent.
    return buildStepCommand(step, readGeneralValues(m_general), readProxValues(m_prox));
}

std::optional<QByteArray> pgmform::exchange(const QByteArray& command)
{
    m_channel.SendReaderCommand(command);
    QByteArray reply;
    bool timedOut = false;
    m_channel.ReadReaderLine(reply, timedOut);
    if (timedOut)
        return std::nullopt;
    return reply;
}

bool pgmform::runStep(int step)
{
    const QByteArray command = currentCommand(step);
    appendText(QString::fromLatin1(command));
    const std::optional<QByteArray> reply = exchange(command);
    if (!reply) {
        appendLine(QStringLiteral(" "));
        appendLine(stepTimeoutText(step));
        return false;
    }
    appendLine(QStringLiteral("  [") + replyText(*reply) + QLatin1Char(']'));
    return true;
}

void pgmform::do_reset()
{
    OperationMark mark(m_state);
    if (!mark.acquired())
        return;

    clearPanes();
    appendLine(QStringLiteral("Resetting Reader"));
    m_channel.SendReaderCommand(QByteArray("\0U1", 3));
    if (!m_state.SendFailed)
        appendLine(QStringLiteral("Reset Complete"));
}
