#include "common/TestMain.h"
#include "mocks/MockBus.h"
#include "platform/localauth/FingerprintPrompt.h"
#include "platform/localauth/FprintdContext.h"
#include "platform/localauth/FprintdContextFactory.h"

#include <QPushButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString fprintName = u"net.reactivated.Fprint"_s;
const QString devicePath = u"/net/reactivated/Fprint/Device/0"_s;
const QString mockInterface = u"org.freedesktop.DBus.Mock"_s;
constexpr int policy = LAContext::policyDeviceOwnerAuthenticationWithBiometricsOrWatch;

struct Outcome {
    bool replied = false;
    bool success = false;
    std::optional<PlatformError> error;
    int replies = 0;
};

} // namespace

class TestFprintdContext : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MockBus> m_bus;
    int m_connections = 0;

    bool startReader(const QVariantMap &parameters = {})
    {
        m_bus = std::make_unique<MockBus>();
        return m_bus->isRunning()
            && m_bus->startTemplate(MockBus::ourTemplate(u"fprintd.py"_s), fprintName, parameters);
    }
    std::unique_ptr<FprintdContext> makeContext(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return std::make_unique<FprintdContext>(m_bus->connect(u"client%1"_s.arg(++m_connections)), timeout,
                                                nullptr);
    }
    // {claimed now, claims so far, releases so far}
    QVariantList claimState() { return m_bus->call(fprintName, devicePath, mockInterface, u"GetClaimState"_s); }
    bool released()
    {
        return QTest::qWaitFor([this] {
            const QVariantList state = claimState();
            return state.size() == 3 && !state[0].toBool() && state[1] == state[2];
        });
    }
    static void evaluate(FprintdContext &context, Outcome &outcome)
    {
        context.evaluatePolicy(policy, u"Touch IDで本人確認を行います"_s,
                               [&outcome](bool success, std::optional<PlatformError> error) {
            outcome.replied = true;
            outcome.success = success;
            outcome.error = std::move(error);
            ++outcome.replies;
        });
        // Never answered from inside the call.
        QVERIFY(!outcome.replied);
    }

private Q_SLOTS:
    void cleanup() { m_bus.reset(); }

    void availability_data()
    {
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<bool>("serviceRuns");
        QTest::addColumn<QString>("description");
        QTest::newRow("ready") << QVariantMap{} << true << QString();
        QTest::newRow("no service") << QVariantMap{} << false << u"指紋認証サービスが見つかりません"_s;
        QTest::newRow("no reader") << QVariantMap{{u"device"_s, false}} << true << u"指紋リーダーが見つかりません"_s;
        QTest::newRow("no prints") << QVariantMap{{u"enrolled"_s, QStringList()}} << true
                                   << u"登録された指紋がありません"_s;
    }
    void availability()
    {
        QFETCH(QVariantMap, parameters);
        QFETCH(bool, serviceRuns);
        QFETCH(QString, description);
        if (serviceRuns) {
            QVERIFY(startReader(parameters));
        } else {
            m_bus = std::make_unique<MockBus>();
            QVERIFY(m_bus->isRunning());
        }
        const auto context = makeContext();
        std::optional<PlatformError> error;
        const bool available = context->canEvaluatePolicy(policy, &error);
        QCOMPARE(available, description.isEmpty());
        if (available) {
            QVERIFY(!error);
            QCOMPARE(context->biometryType(), LAContext::biometryTypeTouchID);
        } else {
            QVERIFY(error);
            QCOMPARE(error->localizedDescription, description);
            QCOMPARE(context->biometryType(), 0);
        }
        std::optional<PlatformError> otherPolicy;
        QVERIFY(!context->canEvaluatePolicy(1, &otherPolicy));
        QVERIFY(otherPolicy);
    }

    void verification_data()
    {
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("description");
        QTest::newRow("match") << QStringList{u"verify-match"_s} << true << QString();
        QTest::newRow("no match") << QStringList{u"verify-no-match"_s} << false << u"指紋が一致しませんでした"_s;
        QTest::newRow("retry, then match") << QStringList{u"verify-retry-scan"_s, u"verify-finger-not-centered"_s,
                                                          u"verify-match"_s}
                                           << true << QString();
        QTest::newRow("disconnected") << QStringList{u"verify-disconnected"_s} << false
                                      << u"指紋リーダーが切断されました"_s;
        QTest::newRow("reader error") << QStringList{u"verify-unknown-error"_s} << false
                                      << u"指紋リーダーでエラーが発生しました"_s;
    }
    void verification()
    {
        QFETCH(QStringList, results);
        QFETCH(bool, success);
        QFETCH(QString, description);
        QVERIFY(startReader({{u"verify_results"_s, results}, {u"delay"_s, 0.2}}));
        const auto context = makeContext();
        QVERIFY(context->canEvaluatePolicy(policy, nullptr));
        Outcome outcome;
        evaluate(*context, outcome);
        QVERIFY(context->prompt());
        QVERIFY(context->prompt()->isVisible());
        QStringList hints;
        QVERIFY(QTest::qWaitFor([&] {
            if (context->prompt() && !hints.contains(context->prompt()->hint()))
                hints << context->prompt()->hint();
            return outcome.replied;
        }, 10000));
        QCOMPARE(outcome.success, success);
        QCOMPARE(outcome.error.has_value(), !success);
        if (!success)
            QCOMPARE(outcome.error->localizedDescription, description);
        if (results.size() > 1)
            QVERIFY(hints.size() > 1); // the prompt followed the retry results
        QTRY_VERIFY(!context->prompt() || !context->prompt()->isVisible());
        QVERIFY(released());
        QTest::qWait(300);
        QCOMPARE(outcome.replies, 1);
    }

    void endsWithoutResult_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("description");
        QTest::newRow("timeout") << u"timeout"_s << u"時間内に指紋を確認できませんでした"_s;
        QTest::newRow("cancel") << u"cancel"_s << u"認証がキャンセルされました"_s;
        QTest::newRow("service stops") << u"vanish"_s << u"指紋認証サービスが停止しました"_s;
    }
    void endsWithoutResult()
    {
        QFETCH(QString, how);
        QFETCH(QString, description);
        QVERIFY(startReader({{u"hang"_s, true}}));
        const auto context = makeContext(how == u"timeout"_s ? std::chrono::milliseconds(700)
                                                             : std::chrono::milliseconds(20000));
        QVERIFY(context->canEvaluatePolicy(policy, nullptr));
        Outcome outcome;
        evaluate(*context, outcome);
        QVERIFY(QTest::qWaitFor([this] { return claimState().value(0).toBool(); }));
        if (how == u"cancel"_s) {
            auto *cancel = context->prompt()->findChild<QPushButton *>(u"fingerprintCancel"_s);
            QVERIFY(cancel);
            cancel->click();
        } else if (how == u"vanish"_s) {
            m_bus->stopTemplate(fprintName);
        }
        QTRY_VERIFY_WITH_TIMEOUT(outcome.replied, 10000);
        QVERIFY(!outcome.success);
        QCOMPARE(outcome.error->localizedDescription, description);
        if (how != u"vanish"_s)
            QVERIFY(released());
    }

    void destroyedMidScan()
    {
        QVERIFY(startReader({{u"hang"_s, true}}));
        auto context = makeContext();
        QVERIFY(context->canEvaluatePolicy(policy, nullptr));
        Outcome outcome;
        evaluate(*context, outcome);
        QVERIFY(QTest::qWaitFor([this] { return claimState().value(0).toBool(); }));
        context.reset();
        QVERIFY(released());
        QTest::qWait(200);
        QVERIFY(!outcome.replied);
    }

    void overlappingChecks()
    {
        QVERIFY(startReader({{u"verify_results"_s, QStringList{u"verify-match"_s}}, {u"delay"_s, 1.0}}));
        const auto first = makeContext();
        const auto second = makeContext();
        QVERIFY(first->canEvaluatePolicy(policy, nullptr));
        QVERIFY(second->canEvaluatePolicy(policy, nullptr));
        Outcome a;
        Outcome b;
        evaluate(*first, a);
        QVERIFY(QTest::qWaitFor([this] { return claimState().value(0).toBool(); }));
        evaluate(*second, b);
        // The reader serves one check at a time: the second is told it is busy.
        QTRY_VERIFY_WITH_TIMEOUT(b.replied, 5000);
        QVERIFY(!b.success);
        QCOMPARE(b.error->localizedDescription, u"指紋リーダーは別の操作で使用中です"_s);
        QTRY_VERIFY_WITH_TIMEOUT(a.replied, 5000);
        QVERIFY(a.success);
        QVERIFY(released());
    }
};

YUMEKAZU_TEST_MAIN(TestFprintdContext)
#include "test_fprintd_context.moc"
