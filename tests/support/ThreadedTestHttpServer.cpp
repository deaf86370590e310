#include "support/ThreadedTestHttpServer.h"

ThreadedTestHttpServer::ThreadedTestHttpServer(const QByteArray &method, const QByteArray &path,
                                               const TestHttpServer::Response &response)
{
    m_thread.start();
    m_context.moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        &m_context,
        [&] {
            m_server = new TestHttpServer;
            m_server->enqueue(method, path, response);
        },
        Qt::BlockingQueuedConnection);
}

ThreadedTestHttpServer::~ThreadedTestHttpServer()
{
    QMetaObject::invokeMethod(
        &m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}
