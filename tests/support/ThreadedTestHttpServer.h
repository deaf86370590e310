#pragma once

#include "support/TestHttpServer.h"

#include <QObject>
#include <QThread>

// A TestHttpServer on a thread of its own with one scripted answer, so its
// writing never counts as the main thread's work (for benchmarks).
class ThreadedTestHttpServer
{
public:
    ThreadedTestHttpServer(const QByteArray &method, const QByteArray &path,
                           const TestHttpServer::Response &response);
    ~ThreadedTestHttpServer();

    const TestHttpServer &server() const { return *m_server; }

private:
    QThread m_thread;
    QObject m_context;
    TestHttpServer *m_server = nullptr;
};
