#pragma once

#include <QWidget>

class ClickLabel;
class ProgressWindow;
class MainWindow;

// The teal strip at the left of the main window from which every command is
// chosen. The entry carried out last is yellow; Label20 shows the connection
// state.
class CommandMenu : public QWidget
{
    Q_OBJECT
public:
    static const QColor kWhite;
    static const QColor kYellow;
    static const QColor kLightGreen;

    CommandMenu(MainWindow& main, QWidget* parent);

    ClickLabel* Label1;  // Terminal Mode
    ClickLabel* Label2;  // General Setup
    ClickLabel* Label3;  // Communications
    ClickLabel* Label4;  // Flash New Firmware
    ClickLabel* Label5;  // Utilities
    ClickLabel* Label6;  // d/l boot2, switched off
    ClickLabel* Label7;  // Reset Reader
    ClickLabel* Label9;  // Prox Setup
    ClickLabel* Label10; // Program Reader
    ClickLabel* Label20; // connection state

    void all_white();
    void doboot2();

    QString connectionState() const;
    void setConnectionState(const QString& text);
    bool connected() const;
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
    void highlight(ClickLabel* entry);
    // Program and reset: connection check, highlight, Yes/No, then the run.
    void runConfirmed(ClickLabel* entry, const QString& question,
                      void (ProgressWindow::*operation)());
    // Firmware downloads over serial need the reader at 9600 baud.
    bool downloadRefused();

    MainWindow& m_main;
};
