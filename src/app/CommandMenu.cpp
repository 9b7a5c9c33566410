#include "CommandMenu.h"

#include "MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalWindow.h"
#include "firmware/DownloadWindow.h"
#include "program/ProgressWindow.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/Palette.h"
#include "widgets/Twips.h"

#include <QKeyEvent>
#include <QLabel>

const QColor CommandMenu::kWhite(255, 255, 255);
const QColor CommandMenu::kYellow(255, 255, 0);
const QColor CommandMenu::kLightGreen(0, 255, 0);

namespace {
constexpr int kEntryLeftTwips = 120;
constexpr int kFirstEntryTopTwips = 360;
constexpr int kEntrySpacingTwips = 720;
constexpr int kEntryHeightTwips = 330;

// Beside the connection state when an entry needs the reader and no link is open.
const QString kNotConnectedText = QStringLiteral("Not Connected: connect in Communications first");

QString connectionStateText(ConnectionState state)
{
    return state == ConnectionState::Connected ? QStringLiteral("Connected")
                                               : QStringLiteral("Disconnected");
}
} // namespace

CommandMenu::CommandMenu(MainWindow& main, QWidget* parent) : QWidget(parent), m_main(main)
{
    setAccessibleName(QStringLiteral("Command menu"));
    paintBackground(this, kTeal);
    // Clicking the strip gives the menu the focus, so it sees Escape; a
    // focused entry passes Escape on to it.
    setFocusPolicy(Qt::ClickFocus);

    int row = 0;
    auto next = [&row] { return kFirstEntryTopTwips + kEntrySpacingTwips * row++; };
    communicationsEntry = addEntry(QStringLiteral("Communications"), next());
    terminalEntry = addEntry(QStringLiteral("Terminal Mode"), next());
    generalSetupEntry = addEntry(QStringLiteral("General Setup"), next());
    proxSetupEntry = addEntry(QStringLiteral("Prox Setup"), next());
    utilitiesEntry = addEntry(QStringLiteral("Utilities"), next());
    programEntry = addEntry(QStringLiteral("Program Reader"), next());
    resetEntry = addEntry(QStringLiteral("Reset Reader"), next());
    flashEntry = addEntry(QStringLiteral("Flash New Firmware"), next());

    const int bottomTwips = MainWindow::kHeightTwips - 600;
    const int stateTopTwips = bottomTwips - kEntrySpacingTwips;
    connectionLabel = addEntry(connectionStateText(ConnectionState::Disconnected), stateTopTwips);
    connectionLabel->setCursor(Qt::ArrowCursor);
    connectionLabel->setTextColor(QColor(255, 0, 0));
    bootExtensionEntry =
        addEntry(QStringLiteral("d/l boot2"), bottomTwips - 2 * kEntrySpacingTwips);
    // Switched off for good: shown greyed and not clickable.
    QPalette offPalette = bootExtensionEntry->palette();
    offPalette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(160, 160, 160));
    bootExtensionEntry->setPalette(offPalette);
    bootExtensionEntry->setEnabled(false);
    // In the focus chain, top to bottom; Space and Enter choose an entry.
    for (ClickLabel* entry : commandEntries())
        entry->setFocusPolicy(Qt::StrongFocus);

    refusalLine = new QLabel(this);
    refusalLine->setGeometry(twipsRect(kEntryLeftTwips, stateTopTwips + kEntryHeightTwips,
                                       MainWindow::kMenuWidthTwips - kEntryLeftTwips - 60, 600,
                                       this));
    refusalLine->setWordWrap(true);
    refusalLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont refusalFont(QStringLiteral("Arial"), 8);
    refusalLine->setFont(refusalFont);
    QPalette refusalPalette = refusalLine->palette();
    refusalPalette.setColor(QPalette::WindowText, kWhite);
    refusalLine->setPalette(refusalPalette);
    // Read out by its text, which changes; the description says what it is.
    refusalLine->setAccessibleDescription(QStringLiteral("Why the command was not carried out"));

    connect(communicationsEntry, &ClickLabel::clicked, this, &CommandMenu::communicationsClicked);
    connect(terminalEntry, &ClickLabel::clicked, this, &CommandMenu::terminalClicked);
    connect(generalSetupEntry, &ClickLabel::clicked, this, &CommandMenu::generalClicked);
    connect(proxSetupEntry, &ClickLabel::clicked, this, &CommandMenu::proxClicked);
    connect(utilitiesEntry, &ClickLabel::clicked, this, &CommandMenu::utilitiesClicked);
    connect(programEntry, &ClickLabel::clicked, this, &CommandMenu::programClicked);
    connect(resetEntry, &ClickLabel::clicked, this, &CommandMenu::resetClicked);
    connect(flashEntry, &ClickLabel::clicked, this, &CommandMenu::flashClicked);
    connect(bootExtensionEntry, &ClickLabel::clicked, this, &CommandMenu::bootExtensionClicked);

    // Creation: dock at the left, communications window in front, its entry selected.
    setGeometry(0, 0, twipsToPixels(MainWindow::kMenuWidthTwips, this), parent->height());
    MainWindow::bringToFront(&m_main.communications());
    unhighlightAll();
    communicationsEntry->setTextColor(kYellow);
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

std::array<ClickLabel*, 8> CommandMenu::commandEntries() const
{
    return {communicationsEntry, terminalEntry, generalSetupEntry, proxSetupEntry,
            utilitiesEntry,      programEntry,  resetEntry,        flashEntry};
}

void CommandMenu::unhighlightAll()
{
    for (ClickLabel* entry : commandEntries())
        entry->setTextColor(kWhite);
}

void CommandMenu::highlight(ClickLabel* entry)
{
    showRefusal(QString());
    unhighlightAll();
    entry->setTextColor(kYellow);
}

void CommandMenu::showRefusal(const QString& why)
{
    refusalLine->setText(why);
}

bool CommandMenu::refusedWithoutLink()
{
    if (m_main.state().connected())
        return false;
    showRefusal(kNotConnectedText);
    return true;
}

void CommandMenu::showConnectionState(ConnectionState state)
{
    connectionLabel->setText(connectionStateText(state));
    // A refusal for want of a link no longer holds.
    showRefusal(QString());
}

void CommandMenu::blinkConnectionState()
{
    connectionLabel->setTextColor(connectionLabel->textColor() == kYellow ? kLightGreen : kYellow);
}

void CommandMenu::communicationsClicked()
{
    m_main.state().stopMonitor = true;
    highlight(communicationsEntry);
    MainWindow::bringToFront(&m_main.communications());
}

void CommandMenu::terminalClicked()
{
    AppState& state = m_main.state();
    if (refusedWithoutLink())
        return;
    if (state.operationRunning) {
        showRefusal(kOperationRunningText);
        return;
    }
    highlight(terminalEntry);
    MainWindow::bringToFront(&m_main.terminal());
    m_main.terminal().openRun();
}

void CommandMenu::generalClicked()
{
    m_main.state().stopMonitor = true;
    highlight(generalSetupEntry);
    MainWindow::bringToFront(&m_main.generalSetup());
}

void CommandMenu::proxClicked()
{
    m_main.state().stopMonitor = true;
    highlight(proxSetupEntry);
    MainWindow::bringToFront(&m_main.proxSetup());
}

void CommandMenu::utilitiesClicked()
{
    m_main.state().stopMonitor = true;
    if (refusedWithoutLink())
        return;
    highlight(utilitiesEntry);
    MainWindow::bringToFront(&m_main.readerUtilities());
}

void CommandMenu::programClicked()
{
    runConfirmed(programEntry,
                 QStringLiteral("Do you want to program the reader with the options you have "
                                "specified?\rAll data will be lost in the reader"),
                 &ProgressWindow::programReader);
}

void CommandMenu::resetClicked()
{
    runConfirmed(resetEntry, QStringLiteral("Do you want to reset the reader?"),
                 &ProgressWindow::resetReader);
}

void CommandMenu::runConfirmed(ClickLabel* entry, const QString& question,
                               void (ProgressWindow::*operation)())
{
    AppState& state = m_main.state();
    // A terminal run ends here, so the command runs in its place.
    m_main.stopTerminalRun();
    // Inside a running reader operation a second one would steal its replies.
    if (state.operationRunning) {
        showRefusal(kOperationRunningText);
        return;
    }
    state.stopMonitor = true;
    if (refusedWithoutLink())
        return;
    highlight(entry);
    if (!m_main.dialogs().askYesNo(question, Dialogs::Answer::No))
        return;
    ProgressWindow& window = m_main.programming();
    MainWindow::bringToFront(&window);
    (window.*operation)();
}

void CommandMenu::flashClicked()
{
    openDownload([this]() -> QWidget* { return &m_main.flashDownload(); });
}

void CommandMenu::bootExtensionClicked()
{
    openDownload([this]() -> QWidget* { return &m_main.bootExtension(); });
}

void CommandMenu::openDownload(const std::function<QWidget*()>& window)
{
    AppState& state = m_main.state();
    state.stopMonitor = true;
    if (refusedWithoutLink())
        return;
    // The speed refusal has a box of its own.
    showRefusal(QString());
    if (DownloadWindow::refusedForSpeed(state, m_main.dialogs()))
        return;
    highlight(flashEntry);
    MainWindow::bringToFront(window());
}

void CommandMenu::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (m_main.state().connected()) {
            // A terminal run would keep the link, and the echo test could not start.
            m_main.stopTerminalRun();
            MainWindow::bringToFront(&m_main.loopbackTest());
        }
        return;
    }
    QWidget::keyPressEvent(event);
}
