#include "commandmenu.h"

#include "AppState.h"
#include "Dialogs.h"
#include "comm/commform.h"
#include "config/general.h"
#include "config/wiegand.h"
#include "diag/loopback.h"
#include "diag/termmode.h"
#include "firmware/flashdl.h"
#include "program/pgmform.h"
#include "stamain.h"
#include "utilities/utilities.h"
#include "widgets/ClickLabel.h"
#include "widgets/Twips.h"

#include <QKeyEvent>

const QColor commandmenu::kTeal(0, 128, 128);
const QColor commandmenu::kWhite(255, 255, 255);
const QColor commandmenu::kYellow(255, 255, 0);
const QColor commandmenu::kLightGreen(0, 255, 0);

namespace {
constexpr int kEntryLeftTwips = 120;
constexpr int kFirstEntryTopTwips = 360;
constexpr int kEntrySpacingTwips = 720;
constexpr int kEntryHeightTwips = 330;
const char* const kDisconnected = "Disconnected";
} // namespace

commandmenu::commandmenu(stamain& main, QWidget* parent) : QWidget(parent), m_main(main)
{
    setAccessibleName(QStringLiteral("Command menu"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kTeal);
    setPalette(pal);
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

    const int bottomTwips = stamain::kHeightTwips - 600;
    Label20 = addEntry(QString::fromLatin1(kDisconnected), bottomTwips - kEntrySpacingTwips);
    Label20->setCursor(Qt::ArrowCursor);
    Label20->setTextColor(QColor(255, 0, 0));
    Label6 = addEntry(QStringLiteral("d/l boot2"), bottomTwips - 2 * kEntrySpacingTwips);
    // Switched off for good: shown greyed and not clickable.
    QPalette offPalette = Label6->palette();
    offPalette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(160, 160, 160));
    Label6->setPalette(offPalette);
    Label6->setEnabled(false);

    connect(Label3, &ClickLabel::clicked, this, &commandmenu::communicationsClicked);
    connect(Label1, &ClickLabel::clicked, this, &commandmenu::terminalClicked);
    connect(Label2, &ClickLabel::clicked, this, &commandmenu::generalClicked);
    connect(Label9, &ClickLabel::clicked, this, &commandmenu::proxClicked);
    connect(Label5, &ClickLabel::clicked, this, &commandmenu::utilitiesClicked);
    connect(Label10, &ClickLabel::clicked, this, &commandmenu::programClicked);
    connect(Label7, &ClickLabel::clicked, this, &commandmenu::resetClicked);
    connect(Label4, &ClickLabel::clicked, this, &commandmenu::flashClicked);
    connect(Label6, &ClickLabel::clicked, this, &commandmenu::doboot2);

    // Creation: dock at the left, communications window in front, its entry selected.
    setGeometry(0, 0, twipsToPixels(stamain::kMenuWidthTwips, this), parent->height());
    stamain::bringToFront(&m_main.communications());
    all_white();
    Label3->setTextColor(kYellow);
}

ClickLabel* commandmenu::addEntry(const QString& caption, int topTwips)
{
    auto* entry = new ClickLabel(caption, this);
    QFont font(QStringLiteral("Arial"), 10);
    font.setBold(true);
    entry->setFont(font);
    entry->setTextColor(kWhite);
    entry->setGeometry(twipsRect(kEntryLeftTwips, topTwips,
                                 stamain::kMenuWidthTwips - kEntryLeftTwips - 60, kEntryHeightTwips,
                                 this));
    return entry;
}

void commandmenu::all_white()
{
    for (ClickLabel* entry : {Label1, Label2, Label3, Label4, Label5, Label7, Label9, Label10})
        entry->setTextColor(kWhite);
}

void commandmenu::highlight(ClickLabel* entry)
{
    all_white();
    entry->setTextColor(kYellow);
}

QString commandmenu::connectionState() const
{
    return Label20->text();
}

void commandmenu::setConnectionState(const QString& text)
{
    Label20->setText(text);
}

bool commandmenu::connected() const
{
    return connectionState() != QLatin1String(kDisconnected);
}

void commandmenu::blinkConnectionState()
{
    Label20->setTextColor(Label20->textColor() == kYellow ? kLightGreen : kYellow);
}

void commandmenu::communicationsClicked()
{
    m_main.state().StopMonitor = true;
    highlight(Label3);
    stamain::bringToFront(&m_main.communications());
}

void commandmenu::terminalClicked()
{
    AppState& state = m_main.state();
    if (!connected() || state.OperationRunning)
        return;
    highlight(Label1);
    m_main.terminal().openRun();
}

void commandmenu::generalClicked()
{
    m_main.state().StopMonitor = true;
    highlight(Label2);
    stamain::bringToFront(&m_main.generalSetup());
}

void commandmenu::proxClicked()
{
    m_main.state().StopMonitor = true;
    highlight(Label9);
    stamain::bringToFront(&m_main.proxSetup());
}

void commandmenu::utilitiesClicked()
{
    m_main.state().StopMonitor = true;
    if (!connected())
        return;
    highlight(Label5);
    stamain::bringToFront(&m_main.readerUtilities());
}

void commandmenu::programClicked()
{
    runConfirmed(Label10,
                 QStringLiteral("Do you want to program the reader with the options you have "
                                "specified?\rAll data will be lost in the reader"),
                 &pgmform::do_program);
}

void commandmenu::resetClicked()
{
    runConfirmed(Label7, QStringLiteral("Do you want to reset the reader?"), &pgmform::do_reset);
}

void commandmenu::runConfirmed(ClickLabel* entry, const QString& question,
                               void (pgmform::*operation)())
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
    pgmform& window = m_main.programming();
    stamain::bringToFront(&window);
    (window.*operation)();
}

bool commandmenu::downloadRefused()
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

void commandmenu::flashClicked()
{
    m_main.state().StopMonitor = true;
    if (!connected() || downloadRefused())
        return;
    highlight(Label4);
    stamain::bringToFront(&m_main.flashDownload());
}

void commandmenu::doboot2()
{
    m_main.state().StopMonitor = true;
    if (!connected() || downloadRefused())
        return;
    highlight(Label4);
    stamain::bringToFront(&m_main.bootExtension());
}

void commandmenu::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (connected()) {
            // A terminal run would keep the link, and the echo test could not start.
            m_main.stopTerminalRun();
            stamain::bringToFront(&m_main.loopbackTest());
        }
        return;
    }
    QWidget::keyPressEvent(event);
}
