#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// Elapsed times for logs and analytics: measured on the monotonic clock and
// reported in whole milliseconds.
class MonotonicStopwatch
{
public:
    MonotonicStopwatch() { m_timer.start(); }
    void restart() { m_timer.restart(); }
    qint64 elapsedMilliseconds() const { return m_timer.elapsed(); }
    double elapsedSeconds() const { return double(m_timer.nsecsElapsed()) / 1e9; }

private:
    QElapsedTimer m_timer;
};

// Converts a duration in seconds (as the design states intervals) to whole
// milliseconds for Qt timers.
constexpr int secondsToMilliseconds(double seconds)
{
    return seconds <= 0 ? 0 : int(seconds * 1000.0 + 0.5);
}
