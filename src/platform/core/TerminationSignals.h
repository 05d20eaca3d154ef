#pragma once

#include <QObject>
#include <QSocketNotifier>

// Turns SIGTERM, SIGHUP and SIGINT (a logout, kill, Ctrl+C in a terminal)
// into a Qt signal on the main thread. The handler only writes the signal's
// number into a socket; everything else runs from the event loop. One
// instance at a time; the default handlers come back with its end.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

Q_SIGNALS:
    void received(int signal);

private:
    void readSignals();

    int m_sockets[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};
