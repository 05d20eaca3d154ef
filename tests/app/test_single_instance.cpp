#include "app/ApplicationService.h"
#include "app/YumekazuApp.h"
#include "common/TestMain.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/UrlOpener.h"
#include "platform/windowing/TabGroupWindow.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

class NoOpener : public UrlOpener {
public:
    bool open(const QUrl &) override { return true; }
};

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Where the visible window of a process stands on the X server, counted from the top.
qsizetype stackPosition(qint64 pid)
{
    const QString window = output(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid)});
    const QString id = u"0x"_s + QString::number(window.section(u'\n', 0, 0).toULongLong(), 16);
    const QStringList stack = output(u"xwininfo"_s, {u"-root"_s, u"-children"_s}).split(u'\n');
    return std::find_if(stack.cbegin(), stack.cend(), [&](const QString &l) { return l.trimmed().startsWith(id + u' '); })
        - stack.cbegin();
}

template <typename T> QList<T *> visible()
{
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            found.append(window);
    return found;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The real program under the test X server and session bus: a second
    // launch hands over at once and the first brings its window forward.
    void secondLaunchHandsOver()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the test X server and session bus (tests/mocks/with-test-services)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        const QString program = qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/bin/yumekazu"_s;
        QProcess first, alone, second;
        for (QProcess *p : {&first, &alone, &second})
            p->setProcessEnvironment(env);
        first.start(program);
        QTRY_VERIFY(bus.interface()->isServiceRegistered(ApplicationService::serviceName));
        QCOMPARE(bus.interface()->servicePid(ApplicationService::serviceName).value(), first.processId());
        // Without a session bus a launch runs on its own, its window on top.
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
        alone.setProcessEnvironment(env);
        alone.start(program);
        QTRY_VERIFY(stackPosition(alone.processId()) < stackPosition(first.processId()));
        QElapsedTimer clock;
        clock.start();
        second.start(program);
        QVERIFY(second.waitForFinished(1000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(stackPosition(first.processId()) < stackPosition(alone.processId()));
        QCOMPARE(alone.state(), QProcess::Running);
        for (QProcess *p : {&first, &alone}) {
            p->terminate();
            QVERIFY(p->waitForFinished());
        }
    }

    // Activation opens a locked window only when none is open; a repaired
    // store is reported once, with the place of the kept original.
    void activationAndRepairMessage()
    {
        QTemporaryDir dir;
        QFile broken(dir.filePath(u"preferences.ini"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("[General]\nIntKeyToggle1=1\nStringKey=途中で切れ\xe3");
        broken.close();
        PreferenceStore store(broken.fileName());
        NoOpener opener;
        YumekazuApp app({&store, &opener});
        app.activate();
        app.activate();
        QCOMPARE(visible<TabGroupWindow>().size(), 1);
        app.openNewWindow();
        const QList<QMessageBox *> boxes = visible<QMessageBox>();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0]->text().contains(*store.backupPath()));
        QCOMPARE(store.string(u"StringKey"_s), u"途中で切れ"_s);
    }
};

YUMEKAZU_TEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
