#include "common/TestMain.h"
#include "mocks/MockBus.h"

#include "auth/AuthorizationController.h"
#include "platform/authorization/PolkitAuthorizationServices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QXmlStreamReader>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString polkitName = u"org.freedesktop.PolicyKit1"_s;
const QString authority = u"/org/freedesktop/PolicyKit1/Authority"_s;
const QString mockInterface = u"org.freedesktop.DBus.Mock"_s;

// The full request the controller makes: handle first, then the check.
OSStatus ask(PolkitAuthorizationServices &services)
{
    AuthorizationRef ref = nullptr;
    if (const OSStatus s = services.create(nullptr, nullptr, 0, &ref); s != AuthorizationStatus::success)
        return s;
    AuthorizationRights rights{0, nullptr};
    const OSStatus status = services.copyRights(ref, &rights, nullptr, 3, nullptr);
    services.free(ref);
    return status;
}

// Named connections outlive a MockBus; each test row needs one of its own.
QString uniqueName(const QString &base)
{
    static int serial = 0;
    return base + QString::number(++serial);
}

} // namespace

class TestPolkitAuthorization : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QStringList>("allowed");
        QTest::addColumn<bool>("allowUnknown");
        QTest::addColumn<bool>("expected");

        QTest::newRow("our action allowed") << QStringList{PolkitAuthorizationServices::actionId} << false << true;
        QTest::newRow("our action among others")
            << QStringList{u"org.example.other"_s, PolkitAuthorizationServices::actionId} << false << true;
        QTest::newRow("refused by default") << QStringList{} << false << false;
        QTest::newRow("only another action allowed") << QStringList{u"org.example.other"_s} << false << false;
        QTest::newRow("a prefix of ours is not ours") << QStringList{u"org.yumekazu"_s} << false << false;
    }

    void answers()
    {
        QFETCH(QStringList, allowed);
        QFETCH(bool, allowUnknown);
        QFETCH(bool, expected);

        MockBus bus;
        QVERIFY(bus.isRunning());
        QVERIFY(bus.startTemplate(u"polkitd"_s, polkitName));
        bus.call(polkitName, authority, mockInterface, u"SetAllowed"_s, {allowed});
        bus.call(polkitName, authority, mockInterface, u"AllowUnknown"_s, {allowUnknown});

        AuthorizationController controller(
            std::make_shared<PolkitAuthorizationServices>(bus.connect(uniqueName(u"answers"_s))));
        QCOMPARE(controller.requestAuthorization(), expected);
        QCOMPARE(controller.authorizationRef() != nullptr, expected);
        // Asking again gives the same answer; nothing sticks from the first request.
        QCOMPARE(controller.requestAuthorization(), expected);
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
        MockBus bus;
        QVERIFY(bus.isRunning());
        QDBusConnection connection = withBus ? bus.connect(uniqueName(u"missing"_s)) : QDBusConnection(u"nowhere"_s);
        PolkitAuthorizationServices services(connection);
        QVERIFY(ask(services) != AuthorizationStatus::success);
    }

    void polkitGoesAway()
    {
        MockBus bus;
        QVERIFY(bus.startTemplate(u"polkitd"_s, polkitName));
        bus.call(polkitName, authority, mockInterface, u"AllowUnknown"_s, {true});
        PolkitAuthorizationServices services(bus.connect(uniqueName(u"away"_s)));
        QCOMPARE(ask(services), AuthorizationStatus::success);
        bus.stopTemplate(polkitName);
        QVERIFY(ask(services) != AuthorizationStatus::success);
    }

    // A user may take a long time to type the password; only our own limit ends the wait.
    void slowAnswer_data()
    {
        QTest::addColumn<double>("delaySeconds");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("expected");
        QTest::newRow("answer within the limit") << 2.0 << 5000 << true;
        QTest::newRow("answer after the limit") << 3.0 << 1000 << false;
    }

    void slowAnswer()
    {
        QFETCH(double, delaySeconds);
        QFETCH(int, timeoutMs);
        QFETCH(bool, expected);

        MockBus bus;
        QVERIFY(bus.startTemplate(u"polkitd"_s, polkitName));
        bus.call(polkitName, authority, mockInterface, u"SetAllowed"_s,
                 {QStringList{PolkitAuthorizationServices::actionId}});
        bus.call(polkitName, authority, mockInterface, u"SetDelay"_s, {delaySeconds});

        PolkitAuthorizationServices services(bus.connect(uniqueName(u"slow"_s)), std::chrono::milliseconds(timeoutMs));
        QCOMPARE(ask(services) == AuthorizationStatus::success, expected);
    }

    void defaultLimitOutlastsTheBusDefault()
    {
        // Only checks the configured value: waiting 25 s for real is not worth it.
        MockBus bus;
        QVERIFY(bus.startTemplate(u"polkitd"_s, polkitName));
        bus.call(polkitName, authority, mockInterface, u"SetAllowed"_s,
                 {QStringList{PolkitAuthorizationServices::actionId}});
        PolkitAuthorizationServices services(bus.connect(uniqueName(u"default"_s)));
        QCOMPARE(ask(services), AuthorizationStatus::success);
    }

    // While polkit is asking, timers and painting go on, a second request is
    // refused without a second call, and closing the window ends the wait.
    void pendingRequest_data()
    {
        QTest::addColumn<bool>("throughController");
        QTest::newRow("services") << false;
        QTest::newRow("controller") << true;
    }

    void pendingRequest()
    {
        QFETCH(bool, throughController);

        MockBus bus;
        QVERIFY(bus.startTemplate(u"polkitd"_s, polkitName));
        bus.call(polkitName, authority, mockInterface, u"SetAllowed"_s,
                 {QStringList{PolkitAuthorizationServices::actionId}});
        bus.call(polkitName, authority, mockInterface, u"SimulateHang"_s, {true});

        auto services = std::make_shared<PolkitAuthorizationServices>(bus.connect(uniqueName(u"pending"_s)));
        AuthorizationController controller(services);

        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &ticker, [&ticks] { ++ticks; });
        ticker.start(50);

        bool secondResult = true;
        OSStatus secondStatus = AuthorizationStatus::success;
        bool sawRequesting = false;
        QTimer::singleShot(300, &ticker, [&] {
            sawRequesting = controller.isRequesting() || !throughController;
            if (throughController)
                secondResult = controller.requestAuthorization();
            else
                secondStatus = ask(*services);
        });
        QTimer::singleShot(600, &ticker, [&] {
            if (throughController)
                controller.cancel();
            else
                services->cancel();
        });

        QElapsedTimer clock;
        clock.start();
        const bool result = throughController ? controller.requestAuthorization()
                                              : ask(*services) == AuthorizationStatus::success;
        QVERIFY(!result);
        QVERIFY(clock.elapsed() < 20000); // ended by cancel, not by the long limit
        QVERIFY(ticks >= 3);
        QVERIFY(sawRequesting);
        QVERIFY(!controller.isRequesting());
        if (throughController)
            QVERIFY(!secondResult);
        else
            QCOMPARE(secondStatus, AuthorizationStatus::busy);
        // The refused second request made no call of its own: one hangs at polkit.
        const QVariantList hanging = bus.call(polkitName, authority, mockInterface, u"HaveHangingCalls"_s);
        QCOMPARE(hanging.value(0).toBool(), true);

        // After a cancel the next request works normally.
        bus.call(polkitName, authority, mockInterface, u"SimulateHang"_s, {false});
        QVERIFY(controller.requestAuthorization());
    }

    void policyFile()
    {
        QFile file(qEnvironmentVariable("YUMEKAZU_SOURCE_DIR") + u"/data/polkit/"_s
                   + PolkitAuthorizationServices::actionId + u".policy"_s);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QXmlStreamReader xml(&file);
        QStringList actions;
        QString allowActive, allowAny, allowInactive;
        bool japaneseMessage = false, defaultMessage = false, japaneseDescription = false;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto name = xml.name();
            const QString lang = xml.attributes().value(u"xml:lang"_s).toString();
            if (name == u"action")
                actions << xml.attributes().value(u"id"_s).toString();
            else if (name == u"allow_active")
                allowActive = xml.readElementText();
            else if (name == u"allow_any")
                allowAny = xml.readElementText();
            else if (name == u"allow_inactive")
                allowInactive = xml.readElementText();
            else if (name == u"message") {
                const bool filled = !xml.readElementText().trimmed().isEmpty();
                if (lang == u"ja")
                    japaneseMessage = filled;
                else if (lang.isEmpty())
                    defaultMessage = filled;
            } else if (name == u"description") {
                if (lang == u"ja")
                    japaneseDescription = !xml.readElementText().trimmed().isEmpty();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(actions, QStringList{PolkitAuthorizationServices::actionId});
        QCOMPARE(allowActive, u"auth_admin_keep"_s);
        QVERIFY(allowAny == u"auth_admin" || allowAny == u"no");
        QVERIFY(allowInactive == u"auth_admin" || allowInactive == u"no");
        QVERIFY(japaneseMessage);
        QVERIFY(defaultMessage);
        QVERIFY(japaneseDescription);
    }
};

YUMEKAZU_TEST_MAIN(TestPolkitAuthorization)
#include "test_polkit_authorization.moc"
