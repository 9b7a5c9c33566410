#include "ProgressWindow.h"

#include "ProgrammingCommands.h"
#include "ProgrammingRun.h"
#include "comm/CommandChannel.h"
#include "config/SettingsReaders.h"
#include "core/AppState.h"
#include "widgets/Palette.h"

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
    // A long check message is read whole, without scrolling sideways.
    pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    paintBackground(pane, kWindowGrey, QPalette::Base);
    return pane;
}

} // namespace

ProgressWindow::ProgressWindow(AppState& state, CommandChannel& channel,
                               const GeneralSetupWindow& generalSetup,
                               const ProxSetupWindow& proxSetup, QWidget* parent)
    : QWidget(parent), m_state(state), m_channel(channel), m_general(generalSetup),
      m_prox(proxSetup)
{
    setAccessibleName(QStringLiteral("Programming"));
    setAutoFillBackground(true);
    progressPane = makePane(QStringLiteral("Progress"), this);
    secondPane = makePane(QStringLiteral("Progress, second pane"), this);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(progressPane, 1);
    layout->addWidget(secondPane, 1);
}

void ProgressWindow::appendText(const QString& text)
{
    QTextCursor cursor(progressPane->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    // Follow the newest line without moving a selection the user is copying.
    QScrollBar* scroll = progressPane->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void ProgressWindow::appendLine(const QString& text)
{
    appendText(text + QLatin1Char('\n'));
}

void ProgressWindow::clearPanes()
{
    progressPane->clear();
    secondPane->clear();
}

void ProgressWindow::programReader()
{
    OperationMark mark(m_state);
    if (!mark.acquired())
        return;

    // Lines go to the left pane as the run makes them.
    class PaneProgress : public ProgrammingProgress
    {
    public:
        explicit PaneProgress(ProgressWindow& window) : m_window(window) {}
        void text(const QString& text) override { m_window.appendText(text); }
        void line(const QString& text) override { m_window.appendLine(text); }

    private:
        ProgressWindow& m_window;
    } progress(*this);

    clearPanes();
    // Each command is built when it is sent, so a control changed during
    // the run counts for the commands not yet sent.
    runProgramming(
        m_channel, readProxValues(m_prox), m_state.digitsForBits,
        [this](int step) {
            return buildStepCommand(step, readGeneralValues(m_general), readProxValues(m_prox));
        },
        progress);
}

void ProgressWindow::resetReader()
{
    OperationMark mark(m_state);
    if (!mark.acquired())
        return;

    clearPanes();
    appendLine(QStringLiteral("Resetting Reader"));
    m_channel.sendReaderCommand(QByteArray("\0U1", 3));
    if (m_state.sendFailed)
        return;
    appendLine(m_channel.echoedBack() ? kReaderEchoingText : QStringLiteral("Reset Complete"));
}
