#include "ui/common/SerialWorkQueue.h"

#include <QCoreApplication>

SerialWorkQueue::SerialWorkQueue(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    // The thread ends when idle: nothing stays awake between requests.
    m_pool.setExpiryTimeout(5000);
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SerialWorkQueue::waitForDone);
}

SerialWorkQueue::~SerialWorkQueue()
{
    waitForDone();
}

void SerialWorkQueue::enqueue(std::function<void()> work)
{
    m_pool.start(std::move(work));
}

void SerialWorkQueue::waitForDone()
{
    m_pool.waitForDone();
}
