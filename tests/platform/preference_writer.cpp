// Child process for the crash test: keeps changing the note and reports each
// change on standard output ("<counter> <milliseconds since start>") until it
// is killed.
#include "platform/core/PreferenceStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    PreferenceStore store(QString::fromLocal8Bit(argv[1]));
    QElapsedTimer clock;
    clock.start();
    int counter = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        ++counter;
        store.setString(QStringLiteral("StringKey"), QStringLiteral("メモ %1 ").arg(counter) + QString(20000, u'猫'));
        std::printf("%d %lld\n", counter, static_cast<long long>(clock.elapsed()));
        std::fflush(stdout);
    });
    tick.start(20);
    return QCoreApplication::exec();
}
