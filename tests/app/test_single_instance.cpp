#include "app/ApplicationService.h"
#include "app/YumekazuApp.h"
#include "common/TestMain.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/UrlOpener.h"
#include "platform/windowing/TabGroupWindow.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QMessageBox>
#include <QProcess>

using namespace Qt::StringLiterals;

// How far from the top of the X server's stacking order the window of a process is.
static qsizetype stackPosition(qint64 pid)
{
    const auto run = [](const QString &program, const QStringList &arguments) {
        QProcess tool;
        tool.start(program, arguments);
        tool.waitForFinished();
        return QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n');
    };
    const QString id = u"0x%1 "_s.arg(run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid)}).value(0).toULongLong(), 0, 16);
    const QStringList stack = run(u"xwininfo"_s, {u"-root"_s, u"-children"_s});
    return std::ranges::find_if(stack, [&](const QString &l) { return l.trimmed().startsWith(id); }) - stack.cbegin();
}

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
        for (QProcess *process : {&first, &second})
            process->setProcessEnvironment(env);
        first.start(program);
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY(bus.interface()->isServiceRegistered(ApplicationService::serviceName));
        QCOMPARE(bus.interface()->servicePid(ApplicationService::serviceName).value(), first.processId());
        // Without a session bus a launch runs on its own; its window comes on top.
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
        alone.setProcessEnvironment(env);
        alone.start(program);
        QVERIFY(alone.waitForStarted());
        QTRY_VERIFY(stackPosition(alone.processId()) < stackPosition(first.processId()));
        second.start(program);
        QVERIFY(second.waitForFinished(1000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(stackPosition(first.processId()) < stackPosition(alone.processId()));
        QCOMPARE(alone.state(), QProcess::Running);
    }

    // Activation opens a locked window only when none is open; a repaired
    // store is reported once, with the place of the kept original.
    void activationAndRepairMessage()
    {
        QTemporaryDir dir;
        QFile broken(dir.filePath(u"preferences.ini"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("[General]\nStringKey=途中で切れ\xe3") && broken.flush());
        PreferenceStore store(broken.fileName());
        DesktopUrlOpener opener;
        YumekazuApp app({&store, &opener});
        app.activate();
        app.activate();
        QCOMPARE(std::ranges::count_if(QApplication::topLevelWidgets(),
                                       [](QWidget *w) { return qobject_cast<TabGroupWindow *>(w) && w->isVisible(); }),
                 1);
        app.openNewWindow();
        QStringList messages;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget))
                messages << box->text();
        QVERIFY2(messages.size() == 1 && messages[0].contains(*store.backupPath()), qPrintable(messages.join(u'\n')));
        QCOMPARE(store.string(u"StringKey"_s), u"途中で切れ"_s);
    }
};

YUMEKAZU_TEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
