// A second launch while the first runs: time until it has handed over to the
// first process over the session bus and exited.
//   bench_handover YUMEKAZU RUNS
#include "common/Stats.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString program = QString::fromLocal8Bit(argv[1]);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return 1;
    QTemporaryDir home;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/.config"_s);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program);
    QElapsedTimer waited;
    waited.start();
    while (!bus.interface()->isServiceRegistered(u"org.yumekazu.Yumekazu"_s)) {
        if (waited.elapsed() > 10000)
            return 1;
        QThread::msleep(10);
    }
    Stats stats;
    for (int i = 0; i < std::atoi(argv[2]); ++i) {
        QProcess second;
        second.setProcessEnvironment(env);
        const auto start = std::chrono::steady_clock::now();
        second.start(program);
        if (!second.waitForFinished(10000) || second.exitCode() != 0)
            return 1;
        stats.add(millisecondsSince(start));
        QThread::msleep(100);
    }
    printRow("Second launch: hand-over to the first and exit", stats, "ms", nullptr, "< 1 s");
    first.terminate();
    first.waitForFinished();
    return 0;
}
