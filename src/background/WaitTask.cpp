#include "background/WaitTask.h"

WaitTask::WaitTask(std::chrono::milliseconds interval, std::function<void(const QString &)> done,
                   QObject *parent)
    : QObject(parent), m_done(std::move(done))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WaitTask::finish);
    m_timer.start(interval);
}

void WaitTask::cancel()
{
    if (m_timer.isActive())
        finish();
}

void WaitTask::finish()
{
    m_timer.stop();
    m_done(waitFunc());
    deleteLater();
}
