// How much typing a crash costs: a typist process stores a key every 30 ms
// into a note of SIZE bytes through the preference store and is killed with
// SIGKILL at a random moment; the keys typed but not on disk count as lost,
// from the first of them to the kill.
//   bench_kill [RUNS] [SIZE]
#include "common/Stats.h"
#include "platform/core/PreferenceFile.h"
#include "platform/core/PreferenceStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <random>

using namespace Qt::StringLiterals;

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Prints "<key number> <time>" as each key is stored in memory.
int typist(const QString &path, int size)
{
    PreferenceStore store(path);
    QString note(size / 3, QChar(u'猫'));
    store.setString(u"StringKey"_s, note);
    store.flush();
    int n = 0;
    QTimer key;
    key.callOnTimeout([&] {
        note += QChar(u'a' + ++n % 26);
        store.setString(u"StringKey"_s, note);
        std::printf("%d %lld\n", n, static_cast<long long>(nowNs()));
        std::fflush(stdout);
    });
    key.start(30);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == u"--typist")
        return typist(args[2], args[3].toInt());
    const int runs = args.value(1, u"16"_s).toInt(), size = args.value(2, u"10240"_s).toInt();
    std::mt19937 random(std::random_device{}());
    Stats lost;
    for (int run = 0; run < runs; ++run) {
        const QTemporaryDir dir;
        const QString path = dir.filePath(u"preferences.ini"_s);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--typist"_s, path, QString::number(size)});
        child.waitForReadyRead(10000);
        QThread::msleep(std::uniform_int_distribution<int>(300, 1300)(random));
        ::kill(pid_t(child.processId()), SIGKILL);
        const qint64 killed = nowNs();
        child.waitForFinished();
        std::vector<qint64> typed{0};
        for (const QByteArray &line : child.readAllStandardOutput().split('\n'))
            if (const QList<QByteArray> fields = line.split(' '); fields.size() == 2)
                typed.push_back(fields[1].toLongLong());
        QFile file(path);
        (void)file.open(QIODevice::ReadOnly);
        const qsizetype stored = PreferenceFile::parse(file.readAll()).values.value(u"StringKey"_s).size() - size / 3;
        // The first key not on disk, if it was typed before the kill.
        lost.add(stored + 1 < qsizetype(typed.size()) ? double(killed - typed[size_t(stored + 1)]) / 1e6 : 0.0);
    }
    printRow("Typing lost under SIGKILL, " + std::to_string(size / 1024) + " KB note, a key every 30 ms", lost, "ms", nullptr,
             "≤ 100 ms (max, up to 64 KiB)");
    return 0;
}
