// Start-up time (process start until the first window is painted) and resident
// memory of the locked window, for the application and the one-label baseline,
// run alternately so both see the same machine state.
#include "common/Stats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    double startMs = 0;
    double rssMiB = 0;
};

double residentMiB(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

std::optional<Run> runOnce(const QString &program)
{
    QTemporaryDir home;
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"YUMEKAZU_BENCH_STARTUP"_s, u"1"_s);
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/.config"_s);
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.setReadChannel(QProcess::StandardError);
    QElapsedTimer timer;
    timer.start();
    process.start();
    if (!process.waitForStarted(10000))
        return std::nullopt;
    QByteArray err;
    std::optional<Run> run;
    while (timer.elapsed() < 20000) {
        if (!process.waitForReadyRead(20000 - int(timer.elapsed())))
            break;
        err += process.readAllStandardError();
        if (err.contains("yumekazu: first paint")) {
            run = Run{double(timer.nsecsElapsed()) / 1e6, 0};
            break;
        }
    }
    if (run) {
        QThread::msleep(500); // let the window settle before weighing it
        run->rssMiB = residentMiB(process.processId());
    } else {
        std::fprintf(stderr, "%s: no first paint: %s\n", qPrintable(program), err.constData());
    }
    process.kill();
    process.waitForFinished(5000);
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_startup APP BASELINE [RUNS]\n");
        return 2;
    }
    const int runs = args.size() > 3 ? args[3].toInt() : 10;
    Stats appStart, baseStart, appRss, baseRss;
    (void)runOnce(args[1]); // warm the file cache for both
    (void)runOnce(args[2]);
    for (int i = 0; i < runs; ++i) {
        const auto a = runOnce(args[1]);
        const auto b = runOnce(args[2]);
        if (!a || !b)
            return 1;
        appStart.add(a->startMs);
        baseStart.add(b->startMs);
        appRss.add(a->rssMiB);
        baseRss.add(b->rssMiB);
    }
    printRow("Cold start to first paint", appStart, "ms", &baseStart, "≤ 1.3× baseline");
    printRow("Resident memory, locked window", appRss, "MiB", &baseRss, "≤ 1.5× baseline");
    return 0;
}
