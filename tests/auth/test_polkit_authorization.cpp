#include "common/TestMain.h"
#include "mocks/MockBus.h"

#include "auth/AuthorizationController.h"
#include "platform/authorization/PolkitAuthorizationServices.h"

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
const QString mockInterface = u"org.freedesktop.DBus.Mock"_s;

// The window's part in a pending request: its close cancels it.
struct CancelOnClose : QObject {
    AuthorizationController *controller = nullptr;
    bool closed = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close && controller) {
            closed = true;
            controller->cancel();
        }
        return false;
    }
};

} // namespace

class TestPolkitAuthorization : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MockBus> m_bus;
    QDBusConnection m_connection{QString()};
    int m_serial = 0;

    bool startPolkit(const QString &answer)
    {
        m_bus = std::make_unique<MockBus>();
        m_connection = m_bus->connect(u"polkit-client"_s + QString::number(++m_serial));
        return m_bus->startTemplate(MockBus::ourTemplate(u"polkitd.py"_s), polkitName, {{u"answer"_s, answer}});
    }
    void mock(const QString &method, const QVariant &argument)
    {
        m_bus->call(polkitName, authority, mockInterface, method, {argument});
    }
    QList<QJsonObject> calls()
    {
        QList<QJsonObject> result;
        for (const QString &call : m_bus->call(polkitName, authority, mockInterface, u"GetCalls"_s).value(0).toStringList())
            result << QJsonDocument::fromJson(call.toUtf8()).object();
        return result;
    }

private Q_SLOTS:
    void cleanup() { m_bus.reset(); }

    // Only polkit's own, well-formed yes for our action opens the gate; and
    // every request names this process, our action, and lets the agent ask.
    void answers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("registered");
        QTest::addColumn<bool>("expected");
        const QStringList ours{PolkitAuthorizationServices::actionId};
        QTest::newRow("authorized") << u"yes"_s << ours << true;
        QTest::newRow("refused") << u"no"_s << ours << false;
        QTest::newRow("challenge, no agent") << u"challenge"_s << ours << false;
        QTest::newRow("agent dismissed") << u"dismissed"_s << ours << false;
        QTest::newRow("authorized and challenge") << u"both"_s << ours << false;
        QTest::newRow("action not registered") << u"yes"_s << QStringList{u"org.yumekazu"_s} << false;
        QTest::newRow("wrong signature") << u"wrong-signature"_s << ours << false;
        QTest::newRow("reply from another sender") << u"forged"_s << ours << false;
    }
    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, registered);
        QFETCH(bool, expected);
        QVERIFY(startPolkit(answer));
        mock(u"SetActions"_s, registered);
        // Two windows of one process share its bus name.
        for (int window = 0; window < 2; ++window) {
            AuthorizationController controller(std::make_shared<PolkitAuthorizationServices>(m_connection));
            QCOMPARE(controller.requestAuthorization(), expected);
            QCOMPARE(controller.authorizationRef() != nullptr, expected);
        }
        const QList<QJsonObject> sent = calls();
        QCOMPARE(sent.size(), 2);
        for (const QJsonObject &call : sent) {
            QCOMPARE(call[u"kind"_s].toString(), u"system-bus-name"_s);
            QCOMPARE(call[u"subject"_s].toObject().toVariantMap(), QVariantMap({{u"name"_s, m_connection.baseService()}}));
            QCOMPARE(call[u"action"_s].toString(), PolkitAuthorizationServices::actionId);
            QVERIFY(call[u"details"_s].toObject().isEmpty());
            QCOMPARE(call[u"flags"_s].toInt(), 1);
        }
        QVERIFY(!sent[0][u"id"_s].toString().isEmpty());
        QVERIFY(sent[0][u"id"_s] != sent[1][u"id"_s]);
    }

    void serviceMissing_data()
    {
        QTest::addColumn<bool>("withBus");
        QTest::newRow("no polkitd on the bus") << true;
        QTest::newRow("no bus at all") << false;
    }
    void serviceMissing()
    {
        QFETCH(bool, withBus);
        m_bus = std::make_unique<MockBus>();
        AuthorizationController controller(std::make_shared<PolkitAuthorizationServices>(
            withBus ? m_bus->connect(u"missing"_s + QString::number(++m_serial)) : QDBusConnection(u"nowhere"_s)));
        QVERIFY(!controller.requestAuthorization());
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
        AuthorizationController controller(std::make_shared<PolkitAuthorizationServices>(
            m_connection, std::chrono::milliseconds(end == u"limit"_s ? 800 : 60000)));
        QWidget window;
        CancelOnClose closing;
        closing.controller = &controller;
        window.installEventFilter(&closing);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &ticker, [&ticks] { ++ticks; });
        ticker.start(50);
        bool second = true;
        QTimer::singleShot(300, &ticker, [&] { second = controller.requestAuthorization(); });
        QTimer::singleShot(500, &ticker, [&] {
            if (end == u"close"_s)
                window.close();
            else if (end == u"wm"_s)
                QProcess::startDetached(u"/usr/bin/python3"_s, {MockBus::ourTemplate(u"wm-close.py"_s), QString::number(window.winId())});
        });
        QTimer::singleShot(15000, &ticker, [&] { controller.cancel(); }); // keeps a failing test from hanging
        QVERIFY(!controller.requestAuthorization());
        QVERIFY(ticks >= 5);
        QVERIFY(!second);
        QCOMPARE(closing.closed, end != u"limit"_s);
        QTRY_COMPARE(calls().size(), 2);
        const QList<QJsonObject> sent = calls();
        QCOMPARE(sent[1][u"method"_s].toString(), u"cancel"_s);
        QCOMPARE(sent[1][u"id"_s], sent[0][u"id"_s]);

        mock(u"SetAnswer"_s, u"yes"_s);
        QVERIFY(controller.requestAuthorization());
    }

    void policyFile()
    {
        QFile file(qEnvironmentVariable("YUMEKAZU_SOURCE_DIR") + u"/data/polkit/"_s
                   + PolkitAuthorizationServices::actionId + u".policy"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray policy = file.readAll();
        QVERIFY(policy.contains(QByteArray("<action id=\"" + PolkitAuthorizationServices::actionId.toUtf8() + "\">")));
        QVERIFY(policy.contains("<allow_active>auth_admin_keep</allow_active>"));
        QVERIFY(policy.contains("<allow_any>auth_admin</allow_any>"));
        QVERIFY(policy.contains("<message xml:lang=\"ja\">"));
    }
};

YUMEKAZU_TEST_MAIN(TestPolkitAuthorization)
#include "test_polkit_authorization.moc"
