// Note editor, open text and preference store timings, measured on a real main
// view behind stand-in gates.
#include "common/FakeGates.h"
#include "common/Stats.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"
#include "platform/dialogs/ModalResponse.h"
#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/PanelFactory.h"
#include "platform/dialogs/SavePanel.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

// Answers every open dialog with one file.
class FixedOpenPanel final : public OpenPanel {
public:
    explicit FixedOpenPanel(QString path) : m_path(std::move(path)) {}
    int runModal() override { return ModalResponse::OK; }
    [[nodiscard]] std::optional<QString> url() const override { return m_path; }

private:
    QString m_path;
};

class FixedPanels final : public PanelFactory {
public:
    QString path;
    std::unique_ptr<OpenPanel> makeOpenPanel(QWidget *) override { return std::make_unique<FixedOpenPanel>(path); }
    std::unique_ptr<SavePanel> makeSavePanel(QWidget *) override { return nullptr; }
};

QString noteOfBytes(qsizetype bytes)
{
    // Three UTF-8 bytes per character, one line break every 40 characters.
    const QString line = QString(39, u'猫') + u'\n';
    QString text;
    text.reserve(bytes / 3 + 40);
    while (text.size() * 3 < bytes)
        text += line;
    return text;
}

struct Bench {
    QTemporaryDir dir;
    PreferenceStore store{dir.filePath(u"preferences.ini"_s)};
    FakeFactory fingerprint;
    FixedPanels panels;
    std::unique_ptr<AuthorizationLockView> view;
    QPlainTextEdit *editor = nullptr;

    void open(const QString &note)
    {
        view.reset();
        store.setString(PreferenceKeys::stringKey, note);
        AppServices services;
        services.store = &store;
        services.makeAuthorization = [] {
            return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(true));
        };
        services.localAuthentication = &fingerprint;
        services.panels = &panels;
        view = std::make_unique<AuthorizationLockView>(services);
        view->resize(450, 800);
        view->show();
        view->lockAction();
        view->authenticateWithTouchID();
        if (!QTest::qWaitFor([this] { return view->unlockContent(); }))
            std::exit(1);
        editor = view->findChild<QPlainTextEdit *>(u"noteEditor"_s);
        editor->setFocus();
        editor->moveCursor(QTextCursor::End);
        QCoreApplication::processEvents();
    }
};

void benchTyping(Bench &bench, const char *name, qsizetype bytes)
{
    bench.open(noteOfBytes(bytes));
    Stats stats;
    for (int i = 0; i < 41; ++i) {
        const qsizetype before = bench.store.string(PreferenceKeys::stringKey)->size();
        const auto start = std::chrono::steady_clock::now();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, u"あ"_s);
        QCoreApplication::sendEvent(bench.editor, &press);
        const double ms = millisecondsSince(start);
        if (bench.store.string(PreferenceKeys::stringKey)->size() != before + 1) {
            std::fprintf(stderr, "typing did not reach the store\n");
            std::exit(1);
        }
        stats.add(ms);
        QCoreApplication::processEvents(); // the editor repaints between keys, as it would
    }
    printRow(name, stats, "ms", nullptr, bytes >= 1 << 20 ? "median < 2 ms" : "");
}

void benchOpen(Bench &bench, const char *name, qsizetype bytes, int runs, const char *target)
{
    const QString path = bench.dir.filePath(u"open.txt"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::exit(1);
        file.write(noteOfBytes(bytes).toUtf8());
    }
    bench.panels.path = path;
    Stats stats;
    for (int i = 0; i < runs; ++i) {
        bench.open(u"短いメモ"_s);
        const auto start = std::chrono::steady_clock::now();
        bench.view->openText();
        QCoreApplication::processEvents(); // laid out and painted
        stats.add(millisecondsSince(start));
        if (bench.editor->document()->characterCount() < bytes / 3) {
            std::fprintf(stderr, "the opened file is not in the editor\n");
            std::exit(1);
        }
    }
    printRow(name, stats, "ms", nullptr, target);
}

void benchPersist(Bench &bench)
{
    bench.view.reset();
    const QString note = noteOfBytes(1 << 20);
    Stats stats;
    for (int i = 0; i < 21; ++i) {
        bench.store.setString(PreferenceKeys::stringKey, note + QString::number(i));
        const auto start = std::chrono::steady_clock::now();
        if (!bench.store.flush())
            std::exit(1);
        stats.add(millisecondsSince(start));
    }
    printRow("Preference store: persist a 1 MB note", stats, "ms");
}

// Bytes this process has handed to write(2) so far.
double bytesWritten()
{
    QFile io(u"/proc/self/io"_s);
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toDouble();
    return 0;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage); // every thread, the store's writer included
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Steady typing, five keys a second, into a large note: what it costs the
// whole process (editor, store and its writes) per minute.
void benchTypingCost(Bench &bench, const char *size, qsizetype bytes, const char *target)
{
    constexpr int runs = 3;
    constexpr int seconds = 20;
    Stats cpu;
    Stats written;
    for (int run = 0; run < runs; ++run) {
        bench.open(noteOfBytes(bytes));
        bench.store.flush();
        QTimer keys;
        QObject::connect(&keys, &QTimer::timeout, bench.editor, [&bench] {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, u"あ"_s);
            QCoreApplication::sendEvent(bench.editor, &press);
        });
        const double cpuBefore = cpuSeconds();
        const double bytesBefore = bytesWritten();
        const auto start = std::chrono::steady_clock::now();
        keys.start(200);
        QTest::qWait(seconds * 1000);
        keys.stop();
        const double minutes = millisecondsSince(start) / 60000;
        cpu.add((cpuSeconds() - cpuBefore) / minutes / 60 * 100);
        written.add((bytesWritten() - bytesBefore) / minutes / (1 << 20));
    }
    printRow(std::string("Typing 5 keys/s into a ") + size + " note: CPU, % of one core", cpu, "%", nullptr, target);
    printRow(std::string("Typing 5 keys/s into a ") + size + " note: written per minute", written, "MiB");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Bench bench;
    benchTyping(bench, "Note editor: key to store, 1 KB note", 1 << 10);
    benchTyping(bench, "Note editor: key to store, 1 MB note", 1 << 20);
    benchOpen(bench, "Open text: 1 MB UTF-8 file", 1 << 20, 9, "");
    benchOpen(bench, "Open text: 16 MB UTF-8 file", 16 << 20, 5, "< 1 s");
    benchPersist(bench);
    benchTypingCost(bench, "1 MB", 1 << 20, "≤ 5 %");
    benchTypingCost(bench, "16 MB", 16 << 20, "");
    return 0;
}
