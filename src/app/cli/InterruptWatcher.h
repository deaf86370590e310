#pragma once

#include <QObject>

class QSocketNotifier;

// Turns Ctrl+C (SIGINT) and SIGTERM into a signal on the event loop, so a
// command can cancel its work cleanly. After the first one the default
// handling is back: a second Ctrl+C ends the process at once. One watcher
// at a time; the previous handling is restored when it is destroyed.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    bool wasInterrupted() const { return m_interrupted; }

Q_SIGNALS:
    void interrupted();

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
    bool m_interrupted = false;
};
