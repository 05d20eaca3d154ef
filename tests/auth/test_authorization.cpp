#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "mocks/MockBus.h"

#include "platform/authorization/PolkitAuthorizationServices.h"
#include "platform/core/PreferenceStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString polkitName = u"org.freedesktop.PolicyKit1"_s;
const QString authority = u"/org/freedesktop/PolicyKit1/Authority"_s;
const QString actionId = PolkitAuthorizationServices::actionId;

} // namespace

class TestAuthorization : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MockBus> m_bus;
    QDBusConnection m_connection{QString()};
    int m_serial = 0;

    bool startPolkit(const QString &answer, const QStringList &actions = {actionId})
    {
        m_bus = std::make_unique<MockBus>();
        m_connection = m_bus->connect(u"polkit-client"_s + QString::number(++m_serial));
        return answer == u"absent"_s
            || m_bus->start(u"polkitd.py"_s, polkitName, {{u"answer"_s, answer}, {u"actions"_s, actions}});
    }
    QList<QJsonObject> calls()
    {
        QList<QJsonObject> result;
        for (const QString &call : m_bus->mock(polkitName, authority, u"GetCalls"_s).value(0).toStringList())
            result << QJsonDocument::fromJson(call.toUtf8()).object();
        return result;
    }

private Q_SLOTS:
    void cleanup() { m_bus.reset(); }

    // Each press is a new request: a new handle, then the check with the
    // fixed arguments; only a full success is kept, every other handle released.
    void controller_data()
    {
        QTest::addColumn<int>("createStatus");
        QTest::addColumn<bool>("nullHandle");
        QTest::addColumn<QList<int>>("statuses"); // of the checks, one per press
        QTest::addColumn<int>("kept");            // handle held at the end, -1 none
        const int no = AuthorizationStatus::denied;
        QTest::newRow("both succeed") << 0 << false << QList<int>{0} << 0;
        QTest::newRow("create fails") << int(AuthorizationStatus::internal) << false << QList<int>{0} << -1;
        QTest::newRow("create fails, positive status") << 1 << false << QList<int>{0} << -1;
        QTest::newRow("create gives a null handle") << 0 << true << QList<int>{0} << -1;
        QTest::newRow("refused") << 0 << false << QList<int>{no} << -1;
        QTest::newRow("odd positive status") << 0 << false << QList<int>{7} << -1;
        QTest::newRow("success then failures keep it") << 0 << false << QList<int>{0, no, 1} << 0;
        QTest::newRow("success replaces success") << 0 << false << QList<int>{0, no, 0} << 2;
    }
    void controller()
    {
        QFETCH(int, createStatus);
        QFETCH(bool, nullHandle);
        QFETCH(QList<int>, statuses);
        QFETCH(int, kept);
        auto services = std::make_shared<ScriptedAuthorization>(statuses, createStatus, nullHandle);
        const bool checks = createStatus == 0 && !nullHandle;
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
    void polkit_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("actions"); // registered at polkit
        QTest::addColumn<bool>("granted");
        const QStringList ours{actionId};
        QTest::newRow("authorized") << u"yes"_s << ours << true;
        QTest::newRow("refused") << u"no"_s << ours << false;
        QTest::newRow("challenge, no agent") << u"challenge"_s << ours << false;
        QTest::newRow("agent dismissed") << u"dismissed"_s << ours << false;
        QTest::newRow("authorized and challenge") << u"both"_s << ours << false;
        QTest::newRow("action not registered") << u"yes"_s << QStringList{u"org.yumekazu"_s} << false;
        QTest::newRow("wrong signature") << u"wrong-signature"_s << ours << false;
        QTest::newRow("reply from another sender") << u"forged"_s << ours << false;
        QTest::newRow("no polkitd") << u"absent"_s << ours << false;
    }
    void polkit()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, actions);
        QFETCH(bool, granted);
        QVERIFY(startPolkit(answer, actions));
        // Two windows of one process share its bus name.
        for (int window = 0; window < 2; ++window)
            QCOMPARE(AuthorizationController(std::make_shared<PolkitAuthorizationServices>(m_connection)).requestAuthorization(),
                     granted);
        if (answer == u"absent"_s)
            return;
        const QList<QJsonObject> sent = calls();
        QCOMPARE(sent.size(), 2);
        QVERIFY(sent[0][u"id"_s] != sent[1][u"id"_s]);
        const QJsonObject expected{{u"method"_s, u"check"_s}, {u"sender"_s, m_connection.baseService()},
                                   {u"kind"_s, u"system-bus-name"_s}, {u"action"_s, actionId}, {u"details"_s, QJsonObject()},
                                   {u"subject"_s, QJsonObject{{u"name"_s, m_connection.baseService()}}}, {u"flags"_s, 1}};
        for (QJsonObject call : sent) {
            QVERIFY(!call.take(u"id"_s).toString().isEmpty());
            QCOMPARE(call, expected);
        }
    }

    // While polkit asks, the event loop runs and a second request is refused
    // without a call; the request ends when the window closes (also by the
    // window manager) or our limit runs out, and polkit is told to stop asking.
    void pendingRequest_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("window closes") << u"close"_s;
        QTest::newRow("window manager closes the window") << u"wm"_s;
        QTest::newRow("our limit runs out") << u"limit"_s;
    }
    void pendingRequest()
    {
        QFETCH(QString, end);
        QVERIFY(startPolkit(u"hang"_s));
        PreferenceStore store(QDir::home().filePath(u"preferences.ini"_s));
        AuthorizationController *controller = nullptr;
        MainViewServices services;
        services.store = &store;
        services.makeAuthorization = [&] {
            auto made = std::make_unique<AuthorizationController>(std::make_shared<PolkitAuthorizationServices>(
                m_connection, std::chrono::milliseconds(end == u"limit"_s ? 800 : 60000)));
            controller = made.get();
            return made;
        };
        AuthorizationLockView view(services);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &ticker, [&ticks] { ++ticks; });
        ticker.start(50);
        bool second = true;
        QTimer::singleShot(300, &ticker, [&] { second = controller->requestAuthorization(); });
        QTimer::singleShot(500, &ticker, [&] {
            if (end == u"close"_s)
                view.close();
            else if (end == u"wm"_s)
                QProcess::startDetached(u"/usr/bin/python3"_s, {MockBus::dir + u"/wm-close.py"_s, QString::number(view.winId())});
        });
        QTimer::singleShot(15000, &ticker, [&] { controller->cancel(); }); // keeps a failing test from hanging
        view.lockAction();
        QVERIFY(!view.unlocked() && ticks >= 5 && !second);
        QCOMPARE(view.isVisible(), end == u"limit"_s);
        QTRY_COMPARE(calls().size(), 2);
        const QList<QJsonObject> sent = calls();
        QCOMPARE(sent[1][u"method"_s], u"cancel"_s);
        QCOMPARE(sent[1][u"id"_s], sent[0][u"id"_s]);

        m_bus->mock(polkitName, authority, u"SetAnswer"_s, {u"yes"_s});
        view.lockAction();
        QVERIFY(view.unlocked());
    }

    void policyFile()
    {
        QFile file(qEnvironmentVariable("YUMEKAZU_SOURCE_DIR") + u"/data/polkit/"_s + actionId + u".policy"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray policy = file.readAll();
        for (const QByteArray &part : {QByteArray("<action id=\"" + actionId.toUtf8() + "\">"), QByteArray("<message xml:lang=\"ja\">"),
                                       QByteArray("<allow_active>auth_admin_keep</allow_active>"),
                                       QByteArray("<allow_any>auth_admin</allow_any>")})
            QVERIFY2(policy.contains(part), part.constData());
    }
};

YUMEKAZU_TEST_MAIN(TestAuthorization)
#include "test_authorization.moc"
