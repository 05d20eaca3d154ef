#include "common/TestMain.h"
#include "platform/core/PreferenceStore.h"

class TestPreferenceStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placeholder() { QVERIFY(true); }
};

YUMEKAZU_TEST_MAIN(TestPreferenceStore)
#include "test_preference_store.moc"
