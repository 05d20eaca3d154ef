// Start-up of the application against two yardsticks: the fair floor (a
// program that shows the same locked first frame and nothing else) and the
// smallest one-label Qt window. The three run in turn, round after round, so
// all see the same machine state; each run gets its own HOME and session bus.
// Measured from outside the process:
// - first map: the first MapNotify of a top-level window on the X server;
// - first frame: the first image the process puts into one of its windows
//   (a Damage notification on the X server);
// - CPU until settled: user and system time of all its threads once it has
//   been idle for a while after the first frame (from wait4's rusage);
// - peak RSS: the high-water mark of its resident set at that moment.
//   bench_startup APP FLOOR ONE_LABEL [RUNS]
#include "common/Stats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    double mapMs = 0;
    double frameMs = 0;
    double cpuMs = 0;
    double peakMiB = 0;
};

// Nanoseconds of CPU used so far by the live threads of pid.
qint64 threadsCpuNs(pid_t pid)
{
    qint64 total = 0;
    const QDir tasks(u"/proc/%1/task"_s.arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + u"/schedstat"_s));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

double peakResidentMiB(pid_t pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Watches the root window for new top-level windows, their first map and
// the first drawing into any of them.
class ServerWatch {
public:
    ServerWatch() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
        if (!damage || !damage->present)
            return;
        std::free(xcb_damage_query_version_reply(
            m_connection, xcb_damage_query_version(m_connection, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr));
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
    ~ServerWatch() { xcb_disconnect(m_connection); }
    ServerWatch(const ServerWatch &) = delete;
    ServerWatch &operator=(const ServerWatch &) = delete;

    [[nodiscard]] bool ok() const { return m_root != 0; }

    void drain()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
            std::free(event);
    }

    // Times of the first map and the first frame after timer started; nothing
    // when either did not come within the timeout.
    std::optional<Run> watch(const QElapsedTimer &timer, int timeoutMs)
    {
        std::optional<double> mapped, drawn;
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        while ((!mapped || !drawn) && timer.elapsed() < timeoutMs) {
            std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(m_connection),
                                                                          &std::free);
            if (!event) {
                ::poll(&fd, 1, 20);
                continue;
            }
            const double at = double(timer.nsecsElapsed()) / 1e6;
            const int type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                // Asked for at once: nothing is drawn into a window before it is mapped.
                const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event.get());
                xcb_damage_create(m_connection, xcb_generate_id(m_connection), created->window,
                                  XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(m_connection);
            } else if (type == XCB_MAP_NOTIFY && !mapped) {
                mapped = at;
            } else if (type == m_damageEvent && !drawn) {
                drawn = at;
            }
        }
        if (!mapped || !drawn)
            return std::nullopt;
        return Run{*mapped, *drawn, 0, 0};
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_root = 0;
    int m_damageEvent = -1;
};

// A session bus of the run's own, stopped with it.
class SessionBus {
public:
    SessionBus()
    {
        m_daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
        if (m_daemon.waitForReadyRead(5000))
            m_address = QString::fromLocal8Bit(m_daemon.readLine().trimmed());
    }
    ~SessionBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;
    [[nodiscard]] QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

std::optional<Run> runOnce(ServerWatch &server, const QString &program)
{
    const QTemporaryDir home;
    const SessionBus bus;
    if (!home.isValid() || bus.address().isEmpty())
        return std::nullopt;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/.config"_s);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address());
    std::vector<QByteArray> envBytes;
    for (const QString &entry : env.toStringList())
        envBytes.push_back(entry.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &entry : envBytes)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    QByteArray path = QFile::encodeName(program);
    std::array<char *, 2> argv{path.data(), nullptr};

    server.drain();
    QElapsedTimer timer;
    timer.start();
    // Its console lines would mix with the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.constData(), &quiet, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return std::nullopt;
    std::optional<Run> run = server.watch(timer, 20000);
    if (run) {
        // Settled: less than 0.2 ms of CPU in 300 ms, within 10 s of the frame.
        qint64 before = threadsCpuNs(pid);
        for (int waited = 0; waited < 10000; waited += 300) {
            QThread::msleep(300);
            const qint64 now = threadsCpuNs(pid);
            if (now - before < 200'000)
                break;
            before = now;
        }
        run->peakMiB = peakResidentMiB(pid);
    } else {
        std::fprintf(stderr, "%s: no window drawn\n", qPrintable(program));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !run)
        return std::nullopt;
    run->cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return run;
}

struct Program {
    const char *name;
    QString path;
    Stats map, frame, cpu, peak;
};

void printRatioRow(const char *measurement, const Program &program, const Stats &stats, const char *unit,
                   const Stats &floor, const Stats &oneLabel, const char *target)
{
    std::printf("| %s | %s | %.3f %s | %.3f | %.3f | %zu | %.2f× | %.2f× | %s |\n", measurement, program.name,
                stats.median(), unit, stats.min(), stats.max(), stats.samples.size(),
                stats.median() / floor.median(), stats.median() / oneLabel.median(), target);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: bench_startup APP FLOOR ONE_LABEL [RUNS]\n");
        return 2;
    }
    ServerWatch server;
    if (!server.ok()) {
        std::fprintf(stderr, "bench_startup: needs an X server with the Damage extension\n");
        return 2;
    }
    const int runs = args.size() > 4 ? args[4].toInt() : 10;
    std::array<Program, 3> programs{Program{"application", args[1], {}, {}, {}, {}},
                                    Program{"fair floor", args[2], {}, {}, {}, {}},
                                    Program{"one-label window", args[3], {}, {}, {}, {}}};
    for (const Program &program : programs) // warms the file cache for all
        (void)runOnce(server, program.path);
    for (int i = 0; i < runs; ++i) {
        for (Program &program : programs) {
            const auto run = runOnce(server, program.path);
            if (!run)
                return 1;
            program.map.add(run->mapMs);
            program.frame.add(run->frameMs);
            program.cpu.add(run->cpuMs);
            program.peak.add(run->peakMiB);
        }
    }
    const Program &floor = programs[1];
    const Program &oneLabel = programs[2];
    std::printf("| Measurement | Program | Median | Min | Max | Runs | × fair floor | × one-label | Target |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const Program &p : programs)
        printRatioRow("Start to first map", p, p.map, "ms", floor.map, oneLabel.map, "–");
    for (const Program &p : programs)
        printRatioRow("Start to first frame drawn", p, p.frame, "ms", floor.frame, oneLabel.frame,
                      &p == &programs[0] ? "≤ 1.05× floor" : "–");
    for (const Program &p : programs)
        printRatioRow("CPU until settled", p, p.cpu, "ms", floor.cpu, oneLabel.cpu,
                      &p == &programs[0] ? "≤ 1.10× floor" : "–");
    for (const Program &p : programs)
        printRatioRow("Peak resident memory", p, p.peak, "MiB", floor.peak, oneLabel.peak,
                      &p == &programs[0] ? "≤ 1.05× floor" : "–");
    std::printf("\n");
    std::fflush(stdout);
    return 0;
}
