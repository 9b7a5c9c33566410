#include "CommandMenu.h"

#include "AppState.h"
#include "Dialogs.h"
#include "MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalWindow.h"
#include "firmware/DownloadWindow.h"
#include "program/ProgressWindow.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QKeyEvent>

const QColor CommandMenu::kWhite(255, 255, 255);
const QColor CommandMenu::kYellow(255, 255, 0);
const QColor CommandMenu::kLightGreen(0, 255, 0);

namespace {
constexpr int kEntryLeftTwips = 120;
constexpr int kFirstEntryTopTwips = 360;
constexpr int kEntrySpacingTwips = 720;
constexpr int kEntryHeightTwips = 330;
const char* const kDisconnected = "Disconnected";
} // namespace

CommandMenu::CommandMenu(MainWindow& main, QWidget* parent) : QWidget(parent), m_main(main)
{
    setAccessibleName(QStringLiteral("Command menu"));
    paintBackground(this, kTeal);
    // Clicking an entry gives the menu the focus, so it sees Escape.
    setFocusPolicy(Qt::ClickFocus);

    int row = 0;
    auto next = [&row] { return kFirstEntryTopTwips + kEntrySpacingTwips * row++; };
    Label3 = addEntry(QStringLiteral("Communications"), next());
    Label1 = addEntry(QStringLiteral("Terminal Mode"), next());
    Label2 = addEntry(QStringLiteral("General Setup"), next());
    Label9 = addEntry(QStringLiteral("Prox Setup"), next());
    Label5 = addEntry(QStringLiteral("Utilities"), next());
    Label10 = addEntry(QStringLiteral("Program Reader"), next());
    Label7 = addEntry(QStringLiteral("Reset Reader"), next());
    Label4 = addEntry(QStringLiteral("Flash New Firmware"), next());

    const int bottomTwips = MainWindow::kHeightTwips - 600;
    Label20 = addEntry(QString::fromLatin1(kDisconnected), bottomTwips - kEntrySpacingTwips);
    Label20->setCursor(Qt::ArrowCursor);
    Label20->setTextColor(QColor(255, 0, 0));
    Label6 = addEntry(QStringLiteral("d/l boot2"), bottomTwips - 2 * kEntrySpacingTwips);
    // Switched off for good: shown greyed and not clickable.
    QPalette offPalette = Label6->palette();
    offPalette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(160, 160, 160));
    Label6->setPalette(offPalette);
    Label6->setEnabled(false);

    connect(Label3, &ClickLabel::clicked, this, &CommandMenu::communicationsClicked);
    connect(Label1, &ClickLabel::clicked, this, &CommandMenu::terminalClicked);
    connect(Label2, &ClickLabel::clicked, this, &CommandMenu::generalClicked);
    connect(Label9, &ClickLabel::clicked, this, &CommandMenu::proxClicked);
    connect(Label5, &ClickLabel::clicked, this, &CommandMenu::utilitiesClicked);
    connect(Label10, &ClickLabel::clicked, this, &CommandMenu::programClicked);
    connect(Label7, &ClickLabel::clicked, this, &CommandMenu::resetClicked);
    connect(Label4, &ClickLabel::clicked, this, &CommandMenu::flashClicked);
    connect(Label6, &ClickLabel::clicked, this, &CommandMenu::doboot2);

    // Creation: dock at the left, communications window in front, its entry selected.
    setGeometry(0, 0, twipsToPixels(MainWindow::kMenuWidthTwips, this), parent->height());
    MainWindow::bringToFront(&m_main.communications());
    all_white();
    Label3->setTextColor(kYellow);
}

ClickLabel* CommandMenu::addEntry(const QString& caption, int topTwips)
{
    auto* entry = new ClickLabel(caption, this);
    QFont font(QStringLiteral("Arial"), 10);
    font.setBold(true);
    entry->setFont(font);
    entry->setTextColor(kWhite);
    entry->setGeometry(twipsRect(kEntryLeftTwips, topTwips,
                                 MainWindow::kMenuWidthTwips - kEntryLeftTwips - 60,
                                 kEntryHeightTwips, this));
    return entry;
}

void CommandMenu::all_white()
{
    for (ClickLabel* entry : {Label1, Label2, Label3, Label4, Label5, Label7, Label9, Label10})
        entry->setTextColor(kWhite);
}

void CommandMenu::highlight(ClickLabel* entry)
{
    all_white();
    entry->setTextColor(kYellow);
}

QString CommandMenu::connectionState() const
{
    return Label20->text();
}

void CommandMenu::setConnectionState(const QString& text)
{
    Label20->setText(text);
}

bool CommandMenu::connected() const
{
    return connectionState() != QLatin1String(kDisconnected);
}

void CommandMenu::blinkConnectionState()
{
    Label20->setTextColor(Label20->textColor() == kYellow ? kLightGreen : kYellow);
}

void CommandMenu::communicationsClicked()
{
    m_main.state().StopMonitor = true;
    highlight(Label3);
    MainWindow::bringToFront(&m_main.communications());
}

void CommandMenu::terminalClicked()
{
    AppState& state = m_main.state();
    if (!connected() || state.OperationRunning)
        return;
    highlight(Label1);
    m_main.terminal().openRun();
}

void CommandMenu::generalClicked()
{
    m_main.state().StopMonitor = true;
    highlight(Label2);
    MainWindow::bringToFront(&m_main.generalSetup());
}

void CommandMenu::proxClicked()
{
    m_main.state().StopMonitor = true;
    highlight(Label9);
    MainWindow::bringToFront(&m_main.proxSetup());
}

void CommandMenu::utilitiesClicked()
{
    m_main.state().StopMonitor = true;
    if (!connected())
        return;
    highlight(Label5);
    MainWindow::bringToFront(&m_main.readerUtilities());
}

void CommandMenu::programClicked()
{
    runConfirmed(Label10,
                 QStringLiteral("Do you want to program the reader with the options you have "
                                "specified?\rAll data will be lost in the reader"),
                 &ProgressWindow::do_program);
}

void CommandMenu::resetClicked()
{
    runConfirmed(Label7, QStringLiteral("Do you want to reset the reader?"),
                 &ProgressWindow::do_reset);
}

void CommandMenu::runConfirmed(ClickLabel* entry, const QString& question,
                               void (ProgressWindow::*operation)())
{
    AppState& state = m_main.state();
    // A terminal run ends here, so the command runs in its place.
    m_main.stopTerminalRun();
    // Inside a running reader operation a second one would steal its replies.
    if (state.OperationRunning)
        return;
    state.StopMonitor = true;
    if (!connected())
        return;
    highlight(entry);
    if (!m_main.dialogs().askYesNo(question))
        return;
    ProgressWindow& window = m_main.programming();
    MainWindow::bringToFront(&window);
    (window.*operation)();
}

bool CommandMenu::downloadRefused()
{
    const AppState& state = m_main.state();
    // The open port's speed: a baud option ticked since takes effect only at the next connect.
    if (!state.isTcp() && state.ConnectedBaudRate != 9600) {
        m_main.dialogs().inform(
            QStringLiteral("Controller must be programmed to 9600 baud before reflashing"));
        return true;
    }
    return false;
}

void CommandMenu::flashClicked()
{
    m_main.state().StopMonitor = true;
    if (!connected() || downloadRefused())
        return;
    highlight(Label4);
    MainWindow::bringToFront(&m_main.flashDownload());
}

void CommandMenu::doboot2()
{
    m_main.state().StopMonitor = true;
    if (!connected() || downloadRefused())
        return;
    highlight(Label4);
    MainWindow::bringToFront(&m_main.bootExtension());
}

void CommandMenu::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (connected()) {
            // A terminal run would keep the link, and the echo test could not start.
            m_main.stopTerminalRun();
            MainWindow::bringToFront(&m_main.loopbackTest());
        }
        return;
    }
    QWidget::keyPressEvent(event);
}
