#include "LibraryThread.h"

#include "library/LibraryDatabase.h"

LibraryThread::LibraryThread(const QString& path) : m_context(new QObject) {
    m_thread.setObjectName(QStringLiteral("Library"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_context,
                              [this, path] { m_database = std::make_unique<LibraryDatabase>(path); });
}

LibraryThread::~LibraryThread() {
    m_stopping = true;
    m_cancel = true;
    // Posted last, so it runs after every job posted before; only then does the
    // thread's loop end.
    QMetaObject::invokeMethod(m_context, [this] {
        m_database.reset();
        m_thread.quit();
    });
    m_thread.wait();
    delete m_context;
}

void LibraryThread::post(Job job) {
    QMetaObject::invokeMethod(m_context, [this, job = std::move(job)] { job(*m_database); });
}
