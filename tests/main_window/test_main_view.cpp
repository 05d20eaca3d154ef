#include "classifier/MyModel.h"
#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "main_window/SampleTables.h"
#include "platform/core/PreferenceStore.h"
#include "platform/localauth/LAContext.h"

#include <QInputMethodEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Fingerprint)

namespace {

Fingerprint unavailable(std::optional<QString> reason)
{
    Fingerprint f;
    f.available = false;
    f.unavailableReason = std::move(reason);
    return f;
}
Fingerprint noMatch(std::optional<QString> reason)
{
    Fingerprint f;
    f.match = false;
    f.failureReason = std::move(reason);
    return f;
}
Fingerprint otherBiometry()
{
    Fingerprint f;
    f.biometry = 2;
    return f;
}

// Answers each classification from a script and records what it was given.
class ScriptedModel : public MLModel {
public:
    explicit ScriptedModel(QList<std::optional<QString>> answers) : MLModel(MLModelMetadata()), m_answers(std::move(answers)) {}
    Expected<QString> predictLabel(const QString &text) const override
    {
        seen.append(text);
        const auto answer = m_answers.value(seen.size() - 1);
        if (!answer)
            return unexpected(PlatformError{u"test"_s, 1, u"no answer"_s});
        return *answer;
    }
    mutable QStringList seen;

private:
    QList<std::optional<QString>> m_answers;
};

} // namespace

class TestMainView : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storeDir;
    std::unique_ptr<PreferenceStore> m_store;
    FakeFactory m_fingerprint;
    bool m_grant = true;

    std::shared_ptr<ScriptedModel> m_model;

    // The view's classifier comes from makeModel, or else from m_model when set.
    std::unique_ptr<AuthorizationLockView> makeView(std::function<Expected<std::shared_ptr<MyModel>>()> makeModel = {})
    {
        MainViewServices services;
        services.makeModel = std::move(makeModel);
        if (!services.makeModel && m_model)
            services.makeModel = [model = m_model] { return std::make_shared<MyModel>(model); };
        services.store = m_store.get();
        services.makeAuthorization = [this] {
            return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(m_grant));
        };
        services.localAuthentication = &m_fingerprint;
        services.waitInterval = std::chrono::milliseconds(50);
        auto view = std::make_unique<AuthorizationLockView>(services);
        view->show();
        return view;
    }
    static std::unique_ptr<AuthorizationLockView> unlocked(std::unique_ptr<AuthorizationLockView> view)
    {
        view->lockAction();
        view->authenticateWithTouchID();
        // The work area shows once the event loop has run.
        if (!QTest::qWaitFor([&view] {
                const auto *work = view->findChild<QWidget *>(u"workArea"_s);
                return view->unlockContent() && work && work->isVisible();
            }))
            qWarning("The fingerprint gate did not open");
        return view;
    }
    template <typename T> static T *child(const QWidget *view, const QString &name)
    {
        return view->findChild<T *>(name);
    }

private Q_SLOTS:
    void init()
    {
        // A fresh directory per test: a file left by another run must not leak in.
        m_storeDir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<PreferenceStore>(m_storeDir->filePath(u"preferences.ini"_s));
        m_fingerprint.setup = {};
        m_grant = true;
    }
    void cleanup()
    {
        m_store.reset();
        m_storeDir.reset();
    }

    void sampleParagraph()
    {
        const QString &text = PreferenceKeys::sampleParagraph;
        QCOMPARE(text.size(), 226);
        QVERIFY(text.startsWith(u"昨日は地域の猫とカラスと雀と鳩に挨拶代わりに餌をあげて旅行の安全を祈った。"_s));
        QVERIFY(text.endsWith(u"..."_s));
        QCOMPARE(text.count(u'。') + 1, 7);
    }

    void lockedWindow_data()
    {
        QTest::addColumn<int>("toggle2");
        QTest::addColumn<bool>("animals");
        QTest::newRow("animals off") << 0 << false;
        QTest::newRow("animals on") << 1 << true;
        QTest::newRow("hand-set 2") << 2 << false;
    }
    void lockedWindow()
    {
        QFETCH(int, toggle2);
        QFETCH(bool, animals);
        m_store->setInteger(PreferenceKeys::intKeyToggle2, toggle2);
        const auto view = makeView();
        QCOMPARE(child<QLabel>(view.get(), u"heading"_s)->text(), u"Yumekazu Tabs"_s);
        const auto *line = child<QLabel>(view.get(), u"animalLine"_s);
        QCOMPARE(line->isVisible(), animals);
        if (animals)
            QCOMPARE(line->text(), u"🐱🐤1"_s);
        QVERIFY(child<QPushButton>(view.get(), u"lockButton"_s)->isVisible());
        QCOMPARE(child<QLabel>(view.get(), u"lockText"_s)->toolTip(), u"マウスでクリック"_s);
        QVERIFY(!child<QWidget>(view.get(), u"contentPanel"_s));
        QCOMPARE(view->sp1(), 0);
        QCOMPARE(view->sp2(), toggle2);
        QCOMPARE(view->text(), u"General"_s);
        QVERIFY(!view->result());
    }

    void lockGate_data()
    {
        QTest::addColumn<bool>("grant");
        QTest::newRow("granted") << true;
        QTest::newRow("denied") << false;
    }
    void lockGate()
    {
        QFETCH(bool, grant);
        m_grant = grant;
        const auto view = makeView();
        QTest::mouseClick(child<QPushButton>(view.get(), u"lockButton"_s), Qt::LeftButton);
        QCOMPARE(view->unlocked(), grant);
        QCOMPARE(child<QPushButton>(view.get(), u"lockButton"_s)->isVisible(), !grant);
        const auto *panel = child<QWidget>(view.get(), u"contentPanel"_s);
        QCOMPARE(panel != nullptr, grant);
        if (!grant)
            return;
        QCOMPARE(child<QLabel>(view.get(), u"banner"_s)->text(), u"🔓 ロック解除済み"_s);
        QVERIFY(panel->minimumWidth() >= 300 && panel->minimumHeight() >= 200);
        QCOMPARE(child<QLabel>(view.get(), u"statusTitle"_s)->text(), u"未認証"_s);
        QCOMPARE(child<QLabel>(view.get(), u"promptText"_s)->text(), u"Touch IDで認証してください"_s);
        QVERIFY(!child<QWidget>(view.get(), u"workArea"_s));
    }

    void fingerprintGate_data()
    {
        QTest::addColumn<Fingerprint>("setup");
        QTest::addColumn<bool>("success");
        QTest::addColumn<bool>("queued");
        QTest::addColumn<QString>("alert");
        QTest::newRow("match") << Fingerprint{} << true << true << QString();
        QTest::newRow("no match") << noMatch(u"指紋が一致しません"_s) << false
                                  << true << u"指紋が一致しません"_s;
        QTest::newRow("no match, no reason")
            << noMatch({}) << false << true << u"認証に失敗しました"_s;
        QTest::newRow("unavailable") << unavailable(u"指紋リーダーが見つかりません"_s) << false
                                     << true << u"指紋リーダーが見つかりません"_s;
        QTest::newRow("unavailable, no reason")
            << unavailable({}) << false << true << u"生体認証が利用できません"_s;
        QTest::newRow("other biometry") << otherBiometry() << false << false
                                        << u"このマックではTouch IDが利用できません"_s;
    }
    void fingerprintGate()
    {
        QFETCH(Fingerprint, setup);
        QFETCH(bool, success);
        QFETCH(bool, queued);
        QFETCH(QString, alert);
        m_fingerprint.setup = setup;
        const auto view = makeView();
        view->lockAction();
        QCoreApplication::processEvents(); // new children are shown by a queued call
        QTest::keyClick(child<QWidget>(view.get(), u"touchIdButton"_s), Qt::Key_Return);
        // Every answer but the wrong kind of reader arrives through the event loop.
        QCOMPARE(view->showAlert() || view->unlockContent(), !queued);
        QTRY_VERIFY(view->showAlert() || view->unlockContent());
        QCOMPARE(view->unlockContent(), success);
        QCOMPARE(view->isAuthenticated(), success);
        QCOMPARE(bool(child<QWidget>(view.get(), u"workArea"_s)), success);
        if (success) {
            QCOMPARE(view->authMessage(), u"Touch IDで認証できました"_s);
            QCOMPARE(child<QLabel>(view.get(), u"statusTitle"_s)->text(), u"認証済み ✅"_s);
            QVERIFY(!child<QPushButton>(view.get(), u"touchIdButton"_s)->isVisible());
            QVERIFY(!view->showAlert());
            return;
        }
        QCOMPARE(view->alertMessage(), alert);
        auto *box = view->findChild<QMessageBox *>(u"authAlert"_s);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), u"認証エラー"_s);
        QCOMPARE(box->text(), alert);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().constFirst()->text(), u"OK"_s);
        // OK only dismisses; the next failure raises the alert again.
        box->buttons().constFirst()->click();
        QTRY_VERIFY(!view->showAlert());
        QVERIFY(!view->unlockContent());
        view->authenticateWithTouchID();
        QTRY_VERIFY(view->showAlert());
        QTRY_VERIFY(view->findChild<QMessageBox *>(u"authAlert"_s));
    }

    void startupParagraph_data()
    {
        QTest::addColumn<int>("toggle3");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("off") << 0 << false;
        QTest::newRow("on") << 1 << true;
        QTest::newRow("hand-set 2") << 2 << false;
    }
    void startupParagraph()
    {
        QFETCH(int, toggle3);
        QFETCH(bool, replaced);
        m_store->setInteger(PreferenceKeys::intKeyToggle3, toggle3);
        m_store->setString(PreferenceKeys::stringKey, u"前のメモ"_s);
        const auto view = unlocked(makeView());
        const QString expected = replaced ? PreferenceKeys::sampleParagraph : u"前のメモ"_s;
        QCOMPARE(view->uString(), expected);
        QCOMPARE(child<QPlainTextEdit>(view.get(), u"noteEditor"_s)->toPlainText(), expected);
        QVERIFY(!m_store->contains(PreferenceKeys::bunreiKey));
    }

    void saveButton_data()
    {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::newRow("nothing stored") << std::optional<QString>();
        QTest::newRow("a note") << std::optional<QString>(u"メモ"_s);
    }
    void saveButton()
    {
        QFETCH(std::optional<QString>, stored);
        if (stored)
            m_store->setString(PreferenceKeys::stringKey, *stored);
        const auto view = unlocked(makeView());
        QTest::mouseClick(child<QPushButton>(view.get(), u"saveButton"_s), Qt::LeftButton);
        QCOMPARE(m_store->string(PreferenceKeys::stringKey), stored);
    }

    void tableSteps()
    {
        const auto view = unlocked(makeView());
        auto *table = child<QTableWidget>(view.get(), u"sampleTable"_s);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), u"Name"_s);
        QCOMPARE(table->horizontalHeaderItem(2)->text(), u"Foods"_s);
        QCOMPARE(table->toolTip(), u"バードパトロール用"_s);
        QCOMPARE(table->item(0, 0)->text(), u"猫"_s);
        auto *change = child<QPushButton>(view.get(), u"changeButton"_s);
        const int expected[] = {2, 3, 4, 5, 1, 2};
        for (const int number : expected) {
            QTest::mouseClick(change, Qt::LeftButton);
            QCOMPARE(view->peopleNum(), number);
            QCOMPARE(table->item(0, 0)->text(), view->people(number).constFirst().name);
            QCOMPARE(table->item(3, 1)->text(), view->people(number).at(3).family);
            QVERIFY(!(table->item(0, 0)->flags() & (Qt::ItemIsEditable | Qt::ItemIsSelectable)));
        }
        QCOMPARE(table->item(0, 0)->text(), u"パン"_s);
    }

    void windowsShareTheNote()
    {
        const auto first = unlocked(makeView());
        const auto second = unlocked(makeView());
        auto *typing = child<QPlainTextEdit>(first.get(), u"noteEditor"_s);
        auto *reading = child<QPlainTextEdit>(second.get(), u"noteEditor"_s);
        typeText(typing, u"ねこ"_s);
        QCOMPARE(m_store->string(PreferenceKeys::stringKey), u"ねこ"_s);
        QCOMPARE(reading->toPlainText(), u"ねこ"_s);

        // The reader's cursor stays where it was while text changes after it.
        QTextCursor cursor = reading->textCursor();
        cursor.setPosition(1);
        reading->setTextCursor(cursor);
        typing->moveCursor(QTextCursor::End);
        typeText(typing, u"と鳥"_s);
        QCOMPARE(reading->toPlainText(), u"ねこと鳥"_s);
        QCOMPARE(reading->textCursor().position(), 1);

        // So does a note written by another process after ours was written.
        QVERIFY(m_store->flush());
        QProcess other;
        other.start(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/preference_writer"_s,
                    {m_store->filePath(), PreferenceKeys::stringKey, u"1"_s});
        QVERIFY(other.waitForFinished());
        QTRY_COMPARE(reading->toPlainText(), PreferenceKeys::stringKey + u" 1 "_s);
    }

    void inputMethodComposition()
    {
        const auto first = unlocked(makeView());
        const auto second = unlocked(makeView());
        auto *editor = child<QPlainTextEdit>(first.get(), u"noteEditor"_s);
        editor->setFocus();
        QInputMethodEvent preedit(u"ねこ"_s, {});
        QCoreApplication::sendEvent(editor, &preedit);
        // Composing text is the input method's, not yet the note's.
        QVERIFY(!m_store->contains(PreferenceKeys::stringKey));
        // Another window's edit waits until the composition ends.
        child<QPlainTextEdit>(second.get(), u"noteEditor"_s)->setPlainText(u"外"_s);
        QInputMethodEvent stillComposing(u"ねこ"_s, {});
        QCoreApplication::sendEvent(editor, &stillComposing);
        QInputMethodEvent commit;
        commit.setCommitString(u"猫"_s);
        QCoreApplication::sendEvent(editor, &commit);
        QTRY_COMPARE(m_store->string(PreferenceKeys::stringKey), editor->toPlainText());
        QVERIFY(editor->toPlainText().contains(u"猫"_s));
    }

    void predictWithoutModel()
    {
        const auto view = unlocked(makeView());
        QVERIFY(!view->model());
        bool warned = false;
        QTimer::singleShot(0, this, [&warned] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                warned = !box->text().isEmpty();
                box->reject();
            }
        });
        QTest::mouseClick(child<QPushButton>(view.get(), u"predictButton"_s), Qt::LeftButton);
        QVERIFY(warned);
        QVERIFY(!view->result());
        QVERIFY(!child<QLabel>(view.get(), u"resultLine"_s)->isVisible());
    }

    void predictKeepsLabelAfterError()
    {
        m_model = std::make_shared<ScriptedModel>(
            QList<std::optional<QString>>{u"動物"_s, std::nullopt, u"旅行"_s});
        const auto view = unlocked(makeView());
        m_model.reset();
        auto *button = child<QPushButton>(view.get(), u"predictButton"_s);
        auto *line = child<QLabel>(view.get(), u"resultLine"_s);
        QVERIFY(!line->isVisible());

        // The empty note is classified too.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(view->result(), u"動物"_s);
        QVERIFY(line->isVisible());
        QCOMPARE(line->text(), u"結果: 動物"_s);

        view->setUString(u"雨"_s);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(line->text(), u"結果: 動物"_s);
        QVERIFY(!QApplication::activeModalWidget());

        view->setUString(u"空港へ"_s);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(line->text(), u"結果: 旅行"_s);
        const auto *model = static_cast<const ScriptedModel *>(view->model()->model().get());
        QCOMPARE(model->seen, (QStringList{QString(), u"雨"_s, u"空港へ"_s}));
    }

    void classifierLoadsOffTheMainThread()
    {
        // The view must come up while the model is still loading, and the
        // first classification waits for it.
        enum LoadedOn { NotYet, MainThread, OtherThread };
        const auto release = std::make_shared<QSemaphore>();
        const auto loadedOn = std::make_shared<std::atomic<int>>(NotYet);
        const auto releaseAtEnd = qScopeGuard([release] { release->release(); });
        auto scripted = std::make_shared<ScriptedModel>(QList<std::optional<QString>>{u"天気"_s});
        const auto view = unlocked(makeView([release, loadedOn, scripted]() -> Expected<std::shared_ptr<MyModel>> {
            *loadedOn = QThread::currentThread() == qApp->thread() ? MainThread : OtherThread;
            (void)release->tryAcquire(1, 10000); // a load on the main thread must not hang the test
            return std::make_shared<MyModel>(scripted);
        }));
        QTRY_COMPARE(loadedOn->load(), int(OtherThread));
        release->release();
        QTest::mouseClick(child<QPushButton>(view.get(), u"predictButton"_s), Qt::LeftButton);
        QCOMPARE(child<QLabel>(view.get(), u"resultLine"_s)->text(), u"結果: 天気"_s);
    }

    void buttonRowFitsNarrowWindows_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("ideal 400") << 400;
        QTest::newRow("narrowest 100") << 100;
        QTest::newRow("widest 450") << 450;
    }
    void buttonRowFitsNarrowWindows()
    {
        QFETCH(int, width);
        m_model = std::make_shared<ScriptedModel>(QList<std::optional<QString>>{u"食べ物"_s});
        const auto view = unlocked(makeView());
        m_model.reset();
        view->resize(width, 800);
        auto *work = child<QWidget>(view.get(), u"workArea"_s);
        QTest::mouseClick(child<QPushButton>(view.get(), u"predictButton"_s), Qt::LeftButton);
        QApplication::processEvents();
        QList<QWidget *> row;
        QCOMPARE(view->result(), u"食べ物"_s);
        for (const char *name : {"saveButton", "threadButton", "openButton", "changeButton", "predictButton",
                                 "resultLine", "reloadButton"})
            row.append(child<QWidget>(view.get(), QString::fromLatin1(name)));
        for (QWidget *w : std::as_const(row)) {
            // Every label can be read in full, and no control covers another.
            const QString text = w->property("text").toString();
            QVERIFY2(w->width() >= w->fontMetrics().horizontalAdvance(text) || width == 100,
                     qPrintable(w->objectName()));
            QVERIFY2(w->geometry().right() < work->width() || w->x() == 0, qPrintable(w->objectName()));
            for (QWidget *other : std::as_const(row))
                QVERIFY(w == other || !w->geometry().intersects(other->geometry()));
        }
    }

    void waitTask()
    {
        auto view = unlocked(makeView());
        auto *button = child<QPushButton>(view.get(), u"threadButton"_s);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(view->text(), u"スレッド"_s);
        QTRY_COMPARE(view->text(), u"Done"_s);
        // A window closed with a wait pending must not be written to later.
        QTest::mouseClick(button, Qt::LeftButton);
        view.reset();
        QTest::qWait(120);
    }
};

YUMEKAZU_TEST_MAIN(TestMainView)
#include "test_main_view.moc"
