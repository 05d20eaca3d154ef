#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "platform/core/PreferenceStore.h"
#include "platform/localauth/FingerprintPrompt.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// Both gates and the work area from the keyboard alone.
class TestKeyboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void escapeCancelsFingerprintPrompt()
    {
        FingerprintPrompt prompt(u"Touch IDで本人確認を行います"_s, nullptr);
        QSignalSpy cancelled(&prompt, &FingerprintPrompt::cancelled);
        prompt.show();
        QVERIFY(QTest::qWaitForWindowActive(&prompt));
        QTest::keyClick(&prompt, Qt::Key_Escape);
        QCOMPARE(cancelled.count(), 1);
    }

    void gatesAndFocusOrder()
    {
        QTemporaryDir dir;
        PreferenceStore store(dir.filePath(u"preferences.ini"_s));
        FakeFactory fingerprint;
        fingerprint.setup.match = false;
        MainViewServices services;
        services.store = &store;
        services.localAuthentication = &fingerprint;
        services.makeAuthorization = [] { return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(true)); };
        AuthorizationLockView view(services);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        const auto focusName = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };
        const auto key = [](Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); };
        QCOMPARE(focusName(), u"lockButton"_s);
        key(Qt::Key_Space);
        QCOMPARE(focusName(), u"touchIdButton"_s);
        // A failed check: the alert takes the focus, and Return or Escape gives it back.
        for (const Qt::Key dismiss : {Qt::Key_Return, Qt::Key_Escape}) {
            key(Qt::Key_Return);
            QTRY_VERIFY(view.showAlert() && qobject_cast<QMessageBox *>(QApplication::activeWindow()));
            key(dismiss);
            QTRY_COMPARE(focusName(), u"touchIdButton"_s);
            QVERIFY(!view.showAlert());
        }
        fingerprint.setup = {};
        key(Qt::Key_Return);
        QTRY_VERIFY(view.unlockContent() && view.findChild<QWidget *>(u"workArea"_s)->isVisible());

        // Tab leaves the editor and walks the work area top to bottom, then the row.
        const QStringList order = {u"calendar"_s, u"time"_s, u"sampleTable"_s, u"noteEditor"_s,
                                   u"saveButton"_s, u"threadButton"_s, u"openButton"_s,
                                   u"changeButton"_s, u"predictButton"_s, u"reloadButton"_s};
        QStringList seen;
        for (int i = 0; i < 30; ++i) {
            key(Qt::Key_Tab);
            for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
                if (order.contains(w->objectName()) && (seen.isEmpty() || seen.constLast() != w->objectName())) {
                    seen.append(w->objectName());
                    break;
                }
            }
        }
        const qsizetype start = seen.indexOf(order.first());
        QCOMPARE(seen.mid(start, order.size()).join(u' '), order.join(u' '));
    }
};

YUMEKAZU_TEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
