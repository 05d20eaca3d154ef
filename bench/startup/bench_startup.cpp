// Start-up time and resident memory of the locked window, for the application
// and the one-label baseline, run alternately so both see the same machine
// state. Time is measured from outside the process, on the X server: from the
// start of the process to the first map of a top-level window, and to the
// first expose event of a window the process created. The expose is seen only
// when our request for it reaches the server before the window is shown, so
// that row may count fewer runs.
#include "common/Stats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    double mapMs = 0;
    std::optional<double> exposeMs;
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

// Watches the root window for new and mapped top-level windows.
class ServerWatch {
public:
    ServerWatch() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
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

    // Times of the first map and first expose after timer started; nothing
    // when no window was mapped.
    std::optional<Run> watch(const QElapsedTimer &timer, int timeoutMs)
    {
        std::optional<double> mapped, exposed;
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        const auto waiting = [&] {
            const double now = double(timer.nsecsElapsed()) / 1e6;
            return now < timeoutMs && (!mapped || (!exposed && now < *mapped + 1000));
        };
        while (waiting()) {
            std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(m_connection),
                                                                          &std::free);
            if (!event) {
                ::poll(&fd, 1, 20);
                continue;
            }
            const double at = double(timer.nsecsElapsed()) / 1e6;
            switch (event->response_type & 0x7f) {
            case XCB_CREATE_NOTIFY: {
                // Asked for at once: the window cannot be shown before it is created.
                const uint32_t mask = XCB_EVENT_MASK_EXPOSURE;
                const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event.get());
                xcb_change_window_attributes(m_connection, created->window, XCB_CW_EVENT_MASK, &mask);
                xcb_flush(m_connection);
                break;
            }
            case XCB_MAP_NOTIFY:
                if (!mapped)
                    mapped = at;
                break;
            case XCB_EXPOSE:
                if (!exposed)
                    exposed = at;
                break;
            default:
                break;
            }
        }
        if (!mapped)
            return std::nullopt;
        return Run{*mapped, exposed, 0};
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_root = 0;
};

std::optional<Run> runOnce(ServerWatch &server, const QString &program)
{
    QTemporaryDir home;
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/.config"_s);
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.drain();
    QElapsedTimer timer;
    timer.start();
    process.start();
    if (!process.waitForStarted(10000))
        return std::nullopt;
    std::optional<Run> run = server.watch(timer, 20000);
    if (run) {
        QThread::msleep(500); // let the window settle before weighing it
        run->rssMiB = residentMiB(process.processId());
    } else {
        std::fprintf(stderr, "%s: no window mapped\n", qPrintable(program));
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
    ServerWatch server;
    if (!server.ok()) {
        std::fprintf(stderr, "bench_startup: needs an X server\n");
        return 2;
    }
    const int runs = args.size() > 3 ? args[3].toInt() : 10;
    Stats appMap, baseMap, appExpose, baseExpose, appRss, baseRss;
    (void)runOnce(server, args[1]); // warm the file cache for both
    (void)runOnce(server, args[2]);
    for (int i = 0; i < runs; ++i) {
        const auto a = runOnce(server, args[1]);
        const auto b = runOnce(server, args[2]);
        if (!a || !b)
            return 1;
        appMap.add(a->mapMs);
        baseMap.add(b->mapMs);
        if (a->exposeMs && b->exposeMs) {
            appExpose.add(*a->exposeMs);
            baseExpose.add(*b->exposeMs);
        }
        appRss.add(a->rssMiB);
        baseRss.add(b->rssMiB);
    }
    printRow("Cold start to first map (X server)", appMap, "ms", &baseMap, "≤ 1.3× baseline");
    printRow("Cold start to first expose (X server)", appExpose, "ms", &baseExpose, "–");
    printRow("Resident memory, locked window", appRss, "MiB", &baseRss, "≤ 1.5× baseline");
    return 0;
}
