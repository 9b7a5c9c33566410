#pragma once

#include <QWidget>

struct AppState;
class CommandChannel;
class QPlainTextEdit;
class GeneralSetupWindow;
class ProxSetupWindow;

// The progress window of a programming run or a reset: every line goes to
// the left pane; the right pane is only cleared.
class ProgressWindow : public QWidget
{
    Q_OBJECT
public:
    ProgressWindow(AppState& state, CommandChannel& channel, const GeneralSetupWindow& generalSetup,
                   const ProxSetupWindow& proxSetup, QWidget* parent);

    QPlainTextEdit* progressPane;
    QPlainTextEdit* secondPane;

    // Checks the prox settings, then sends the whole programming sequence,
    // each command built from the setup windows at the moment it is sent.
    void programReader();
    // Sends the reset command; no reply is awaited.
    void resetReader();

private:
    void appendLine(const QString& text);
    void appendText(const QString& text);
    void clearPanes();

    AppState& m_state;
    CommandChannel& m_channel;
    const GeneralSetupWindow& m_general;
    const ProxSetupWindow& m_prox;
};
