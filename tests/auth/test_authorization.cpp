#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "mocks/MockBus.h"

#include "auth/TouchIdAction.h"
#include "platform/authorization/PolkitAuthorizationServices.h"
#include "platform/core/PreferenceStore.h"

#include <QThread>

using namespace Qt::StringLiterals;

// What making a handle answers, whether it gives a null one, and what the
// checks answer, one per press.
struct ControllerCase { OSStatus createStatus; bool nullHandle; QList<OSStatus> statuses; };

class TestAuthorization : public QObject {
    Q_OBJECT

    const QString polkitName = u"org.freedesktop.PolicyKit1"_s;
    const QString authority = u"/org/freedesktop/PolicyKit1/Authority"_s;
    std::unique_ptr<MockBus> m_bus;
    QDBusConnection m_connection{QString()};
    int m_serial = 0;

    // answer: how polkit answers a check, see tests/mocks/polkitd.py; or
    // "unregistered" (our action is unknown to it) or "absent" (no polkitd).
    bool startPolkit(const QString &answer)
    {
        m_bus = std::make_unique<MockBus>();
        m_connection = m_bus->connect(u"polkit-client"_s + QString::number(++m_serial));
        const bool registered = answer != u"unregistered"_s;
        return answer == u"absent"_s
            || m_bus->start(u"polkitd.py"_s, polkitName, {{u"answer"_s, registered ? answer : u"yes"_s},
                                                          {u"actions"_s, QStringList(registered ? 1 : 0, AuthorizationController::actionId)}});
    }
    QStringList calls() { return m_bus->mock(polkitName, authority, u"GetCalls"_s).value(0).toStringList(); }

private Q_SLOTS:
    void cleanup() { m_bus.reset(); }

    // Each press is a new request: a new handle, then the check with the
    // fixed arguments; only a full success is kept, every other handle released.
    void controller_data()
    {
        QTest::addColumn<ControllerCase>("row");
        const int no = AuthorizationStatus::denied;
        QTest::newRow("both succeed") << ControllerCase{0, false, {0}};
        QTest::newRow("create fails") << ControllerCase{AuthorizationStatus::internal, false, {0}};
        QTest::newRow("create fails, positive status") << ControllerCase{1, false, {0}};
        QTest::newRow("create gives a null handle") << ControllerCase{0, true, {0}};
        QTest::newRow("refused") << ControllerCase{0, false, {no}};
        QTest::newRow("odd positive status") << ControllerCase{0, false, {7}};
        QTest::newRow("success then failures keep it") << ControllerCase{0, false, {0, no, 1}};
        QTest::newRow("success replaces success") << ControllerCase{0, false, {0, no, 0}};
    }
    void controller()
    {
        QFETCH(const ControllerCase, row);
        const auto &[createStatus, nullHandle, statuses] = row;
        auto services = std::make_shared<ScriptedAuthorization>(statuses, createStatus, nullHandle);
        const bool checks = createStatus == 0 && !nullHandle;
        const qsizetype kept = checks ? statuses.lastIndexOf(0) : -1; // the last full success
        {
            AuthorizationController controller(services);
            QVERIFY(services->made.isEmpty());
            for (const int status : statuses)
                QCOMPARE(controller.requestAuthorization(), checks && status == 0);
            QVERIFY(services->argumentsRight);
            QCOMPARE(services->checked, checks ? services->made : QList<AuthorizationRef>());
            QCOMPARE(controller.authorizationRef(), services->made.value(kept));
            QCOMPARE(services->freed.size() + (kept < 0 ? 0 : 1), services->made.size());
            QVERIFY(!services->freed.contains(controller.authorizationRef()));
        }
        QCOMPARE(QSet<AuthorizationRef>(services->freed.cbegin(), services->freed.cend()).size(), services->made.size());
    }

    // Only polkit's own, well-formed yes for our action opens the gate; and
    // every request names this process, our action, and lets the agent ask.
    // A request that reached nobody says why; after an agent asked, nothing.
    void polkit_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<AuthorizationObstacle>("obstacle");
        using enum AuthorizationObstacle;
        for (const auto &[answer, obstacle] : {std::pair("yes", none), {"no", none}, {"challenge", noAgent}, {"dismissed", none},
                                               {"both", none}, {"unregistered", actionNotInstalled}, {"wrong-signature", none},
                                               {"forged", none}, {"absent", serviceUnavailable}, {"no bus", serviceUnavailable}})
            QTest::newRow(answer) << QString::fromLatin1(answer) << obstacle;
    }
    void polkit()
    {
        QFETCH(QString, answer);
        QFETCH(AuthorizationObstacle, obstacle);
        QVERIFY(startPolkit(answer));
        if (answer == u"no bus"_s) // what the system bus is when its socket is missing
            m_connection = QDBusConnection::connectToBus(u"unix:path=/nonexistent/system_bus_socket"_s, u"no-bus"_s);
        // Two windows of one process share its bus name.
        for (int window = 0; window < 2; ++window) {
            AuthorizationController controller(std::make_shared<PolkitAuthorizationServices>(AuthorizationController::actionId, m_connection));
            // Braces: the request runs before its reason is read.
            QCOMPARE((std::pair{controller.requestAuthorization(), controller.obstacle()}), std::pair(answer == u"yes"_s, obstacle));
            if (window == 1 && answer == u"challenge"_s) { // then an agent asks, and is dismissed: no reason left
                m_bus->mock(polkitName, authority, u"SetAnswer"_s, {u"dismissed"_s});
                QCOMPARE((std::pair{controller.requestAuthorization(), controller.obstacle()}), std::pair(false, AuthorizationObstacle::none));
            }
        }
        if (answer == u"absent"_s || answer == u"no bus"_s)
            return;
        const QStringList sent = calls();
        QCOMPARE(sent.size(), answer == u"challenge"_s ? 3 : 2);
        QVERIFY(sent[0].section(u' ', -1) != sent[1].section(u' ', -1));
        for (const QString &call : sent)
            QCOMPARE(call.section(u' ', 0, -2), u"check %1 system-bus-name name=%1 %2 - 1"_s.arg(
                m_connection.baseService(), AuthorizationController::actionId));
    }

    // One answer per check, on the main thread: at once for the wrong kind of
    // reader, else from the event loop. A check's context lives until its
    // answer; a cancelled check answers nothing.
    void touchIdAction()
    {
        using Kind = TouchIdResult::Kind;
        FakeFactory contexts;
        TouchIdAction action(&contexts);
        QList<std::pair<Kind, bool>> answers; // and whether on the main thread
        connect(&action, &TouchIdAction::answered, this, [&](const TouchIdResult &result) {
            answers.append({result.kind, QThread::currentThread() == thread()});
        }, Qt::DirectConnection);
        for (const auto &[setup, kind] : {std::pair(Fingerprint{}, Kind::Matched), {Fingerprint{true, {}, 1, false, {}}, Kind::NotMatched},
                                          {Fingerprint{false, {}, 1, true, {}}, Kind::CannotAsk}, {Fingerprint{true, {}, 2, true, {}}, Kind::CannotAsk}}) {
            answers.clear();
            contexts.setup = setup;
            action.start(nullptr);
            QCOMPARE(answers.size(), setup.biometry == 2 ? 1 : 0);
            QTRY_COMPARE(answers, (QList{std::pair(kind, true)}));
            QTRY_VERIFY(std::all_of(contexts.made.cbegin(), contexts.made.cend(), [](const auto &c) { return !c; }));
        }
        answers.clear();
        contexts.setup = {};
        action.start(nullptr);
        QVERIFY(contexts.made.constLast());
        action.cancel();
        QTest::qWait(50);
        QVERIFY(answers.isEmpty() && !contexts.made.constLast());
    }

    // While polkit asks, the event loop runs and a second request is refused
    // without a call; the request ends when the window closes (also by the
    // window manager) or our limit runs out, and polkit is told to stop asking.
    void pendingRequest_data()
    {
        QTest::addColumn<QString>("end");
        for (const char *end : {"close", "wm", "limit"})
            QTest::newRow(end) << QString::fromLatin1(end);
    }
    void pendingRequest()
    {
        QFETCH(QString, end);
        QVERIFY(startPolkit(u"hang"_s));
        PreferenceStore store(QDir::home().filePath(u"preferences.ini"_s));
        AuthorizationController *controller = nullptr;
        AppServices services;
        services.store = &store;
        services.makeAuthorization = [&] {
            auto made = std::make_unique<AuthorizationController>(std::make_shared<PolkitAuthorizationServices>(
                AuthorizationController::actionId, m_connection, std::chrono::milliseconds(end == u"limit"_s ? 800 : 60000)));
            controller = made.get();
            return made;
        };
        AuthorizationLockView view(services);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Timers firing while the request waits: the event loop runs.
        bool second = true;
        QTimer::singleShot(300, &view, [&] { second = controller->requestAuthorization(); });
        QTimer::singleShot(500, &view, [&] {
            if (end == u"close"_s)
                view.close();
            else if (end == u"wm"_s)
                QCOMPARE(QProcess::execute(u"/usr/bin/python3"_s, {MockBus::dir + u"/wm-close.py"_s, QString::number(view.winId())}), 0);
        });
        QTimer::singleShot(15000, &view, [&] { controller->cancel(); QFAIL("the request outlived its end"); });
        view.lockAction();
        QVERIFY(!view.unlocked() && !second);
        QCOMPARE(view.lockObstacle(), QString()); // polkit is there, it was our limit
        QCOMPARE(view.isVisible(), end == u"limit"_s);
        QTRY_COMPARE(calls().size(), 2);
        QCOMPARE(calls().at(1), u"cancel %1 %2"_s.arg(m_connection.baseService(), calls().at(0).section(u' ', -1)));

        m_bus->mock(polkitName, authority, u"SetAnswer"_s, {u"yes"_s});
        view.lockAction();
        QVERIFY(view.unlocked());
    }
};

YUMEKAZU_TEST_MAIN(TestAuthorization)
#include "test_authorization.moc"
