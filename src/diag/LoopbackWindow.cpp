#include "LoopbackWindow.h"

#include "app/AppState.h"
#include "comm/CommandChannel.h"
#include "comm/EventWait.h"
#include "comm/Link.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

LoopbackWindow::LoopbackWindow(AppState& state, CommandChannel& channel, QWidget* parent)
    : QWidget(parent), m_state(state), m_channel(channel)
{
    setWindowTitle(QStringLiteral("Loopback Test"));
    setAccessibleName(QStringLiteral("Loopback Test"));
    setAutoFillBackground(true);

    Label2 = new QLabel(QStringLiteral("R500 Series  Loopback Test"), this);
    QFont heading = Label2->font();
    heading.setPointSize(14);
    heading.setBold(true);
    Label2->setFont(heading);
    Label2->setAlignment(Qt::AlignCenter);
    Command1 = new QPushButton(QStringLiteral("Start Loopback Test from User Code"), this);
    Command3 = new QPushButton(QStringLiteral("Stop Loopback Test"), this);
    Command4 = new QPushButton(QStringLiteral("Clear List"), this);
    List1 = new QListView(this);
    List1->setAccessibleName(QStringLiteral("Loopback results"));
    List1->setModel(&log);
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(&log, &EchoLog::linesShown, List1, &QListView::scrollToBottom);
    // The counter carries its own caption; its text is what a screen reader reads.
    Label1 = new QLabel(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command3);
    buttons->addWidget(Command4);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    layout->addWidget(List1, 1);
    layout->addWidget(Label1);

    connect(Command1, &QPushButton::clicked, this, &LoopbackWindow::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &LoopbackWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &LoopbackWindow::Command4_Click);

    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, [this] { TimerExpired = true; });
}

void LoopbackWindow::Command3_Click()
{
    StopRequested = true;
}

void LoopbackWindow::Command4_Click()
{
    log.clear();
}

void LoopbackWindow::armTimer(int ms)
{
    Timer1.stop();
    TimerExpired = false;
    Timer1.setInterval(ms);
    Timer1.start();
}

bool LoopbackWindow::pause(int ms)
{
    armTimer(ms);
    while (!TimerExpired && !m_state.Closing)
        eventwait::waitForNextEvent();
    Timer1.stop();
    return !m_state.Closing;
}

void LoopbackWindow::Command1_Click()
{
    OperationMark mark(m_state);
    if (!mark.acquired()) {
        log.addBusy();
        log.announce();
        return;
    }

    log.clear();
    Label1->clear();
    StopRequested = false;
    const bool tcp = m_state.isTcp();
    Link& link = m_channel.activeLink();
    log.addFirst(tcp);

    std::int64_t charsSent = 0;
    const bool started = link.write(kAttentionSequence);
    if (started && !pause(m_timing.pauseMs(tcp)))
        return;
    if (started) {
        // The reader's answer to the attention sequence is not looked at.
        link.discardPending();
    }
    if (started && link.write(QByteArray(1, echotest::kEchoCommand))) {
        emit passesStarted();
        charsSent = runPasses(link, tcp);
    } else {
        log.addLinkClosed(charsSent);
    }
    Timer1.stop();
    if (!m_state.Closing)
        log.addEnd(charsSent);
    log.announce();
}

std::int64_t LoopbackWindow::runPasses(Link& link, bool tcp)
{
    std::int64_t charsSent = 0;
    echotest::EchoJudge judge;
    for (int pass = 0; pass < m_timing.passes; ++pass) {
        for (int code = 0; code < echotest::kCodesPerPass; ++code) {
            if (StopRequested || m_state.Closing)
                return charsSent;
            ++charsSent;
            if (charsSent % echotest::kCounterStep == 0)
                Label1->setText(echotest::counterText(charsSent));
            const auto sent = std::uint8_t(code);
            std::uint8_t received = 0;
            const Echo echo = link.write(QByteArray(1, char(sent)))
                                  ? awaitEcho(link, judge, tcp, sent, received)
                                  : Echo::LinkClosed;
            switch (echo) {
            case Echo::Good:
                break;
            case Echo::Bad:
                log.addBadEcho(charsSent, sent, received);
                break;
            case Echo::TimedOut:
                judge.timedOut(sent);
                log.addTimeout(charsSent);
                break;
            case Echo::LinkClosed:
                log.addLinkClosed(charsSent);
                return charsSent;
            }
        }
    }
    return charsSent;
}

LoopbackWindow::Echo LoopbackWindow::awaitEcho(Link& link, echotest::EchoJudge& judge, bool tcp,
                                               std::uint8_t sent, std::uint8_t& received)
{
    using Verdict = echotest::EchoJudge::Verdict;
    armTimer(m_timing.echoMs(tcp));
    for (;;) {
        eventwait::pass(link.pending() > 0);
        if (const qint64 count = link.pending(); count > 0)
            judge.take(link.read(count));
        if (TimerExpired || m_state.Closing) {
            Timer1.stop();
            return Echo::TimedOut;
        }
        switch (judge.judge(sent, received)) {
        case Verdict::Good:
            return Echo::Good;
        case Verdict::Bad:
            Timer1.stop();
            return Echo::Bad;
        case Verdict::Waiting:
            break;
        }
        if (judge.pending() == 0 && link.pending() == 0 && !link.isOpen()) {
            Timer1.stop();
            return Echo::LinkClosed;
        }
    }
}
