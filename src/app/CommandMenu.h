#pragma once

#include "core/AppState.h"

#include <QWidget>

#include <array>
#include <functional>

class ClickLabel;
class QLabel;
class ProgressWindow;
class MainWindow;

// The teal strip at the left of the main window from which every command is
// chosen. The entry carried out last is yellow; the connection label at the
// bottom shows whether a link is open.
class CommandMenu : public QWidget
{
    Q_OBJECT
public:
    static const QColor kWhite;
    static const QColor kYellow;
    static const QColor kLightGreen;

    CommandMenu(MainWindow& main, QWidget* parent);

    ClickLabel* communicationsEntry;
    ClickLabel* terminalEntry;
    ClickLabel* generalSetupEntry;
    ClickLabel* proxSetupEntry;
    ClickLabel* utilitiesEntry;
    ClickLabel* programEntry;
    ClickLabel* resetEntry;
    ClickLabel* flashEntry;
    // "d/l boot2": the bootloader extension download, switched off for good.
    ClickLabel* bootExtensionEntry;
    // "Connected" or "Disconnected"; blinks while the program runs.
    ClickLabel* connectionLabel;
    // Below the connection state: why the entry chosen last could not be
    // carried out; empty once one is.
    QLabel* refusalLine;

    // Every command entry back to white.
    void unhighlightAll();
    void bootExtensionClicked();

    void showConnectionState(ConnectionState state);
    void blinkConnectionState();

    void communicationsClicked();
    void terminalClicked();
    void generalClicked();
    void proxClicked();
    void utilitiesClicked();
    void programClicked();
    void resetClicked();
    void flashClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ClickLabel* addEntry(const QString& caption, int topTwips);
    // The eight command entries, top to bottom.
    std::array<ClickLabel*, 8> commandEntries() const;
    void highlight(ClickLabel* entry);
    // Says why the entry chosen cannot be carried out (empty text: it can).
    void showRefusal(const QString& why);
    // False, and says so, while no link is open.
    bool refusedWithoutLink();
    // Program and reset: connection check, highlight, Yes/No, then the run.
    void runConfirmed(ClickLabel* entry, const QString& question,
                      void (ProgressWindow::*operation)());
    // Both download windows: connection and speed checks, then the window,
    // made on first use, in front.
    void openDownload(const std::function<QWidget*()>& window);

    MainWindow& m_main;
};
