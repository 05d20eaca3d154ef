#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "platform/core/PreferenceStore.h"
#include "platform/localauth/FingerprintPrompt.h"

#include <QMessageBox>
#include <QPushButton>
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
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(cancelled.count(), 1);
    }

    void gatesAndFocusOrder()
    {
        QTemporaryDir dir;
        PreferenceStore store(dir.filePath(u"preferences.ini"_s));
        FakeFactory fingerprint;
        fingerprint.setup.match = false;
        fingerprint.setup.failureReason = u"指紋が一致しませんでした"_s;
        MainViewServices services;
        services.store = &store;
        services.makeAuthorization = [] {
            return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(true));
        };
        services.localAuthentication = &fingerprint;
        AuthorizationLockView view(services);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        const auto focused = [] { return QApplication::focusWidget(); };
        const auto focusName = [&focused] { return focused() ? focused()->objectName() : QString(); };
        const auto key = [&focused](Qt::Key k) { QTest::keyClick(focused(), k); };

        QCOMPARE(focusName(), u"lockButton"_s);
        key(Qt::Key_Space);
        QVERIFY(view.unlocked());
        QCOMPARE(focusName(), u"touchIdButton"_s);
        // A failed check: the alert takes the focus, and Return or Escape dismisses it.
        for (const Qt::Key dismiss : {Qt::Key_Return, Qt::Key_Escape}) {
            key(Qt::Key_Return);
            QTRY_VERIFY(view.showAlert());
            QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeWindow()));
            key(dismiss);
            QTRY_VERIFY(!view.showAlert());
            QTRY_COMPARE(focusName(), u"touchIdButton"_s);
        }
        fingerprint.setup = {};
        key(Qt::Key_Return);
        QTRY_VERIFY(view.unlockContent() && view.findChild<QWidget *>(u"workArea"_s)->isVisible());

        // Tab leaves the editor and walks the work area top to bottom, then the row.
        const QStringList order = {u"calendar"_s, u"time"_s, u"sampleTable"_s, u"noteEditor"_s,
                                   u"saveButton"_s, u"threadButton"_s, u"openButton"_s,
                                   u"changeButton"_s, u"predictButton"_s, u"reloadButton"_s};
        QStringList seen;
        for (int i = 0; i < 30 && seen.size() < 2 * order.size(); ++i) {
            key(Qt::Key_Tab);
            for (QWidget *w = focused(); w; w = w->parentWidget()) {
                if (order.contains(w->objectName())) {
                    if (seen.isEmpty() || seen.constLast() != w->objectName())
                        seen.append(w->objectName());
                    break;
                }
            }
        }
        const qsizetype start = seen.indexOf(order.first());
        QVERIFY2(start >= 0, qPrintable(seen.join(u' ')));
        QCOMPARE(seen.mid(start, order.size()).join(u" "), order.join(u" "));
    }
};

YUMEKAZU_TEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
