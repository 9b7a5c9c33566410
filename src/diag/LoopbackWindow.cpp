#include "LoopbackWindow.h"

#include "comm/CommandChannel.h"
#include "comm/EventWait.h"
#include "comm/Link.h"
#include "core/AppState.h"

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

    heading = new QLabel(QStringLiteral("R500 Series  Loopback Test"), this);
    QFont headingFont = heading->font();
    headingFont.setPointSize(14);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    heading->setAlignment(Qt::AlignCenter);
    startButton = new QPushButton(QStringLiteral("Start Loopback Test from User Code"), this);
    stopButton = new QPushButton(QStringLiteral("Stop Loopback Test"), this);
    clearButton = new QPushButton(QStringLiteral("Clear List"), this);
    resultList = new QListView(this);
    resultList->setAccessibleName(QStringLiteral("Loopback results"));
    resultList->setModel(&log);
    resultList->setUniformItemSizes(true);
    resultList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(&log, &EchoLog::linesShown, resultList, &QListView::scrollToBottom);
    // The counter carries its own caption; its text is what a screen reader reads.
    sentCounter = new QLabel(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);
    buttons->addWidget(clearButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(buttons);
    layout->addWidget(resultList, 1);
    layout->addWidget(sentCounter);

    connect(startButton, &QPushButton::clicked, this, &LoopbackWindow::startTest);
    connect(stopButton, &QPushButton::clicked, this, &LoopbackWindow::stopTest);
    connect(clearButton, &QPushButton::clicked, this, &LoopbackWindow::clearList);
}

void LoopbackWindow::stopTest()
{
    m_stopRequested = true;
}

void LoopbackWindow::clearList()
{
    log.clear();
}

void LoopbackWindow::startTest()
{
    OperationMark mark(m_state);
    if (!mark.acquired()) {
        log.addBusy();
        log.announce();
        return;
    }

    log.clear();
    sentCounter->clear();
    m_stopRequested = false;
    const bool tcp = m_state.isTcp();
    Link& link = m_channel.activeLink();
    log.addFirst(tcp);

    echotest::Tally tally;
    echotest::EchoJudge judge;
    const bool started = link.write(kAttentionSequence);
    if (started) {
        // The pause shows nothing else, over TCP for five seconds.
        sentCounter->setText(echotest::waitingText());
        const bool waited = deadline.waitOut(m_timing.pauseMs(tcp), m_state.closing);
        sentCounter->clear();
        if (!waited)
            return;
        // The reader's answer to the attention sequence is not looked at.
        link.discardPending();
    }
    if (started && link.write(QByteArray(1, echotest::kEchoCommand))) {
        judge.sent(std::uint8_t(echotest::kEchoCommand));
        tally = runPasses(link, judge, tcp);
    } else {
        log.addLinkClosed(0);
    }
    deadline.stop();
    if (!m_state.closing) {
        log.addEnd(tally.charsSent);
        tally.extraBytes = judge.extraBytes();
        log.addSummary(tally);
        // The reader goes on echoing: later commands would only come back.
        if (judge.sawGoodEcho()) {
            m_state.readerEchoing = true;
            log.addLeftEchoing();
        }
    }
    log.announce();
}

echotest::Tally LoopbackWindow::runPasses(Link& link, echotest::EchoJudge& judge, bool tcp)
{
    echotest::Tally tally;
    std::int64_t& charsSent = tally.charsSent;
    for (int pass = 0; pass < m_timing.passes; ++pass) {
        for (int code = 0; code < echotest::kCodesPerPass; ++code) {
            if (m_stopRequested || m_state.closing)
                return tally;
            ++charsSent;
            if (charsSent % echotest::kCounterStep == 0)
                sentCounter->setText(echotest::counterText(charsSent));
            const auto sent = std::uint8_t(code);
            std::uint8_t received = 0;
            judge.sent(sent);
            const Echo echo = link.write(QByteArray(1, char(sent)))
                                  ? awaitEcho(link, judge, tcp, received)
                                  : Echo::LinkClosed;
            switch (echo) {
            case Echo::Good:
                break;
            case Echo::Bad:
                ++tally.badEchoes;
                log.addBadEcho(charsSent, sent, received);
                break;
            case Echo::TimedOut:
                ++tally.timeouts;
                log.addTimeout(charsSent);
                break;
            case Echo::LinkClosed:
                log.addLinkClosed(charsSent);
                return tally;
            }
        }
    }
    return tally;
}

LoopbackWindow::Echo LoopbackWindow::awaitEcho(Link& link, echotest::EchoJudge& judge, bool tcp,
                                               std::uint8_t& received)
{
    using Verdict = echotest::EchoJudge::Verdict;
    deadline.arm(m_timing.echoMs(tcp));
    for (;;) {
        eventwait::pass(link.pending() > 0);
        if (const qint64 count = link.pending(); count > 0)
            judge.take(link.read(count));
        const bool over = deadline.expired() || m_state.closing;
        const Verdict verdict = over ? judge.expire(received) : judge.judge(received);
        switch (verdict) {
        case Verdict::Good:
            return Echo::Good;
        case Verdict::Bad:
            deadline.stop();
            return Echo::Bad;
        case Verdict::TimedOut:
            deadline.stop();
            return Echo::TimedOut;
        case Verdict::Waiting:
            break;
        }
        if (link.pending() == 0 && !link.isOpen()) {
            deadline.stop();
            return Echo::LinkClosed;
        }
    }
}
