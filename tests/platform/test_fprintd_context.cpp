#include "common/TestMain.h"
#include "mocks/MockBus.h"
#include "platform/localauth/FprintdContext.h"

#include <QDBusObjectPath>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// Parameters of tests/mocks/fprintd.py, what is done during the scan, what the
// user is told (empty: success), and the calls that claim, in order.
struct CheckCase { QVariantMap parameters; QString act, description; QStringList calls; };

class TestFprintdContext : public QObject {
    Q_OBJECT

    const QString m_devicePath = u"/net/reactivated/Fprint/Device/0"_s;
    std::unique_ptr<MockBus> m_bus;
    QString m_reader; // the mock's unique name: it outlives the well-known one
    int m_connections = 0;

    QDBusConnection connection() { return m_bus->connect(u"client%1"_s.arg(++m_connections)); }
    QVariantList mock(const QString &method, const QVariantList &args = {}) { return m_bus->mock(m_reader, m_devicePath, method, args); }

private Q_SLOTS:
    void cleanup() { m_bus.reset(); }

    // Every way a check can end: what the user is told, and that the reader
    // was given back in order (VerifyStop, then Release) to the daemon that
    // lent it, and to no other. Only the daemon's own word on our reader,
    // after it started our scan, counts.
    void check_data()
    {
        QTest::addColumn<CheckCase>("row");
        const QString cancelled = u"認証がキャンセルされました"_s;
        const QString unplugged = u"指紋リーダーが切断されました"_s;
        const QVariantMap hang{{u"hang"_s, true}};
        const auto results = [](const QStringList &list) { return QVariantMap{{u"verify_results"_s, list}}; };
        const QStringList full{u"Claim"_s, u"VerifyStart"_s, u"VerifyStop"_s, u"Release"_s};
        QTest::newRow("no service") << CheckCase{{{u"none"_s, true}}, {}, u"指紋認証サービスが見つかりません"_s, {}};
        QTest::newRow("no reader") << CheckCase{{{u"device"_s, false}}, {}, u"指紋リーダーが見つかりません"_s, {}};
        QTest::newRow("no prints") << CheckCase{{{u"enrolled"_s, QStringList()}}, {}, u"登録された指紋がありません"_s, {}};
        QTest::newRow("not permitted") << CheckCase{{{u"permitted"_s, false}}, {}, u"指紋リーダーを使う権限がありません"_s, {}};
        // A daemon still starting must neither freeze the window nor count as absent.
        QTest::newRow("slow start, match") << CheckCase{{{u"slow_lookup"_s, 3.0}}, {}, {}, full};
        QTest::newRow("no match") << CheckCase{results({u"verify-no-match"_s}), {}, u"指紋が一致しませんでした"_s, full};
        QTest::newRow("retry, then match") << CheckCase{results({u"verify-retry-scan"_s, u"verify-match"_s}), u"hint"_s, {}, full};
        QTest::newRow("reader error") << CheckCase{results({u"verify-unknown-error"_s}), {}, u"指紋リーダーでエラーが発生しました"_s, full};
        QTest::newRow("disconnected") << CheckCase{results({u"verify-disconnected"_s}), {}, unplugged, full};
        QTest::newRow("unplugged") << CheckCase{hang, u"Unplug"_s, unplugged, full};
        QTest::newRow("no finger in time") << CheckCase{hang, u"timeout"_s, u"時間内に指紋を確認できませんでした"_s, full};
        QTest::newRow("cancelled") << CheckCase{hang, u"cancel"_s, cancelled, full};
        QTest::newRow("match from another sender") << CheckCase{hang, u"forge"_s, cancelled, full};
        QTest::newRow("match on another reader") << CheckCase{hang, u"Emit"_s, cancelled, full};
        QTest::newRow("match before VerifyStart answered") << CheckCase{{{u"early"_s, true}}, u"cancel"_s, cancelled, full};
        QTest::newRow("reader busy") << CheckCase{{{u"holder"_s, u":1.99"_s}}, {}, u"指紋リーダーは別の操作で使用中です"_s, QStringList{u"Claim"_s}};
        QTest::newRow("claim granted after our limit") << CheckCase{{{u"slow_claim"_s, 1.5}}, u"timeout"_s, u"指紋認証サービスが応答しません"_s, QStringList{u"Claim"_s, u"Release"_s}};
        QTest::newRow("daemon gone") << CheckCase{hang, u"Vanish"_s, u"指紋認証サービスが停止しました"_s, QStringList{u"Claim"_s, u"VerifyStart"_s}};
        QTest::newRow("window gone mid-scan") << CheckCase{hang, u"destroy"_s, {}, full};
    }
    void check()
    {
        QFETCH(const CheckCase, row);
        const auto &[parameters, act, description, calls] = row;
        const QString fprintName = u"net.reactivated.Fprint"_s;
        m_bus = std::make_unique<MockBus>();
        QVERIFY(parameters.contains(u"none"_s) || m_bus->start(u"fprintd.py"_s, fprintName, parameters));
        QDBusConnection other = connection();
        m_reader = other.interface()->serviceOwner(fprintName);
        auto context = std::make_unique<FprintdContext>(connection(), act == u"timeout"_s ? 700ms : 10000ms, nullptr, FingerprintPrompt::Texts());
        std::optional<PlatformError> error;
        QVERIFY(!context->canEvaluatePolicy(1, &error) && error);
        const QDeadlineTimer budget(2000);
        const bool available = context->canEvaluatePolicy(LAContext::policyDeviceOwnerAuthenticationWithBiometricsOrWatch, &error);
        QVERIFY(!budget.hasExpired());
        QCOMPARE(context->biometryType(), available ? LAContext::biometryTypeTouchID : 0);
        if (!available) {
            QCOMPARE(error ? error->localizedDescription : QString(), description);
            return;
        }
        int replies = 0;
        bool success = false;
        QStringList hints;
        context->evaluatePolicy(LAContext::policyDeviceOwnerAuthenticationWithBiometricsOrWatch, u"?"_s,
                                [&](bool ok, std::optional<PlatformError> e) { ++replies, success = ok, error = e; });
        QCOMPARE(replies, 0); // never from inside the call
        QVERIFY(context->prompt() && context->prompt()->isVisible());
        if (QStringList{u"cancel"_s, u"forge"_s, u"Emit"_s, u"Unplug"_s, u"Vanish"_s, u"destroy"_s}.contains(act)) {
            QVERIFY(QTest::qWaitFor([&] { return mock(u"GetClaims"_s).value(1).toStringList().contains(u"VerifyStart"_s); }));
            QTest::qWait(300);
            if (act == u"forge"_s)
                other.send(QDBusMessage::createSignal(m_devicePath, fprintName + u".Device"_s, u"VerifyStatus"_s) << u"verify-match"_s << true);
            else if (act == u"Emit"_s)
                mock(act, {QVariant::fromValue(QDBusObjectPath(u"/net/reactivated/Fprint/Device/1"_s)), u"verify-match"_s});
            QTest::qWait(act == u"forge"_s || act == u"Emit"_s ? 500 : 0);
            QVERIFY(context->prompt()); // nothing ended the check yet
        }
        if (act == u"cancel"_s || act == u"forge"_s || act == u"Emit"_s)
            context->prompt()->findChild<QPushButton *>(u"fingerprintCancel"_s)->click();
        else if (act == u"destroy"_s)
            context.reset();
        else if (act == u"Unplug"_s || act == u"Vanish"_s)
            mock(act);
        QVERIFY(QTest::qWaitFor([&] {
            if (context && context->prompt() && !hints.contains(context->prompt()->hint()))
                hints << context->prompt()->hint();
            return replies > 0 || !context;
        }, 10000));
        QCOMPARE(success, description.isEmpty() && context);
        QCOMPARE(error ? error->localizedDescription : QString(), description);
        QCOMPARE(hints.size() > 1, act == u"hint"_s); // the prompt followed the retry
        QTRY_VERIFY(!context || !context->prompt() || !context->prompt()->isVisible());
        QTest::qWait(act == u"timeout"_s ? 1500 : 300);
        QCOMPARE(mock(u"GetClaims"_s), (QVariantList{parameters.contains(u"holder"_s) || act == u"Vanish"_s, calls}));
        QCOMPARE(replies, context ? 1 : 0);
    }
};

YUMEKAZU_TEST_MAIN(TestFprintdContext)
#include "test_fprintd_context.moc"
