#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

// One wait that suspends on the event loop and then hands its result ("Done")
// to its owner. Owned by the view, so it never outlives the state it writes.
class WaitTask : public QObject {
    Q_OBJECT

public:
    WaitTask(std::chrono::milliseconds interval, std::function<void(const QString &)> done,
             QObject *parent);
    // A cancelled wait finishes at once.
    void cancel();

    static QString waitFunc() { return QStringLiteral("Done"); }

private:
    void finish();

    QTimer *m_timer;
    std::function<void(const QString &)> m_done;
};
