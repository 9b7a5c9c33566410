#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QTest>
#include <QTimer>

#include <functional>

// For operations that run inside the click that started them: the test
// cannot wait after the click, so it hands over steps that run while the
// operation waits. A step's action runs once its condition holds (no
// condition: at once). A step never waits itself.
struct Step
{
    std::function<bool()> ready;
    std::function<void()> act;
};

// Calls start(), which returns when the operation ends; meanwhile runs the
// steps, then calls finish(): once all ran (unless finishAfterSteps is
// false: the operation ends by itself), a check failed, or after timeoutMs.
// An operation still running timeoutMs after finish() ends the test program
// with a failure rather than let it hang. True when every step ran.
inline bool runSteps(const QList<Step>& steps, const std::function<void()>& start,
                     const std::function<void()>& finish, int timeoutMs = 10000,
                     bool finishAfterSteps = true)
{
    QTimer poll;
    poll.setInterval(2);
    qsizetype next = 0;
    qint64 finishedAt = -1;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (finishedAt >= 0) {
            if (clock.elapsed() - finishedAt >= timeoutMs)
                qFatal("%s: the operation did not end when told to", QTest::currentTestFunction());
            return;
        }
        while (next < steps.size() && !QTest::currentTestFailed() &&
               (!steps[next].ready || steps[next].ready()))
            steps[next++].act();
        const bool timedOut = clock.elapsed() >= timeoutMs;
        if (!QTest::currentTestFailed() && !timedOut && (next < steps.size() || !finishAfterSteps))
            return;
        finishedAt = clock.elapsed();
        if (finish)
            finish();
    });
    poll.start();
    start();
    return next == steps.size();
}
