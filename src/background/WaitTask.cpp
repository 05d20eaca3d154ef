#include "background/WaitTask.h"

WaitTask::WaitTask(std::chrono::milliseconds interval, std::function<void(const QString &)> done,
                   QObject *parent)
    : QObject(parent), m_timer(new QTimer(this)), m_done(std::move(done))
{
    // A coarse timer may end the wait up to 5% early or late.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &WaitTask::finish);
    m_timer->start(interval);
}

void WaitTask::cancel()
{
    if (m_timer->isActive())
        finish();
}

void WaitTask::finish()
{
    m_timer->stop();
    m_done(waitFunc());
    deleteLater();
}
