#include "common/TestMain.h"

#include "auth/AuthorizationController.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Records every call and answers with scripted statuses; handles are the
// addresses of slots in a table so releases can be counted per handle. Each
// call is checked on the way in: creates ask for nothing, checks ask for an
// empty right set with interaction and extension rights and want no output.
class FakeServices final : public AuthorizationServices {
public:
    OSStatus createStatus = AuthorizationStatus::success;
    bool createGivesNull = false;
    std::vector<OSStatus> copyStatuses; // one per copyRights call, in order
    std::vector<bool> creates, copies;  // whether each call had the fixed arguments
    std::vector<AuthorizationRef> freed, made;
    AuthorizationRef lastCopied = nullptr;
    int cancels = 0;

    OSStatus create(const AuthorizationRights *rights, const void *environment,
                    AuthorizationFlags flags, AuthorizationRef *out) override
    {
        creates.push_back(!rights && !environment && flags == 0 && out);
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
        copies.push_back(rights && rights->count == 0 && !rights->items && !environment && flags == 3 && !granted);
        const std::size_t i = copies.size() - 1;
        return i < copyStatuses.size() ? copyStatuses[i] : AuthorizationStatus::success;
    }

    void free(AuthorizationRef ref) override { freed.push_back(ref); }
    void cancel() override { ++cancels; }

private:
    char m_slots[16] = {};
};

} // namespace

class TestAuthorizationController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each press is a new request: a new handle, then the check with the
    // fixed flags; only a full success is kept, every other handle released.
    void requests_data()
    {
        QTest::addColumn<int>("createStatus");
        QTest::addColumn<bool>("nullHandle");
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QList<bool>>("results");
        QTest::addColumn<int>("keptIndex"); // handle held at the end, -1 none

        const int no = AuthorizationStatus::denied;
        QTest::newRow("both succeed") << 0 << false << QList<int>{0} << QList<bool>{true} << 0;
        QTest::newRow("create fails") << int(AuthorizationStatus::internal) << false << QList<int>{0}
                                      << QList<bool>{false} << -1;
        QTest::newRow("create fails with a positive status") << 1 << false << QList<int>{0} << QList<bool>{false} << -1;
        QTest::newRow("create gives a null handle") << 0 << true << QList<int>{0} << QList<bool>{false} << -1;
        QTest::newRow("refused") << 0 << false << QList<int>{no} << QList<bool>{false} << -1;
        QTest::newRow("odd positive status") << 0 << false << QList<int>{7} << QList<bool>{false} << -1;
        QTest::newRow("success then failure keeps the first") << 0 << false << QList<int>{0, no}
                                                               << QList<bool>{true, false} << 0;
        QTest::newRow("success replaces success") << 0 << false << QList<int>{0, 0} << QList<bool>{true, true} << 1;
        QTest::newRow("mixed") << 0 << false << QList<int>{0, no, 0, no} << QList<bool>{true, false, true, false} << 2;
    }
    void requests()
    {
        QFETCH(int, createStatus);
        QFETCH(bool, nullHandle);
        QFETCH(QList<int>, statuses);
        QFETCH(QList<bool>, results);
        QFETCH(int, keptIndex);

        auto services = std::make_shared<FakeServices>();
        services->createStatus = createStatus;
        services->createGivesNull = nullHandle;
        services->copyStatuses.assign(statuses.cbegin(), statuses.cend());
        {
            AuthorizationController controller(services);
            QCOMPARE(services->creates.size(), 0u); // making the controller asks nobody
            for (qsizetype i = 0; i < results.size(); ++i)
                QCOMPARE(controller.requestAuthorization(), results.at(i));
            QVERIFY(!controller.isRequesting());
            controller.cancel(); // nothing pending: the service is not bothered
            QCOMPARE(services->cancels, 0);
            QVERIFY(std::ranges::all_of(services->creates, std::identity()));
            const bool checked = createStatus == 0 && !nullHandle;
            QCOMPARE(services->copies.size(), checked ? std::size_t(results.size()) : 0u);
            QVERIFY(std::ranges::all_of(services->copies, std::identity()));
            if (checked)
                QCOMPARE(services->lastCopied, services->made.back());
            QCOMPARE(controller.authorizationRef(),
                     keptIndex < 0 ? nullptr : services->made.at(std::size_t(keptIndex)));
            // Every handle except the kept one is already released, each exactly once.
            QCOMPARE(services->freed.size(), services->made.size() - (keptIndex < 0 ? 0 : 1));
            for (AuthorizationRef ref : services->freed)
                QCOMPARE(std::count(services->freed.cbegin(), services->freed.cend(), ref), 1);
        }
        QCOMPARE(services->freed.size(), services->made.size());
    }
};

YUMEKAZU_TEST_MAIN(TestAuthorizationController)
#include "test_authorization_controller.moc"
