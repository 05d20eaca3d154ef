#include "common/TestMain.h"

#include "auth/AuthorizationController.h"

#include <memory>
#include <vector>

namespace {

struct Call {
    bool rightsNull = true;
    std::uint32_t count = 0;
    bool itemsNull = true;
    bool environmentNull = true;
    AuthorizationFlags flags = 0;
    bool outputNull = true;
};

// Records every call and answers with scripted statuses; handles are the
// addresses of slots in a table so releases can be counted per handle.
class FakeServices final : public AuthorizationServices {
public:
    OSStatus createStatus = AuthorizationStatus::success;
    bool createGivesNull = false;
    std::vector<OSStatus> copyStatuses; // one per copyRights call, in order
    std::vector<Call> creates;
    std::vector<Call> copies;
    std::vector<AuthorizationRef> freed;
    std::vector<AuthorizationRef> made;

    OSStatus create(const AuthorizationRights *rights, const void *environment,
                    AuthorizationFlags flags, AuthorizationRef *out) override
    {
        creates.push_back({rights == nullptr, rights ? rights->count : 0,
                           rights ? rights->items == nullptr : true, environment == nullptr, flags,
                           out == nullptr});
        if (!createGivesNull) {
            *out = reinterpret_cast<AuthorizationRef>(&m_slots[made.size()]);
            made.push_back(*out);
        }
        return createStatus;
    }

    OSStatus copyRights(AuthorizationRef ref, const AuthorizationRights *rights, const void *environment,
                        AuthorizationFlags flags, AuthorizationRights **granted) override
    {
        lastCopied = ref;
        copies.push_back({rights == nullptr, rights ? rights->count : 0,
                          rights ? rights->items == nullptr : true, environment == nullptr, flags,
                          granted == nullptr});
        const std::size_t i = copies.size() - 1;
        return i < copyStatuses.size() ? copyStatuses[i] : AuthorizationStatus::success;
    }

    void free(AuthorizationRef ref) override { freed.push_back(ref); }
    void cancel() override { ++cancels; }

    AuthorizationRef lastCopied = nullptr;
    int cancels = 0;

private:
    char m_slots[16] = {};
};

} // namespace

class TestAuthorizationController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstRequest_data()
    {
        QTest::addColumn<int>("createStatus");
        QTest::addColumn<bool>("nullHandle");
        QTest::addColumn<int>("copyStatus");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<int>("expectedCopies");

        QTest::newRow("both succeed") << 0 << false << 0 << true << 1;
        QTest::newRow("create fails") << int(AuthorizationStatus::internal) << false << 0 << false << 0;
        QTest::newRow("create fails with a positive status") << 1 << false << 0 << false << 0;
        QTest::newRow("create succeeds with a null handle") << 0 << true << 0 << false << 0;
        QTest::newRow("refused") << 0 << false << int(AuthorizationStatus::denied) << false << 1;
        QTest::newRow("cancelled prompt") << 0 << false << int(AuthorizationStatus::canceled) << false << 1;
        QTest::newRow("no agent") << 0 << false << int(AuthorizationStatus::interactionNotAllowed) << false << 1;
        QTest::newRow("odd positive status") << 0 << false << 7 << false << 1;
    }

    void firstRequest()
    {
        QFETCH(int, createStatus);
        QFETCH(bool, nullHandle);
        QFETCH(int, copyStatus);
        QFETCH(bool, expected);
        QFETCH(int, expectedCopies);

        auto services = std::make_shared<FakeServices>();
        services->createStatus = createStatus;
        services->createGivesNull = nullHandle;
        services->copyStatuses = {copyStatus};
        {
            AuthorizationController controller(services);
            QCOMPARE(services->creates.size(), 0u); // making the controller asks nobody
            QCOMPARE(controller.requestAuthorization(), expected);
            QVERIFY(!controller.isRequesting());

            QCOMPARE(services->creates.size(), 1u);
            const Call &c = services->creates.front();
            QVERIFY(c.rightsNull);
            QVERIFY(c.environmentNull);
            QCOMPARE(c.flags, 0u);
            QVERIFY(!c.outputNull);

            QCOMPARE(int(services->copies.size()), expectedCopies);
            if (expectedCopies) {
                const Call &k = services->copies.front();
                QVERIFY(!k.rightsNull);
                QCOMPARE(k.count, 0u);
                QVERIFY(k.itemsNull);
                QVERIFY(k.environmentNull);
                QCOMPARE(k.flags, 3u);
                QVERIFY(k.outputNull);
                QCOMPARE(services->lastCopied, services->made.front());
            }
            QCOMPARE(controller.authorizationRef() != nullptr, expected);
            // A failed handle is released at once; a kept one only with the controller.
            const std::size_t releasedNow = (!expected && !nullHandle) ? 1 : 0;
            QCOMPARE(services->freed.size(), releasedNow);
        }
        QCOMPARE(services->freed.size(), services->made.size());
    }

    void laterRequests_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QList<bool>>("results");
        QTest::addColumn<int>("keptIndex"); // handle held at the end, -1 none

        const int no = AuthorizationStatus::denied;
        QTest::newRow("success then failure keeps the first") << QList<int>{0, no} << QList<bool>{true, false} << 0;
        QTest::newRow("success replaces success") << QList<int>{0, 0} << QList<bool>{true, true} << 1;
        QTest::newRow("failure then success") << QList<int>{no, 0} << QList<bool>{false, true} << 1;
        QTest::newRow("failures hold nothing") << QList<int>{no, no, no} << QList<bool>{false, false, false} << -1;
        QTest::newRow("mixed") << QList<int>{0, no, 0, no} << QList<bool>{true, false, true, false} << 2;
    }

    void laterRequests()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(QList<bool>, results);
        QFETCH(int, keptIndex);

        auto services = std::make_shared<FakeServices>();
        services->copyStatuses.assign(statuses.cbegin(), statuses.cend());
        {
            AuthorizationController controller(services);
            for (qsizetype i = 0; i < statuses.size(); ++i)
                QCOMPARE(controller.requestAuthorization(), results.at(i));
            QCOMPARE(services->made.size(), std::size_t(statuses.size()));
            if (keptIndex < 0)
                QCOMPARE(controller.authorizationRef(), nullptr);
            else
                QCOMPARE(controller.authorizationRef(), services->made.at(std::size_t(keptIndex)));
            // Every handle except the kept one is already released, each exactly once.
            QCOMPARE(services->freed.size(), services->made.size() - (keptIndex < 0 ? 0 : 1));
            for (AuthorizationRef ref : services->freed)
                QCOMPARE(std::count(services->freed.cbegin(), services->freed.cend(), ref), 1);
        }
        QCOMPARE(services->freed.size(), services->made.size());
    }

    void cancelOnlyWhilePending()
    {
        auto services = std::make_shared<FakeServices>();
        AuthorizationController controller(services);
        controller.cancel(); // nothing pending: the service is not bothered
        QCOMPARE(services->cancels, 0);
    }
};

YUMEKAZU_TEST_MAIN(TestAuthorizationController)
#include "test_authorization_controller.moc"
