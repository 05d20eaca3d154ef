#include "app/SettingsView.h"
#include "app/YumekazuApp.h"
#include "auth/TouchIdAction.h"
#include "background/WaitTask.h"
#include "classifier/MyModel.h"
#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"
#include "platform/dialogs/ModalResponse.h"
#include "platform/dialogs/PanelFactory.h"
#include "platform/windowing/ScreenFit.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QSemaphore>
#include <QTableView>
#include <QThread>

#include <atomic>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The second switch, whether the administrator grants, the fingerprint check,
// and the alert it ends with (none: unlocked).
struct GateCase { int toggle2; bool grant; Fingerprint setup; QString alert; };
// The third switch, the stored sample paragraph, and the note the editor starts with.
struct StartCase { int toggle3; QString bunrei; std::optional<QString> expected; };

// Answers each classification from a script (nothing: a failure) and records what it was given.
struct ScriptedModel : MLModel {
    explicit ScriptedModel(QList<std::optional<QString>> script) : MLModel(MLModelMetadata()), answers(std::move(script)) {}
    Expected<QString> predictLabel(const QString &text) const override
    {
        seen.append(text);
        const auto answer = answers.value(seen.size() - 1);
        return answer ? Expected<QString>(*answer) : unexpected(PlatformError{u"test"_s, 1, u"no answer"_s});
    }
    QList<std::optional<QString>> answers;
    mutable QStringList seen;
};

// Answers the file dialogs; `whileOpen` runs while a dialog is up.
struct AnsweringPanels final : PanelFactory {
    int response = ModalResponse::OK;
    std::optional<QString> path;
    std::function<void()> whileOpen = [] {};
    QStringList fileTypes;
    template <typename Base> struct Panel final : Base {
        explicit Panel(AnsweringPanels &answers) : m_answers(answers) {}
        int runModal() override
        {
            m_answers.fileTypes = this->allowedFileTypes();
            m_answers.whileOpen();
            return m_answers.response;
        }
        std::optional<QString> url() const override { return m_answers.path; }
        AnsweringPanels &m_answers;
    };
    std::unique_ptr<OpenPanel> makeOpenPanel(QWidget *) override { return std::make_unique<Panel<OpenPanel>>(*this); }
    std::unique_ptr<SavePanel> makeSavePanel(QWidget *) override { return std::make_unique<Panel<SavePanel>>(*this); }
};

using View = std::unique_ptr<AuthorizationLockView>;

template <typename T = QWidget> T *child(const View &view, const QString &name)
{
    return view->findChild<T *>(name);
}

// A property of each named child, in the order named.
QStringList texts(const View &view, const QStringList &names, const char *property = "text")
{
    QStringList result;
    for (const QString &name : names)
        result << child(view, name)->property(property).toString();
    return result;
}

// What screen readers are told without a focus change: each notification as it comes on screen.
struct Listener final : QObject {
    QStringList heard;
    Listener() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            if (QAccessibleInterface *object = QAccessible::queryAccessibleInterface(watched); object && object->role() == QAccessible::Notification)
                heard << object->text(QAccessible::Name);
        return false;
    }
};

QString focusName()
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

void key(Qt::Key k)
{
    QTest::keyClick(QApplication::focusWidget(), k);
}

// Every text of window that is cut (it needs more room than it has, or lies
// outside its window; what a scroll area holds, it scrolls to), and the window
// itself when it is off its screen.
QStringList cutTexts(QWidget *window)
{
    if (!QTest::qWaitForWindowExposed(window))
        return {window->windowTitle() + u" not shown"_s};
    QCoreApplication::processEvents();
    QStringList cut;
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        const QString text = widget->property("text").toString();
        const auto *label = qobject_cast<const QLabel *>(widget);
        if (!widget->isVisible() || widget->window() != window || text.isEmpty() || (!label && !qobject_cast<const QAbstractButton *>(widget)))
            continue;
        // A push button's text, its margin and frame, as the style lays them out.
        const int margins = widget->style()->pixelMetric(QStyle::PM_ButtonMargin) + 2 * widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        const QSize need = widget->hasHeightForWidth() ? QSize(widget->minimumSizeHint().width(), widget->heightForWidth(widget->width()))
            : label ? label->sizeHint() : QSize(widget->fontMetrics().horizontalAdvance(text) + margins, widget->fontMetrics().height());
        bool whole = need.width() <= widget->width() && need.height() <= widget->height();
        for (const QWidget *outer = widget->parentWidget();
             whole && outer != window->parentWidget() && !qobject_cast<const QScrollArea *>(outer->parentWidget()); outer = outer->parentWidget())
            whole = outer->rect().contains(QRect(widget->mapTo(outer, QPoint()), widget->size()));
        if (!whole)
            cut << u"%1 \"%2\" needs %3x%4, has %5x%6"_s.arg(window->windowTitle(), text).arg(need.width()).arg(need.height()).arg(widget->width()).arg(widget->height());
    }
    if (!window->screen()->availableGeometry().contains(window->frameGeometry()))
        cut << window->windowTitle() + u" lies off the screen"_s;
    return cut;
}

} // namespace

class TestMainView : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_stores = 0;
    std::unique_ptr<PreferenceStore> m_store;
    FakeFactory m_fingerprint;
    AnsweringPanels m_panels;
    bool m_grant = true;
    OSStatus m_refusal = AuthorizationStatus::denied;
    std::chrono::milliseconds m_wait{50};
    std::shared_ptr<ScriptedModel> m_model;

    // The view's classifier comes from makeModel, or else from m_model when set.
    View makeView(std::function<Expected<std::shared_ptr<MyModel>>()> makeModel = {})
    {
        if (!makeModel && m_model)
            makeModel = [model = m_model] { return std::make_shared<MyModel>(model); };
        View view = std::make_unique<AuthorizationLockView>(AppServices{
            .store = m_store.get(),
            .makeAuthorization = [this] { return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(m_grant, m_refusal)); },
            .localAuthentication = &m_fingerprint, .panels = &m_panels, .makeModel = std::move(makeModel),
            .reloadModel = {}, .windows = nullptr, .waitInterval = m_wait});
        view->show();
        return view;
    }
    // A view already past both gates.
    View unlocked(std::function<Expected<std::shared_ptr<MyModel>>()> makeModel = {})
    {
        View view = makeView(std::move(makeModel));
        view->lockAction();
        view->authenticateWithTouchID();
        (void)QTest::qWaitFor([&view] { return child(view, u"workArea"_s) != nullptr; });
        QCoreApplication::processEvents();
        return view;
    }

private Q_SLOTS:
    void init()
    {
        // A fresh store per test: a value left by another test must not leak in.
        m_store = std::make_unique<PreferenceStore>(m_dir.filePath(u"%1.ini"_s.arg(++m_stores)));
        m_fingerprint.setup = {};
        m_panels = {};
        m_grant = true;
        m_refusal = AuthorizationStatus::denied;
        m_wait = 50ms;
        m_model.reset();
    }

    void gates_data()
    {
        QTest::addColumn<GateCase>("row");
        const QString markup = u"<b>指紋</b>が一致しません"_s;
        QTest::newRow("denied, animals off") << GateCase{0, false, {}, {}};
        QTest::newRow("match, animals on") << GateCase{1, true, {}, {}};
        QTest::newRow("no match, hand-set 2") << GateCase{2, true, {true, {}, 1, false, markup}, markup};
        QTest::newRow("no match, no reason") << GateCase{0, true, {true, {}, 1, false, {}}, u"認証に失敗しました"_s};
        QTest::newRow("unavailable") << GateCase{0, true, {false, markup, 1, true, {}}, markup};
        QTest::newRow("unavailable, no reason") << GateCase{0, true, {false, {}, 1, true, {}}, u"生体認証が利用できません"_s};
        QTest::newRow("other biometry") << GateCase{0, true, {true, {}, 2, true, {}}, u"このマックではTouch IDが利用できません"_s};
    }
    // Both gates, from the keyboard alone, and nothing behind them before they pass.
    void gates()
    {
        QFETCH(const GateCase, row);
        const auto &[toggle2, grant, setup, alert] = row;
        m_store->setInteger(PreferenceKeys::intKeyToggle2, toggle2);
        m_grant = grant;
        m_fingerprint.setup = setup;
        // Only the work area needs the model: it loads when that first appears.
        const auto loads = std::make_shared<std::atomic<int>>(0);
        const View view = makeView([loads]() -> Expected<std::shared_ptr<MyModel>> {
            ++*loads;
            return unexpected(PlatformError{});
        });
        const Listener listener;
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        QCOMPARE(texts(view, {u"heading"_s, u"animalLine"_s, u"lockText"_s}) + texts(view, {u"lockText"_s}, "toolTip"),
                 (QStringList{u"Yumekazu Tabs"_s, u"🐱🐤1"_s, u"変更するにはカギをクリックします"_s, u"マウスでクリック"_s}));
        QCOMPARE(child<QLabel>(view, u"lockIcon"_s)->pixmap().deviceIndependentSize(), QSizeF(16, 16));
        QCOMPARE(std::tuple(child(view, u"animalLine"_s)->isVisible(), child(view, u"contentPanel"_s), view->sp1(), view->text(), focusName()),
                 std::tuple(toggle2 == 1, nullptr, 0, u"General"_s, u"lockButton"_s));
        key(Qt::Key_Space);
        const auto *panel = child(view, u"contentPanel"_s);
        // Refused after asking: nothing said, and the keyboard stays on the lock.
        QCOMPARE(std::tuple(view->unlocked(), child(view, u"lockButton"_s)->isVisible(), panel != nullptr, focusName(), view->lockObstacle()),
                 std::tuple(grant, !grant, grant, grant ? u"touchIdButton"_s : u"lockButton"_s, QString()));
        QCOMPARE(listener.heard, grant ? QStringList{u"🔓 ロック解除済み\n未認証\nTouch IDで認証してください"_s} : QStringList());
        if (!grant)
            return;
        QCoreApplication::processEvents();
        QVERIFY(panel->width() >= 300 && panel->height() >= 200);
        QCOMPARE(texts(view, {u"banner"_s, u"statusTitle"_s, u"promptText"_s, u"touchIdButton"_s}) + texts(view, {u"touchIdButton"_s}, "toolTip"),
                 (QStringList{u"🔓 ロック解除済み"_s, u"未認証"_s, u"Touch IDで認証してください"_s, u"Touch IDで認証する"_s, u"マウスでクリック"_s}));
        auto *button = child(view, u"touchIdButton"_s);
        // The panel's children sit in its middle at their own height, not spread over it.
        const auto *title = child(view, u"statusTitle"_s);
        QVERIFY(title->height() == title->sizeHint().height() && qAbs(title->y() - (panel->height() - 1 - button->geometry().bottom())) <= 1);

        const bool success = alert.isEmpty();
        QCOMPARE(focusName(), u"touchIdButton"_s);
        key(Qt::Key_Return);
        // Every answer but the wrong kind of reader arrives through the event loop.
        QCOMPARE(view->showAlert() || view->unlockContent(), setup.biometry != 1);
        QTRY_VERIFY(view->showAlert() || view->unlockContent());
        const auto state = [&] {
            return std::tuple(view->unlocked(), view->unlockContent(), view->isAuthenticated(), child(view, u"workArea"_s) != nullptr,
                              button->isVisible(), child<QLabel>(view, u"statusTitle"_s)->text(), view->showAlert());
        };
        QCOMPARE(state(), std::tuple(true, success, success, success, !success, success ? u"認証済み ✅"_s : u"未認証"_s, !success));
        QTRY_COMPARE(loads->load(), int(success));
        if (success) {
            // The keyboard starts at the top of the work area, and the user hears that it opened.
            QTRY_VERIFY(child(view, u"calendar"_s)->isAncestorOf(QApplication::focusWidget()));
            QTRY_COMPARE(listener.heard.mid(1), QStringList{u"認証済み ✅\n作業エリアを表示しました"_s});
            // Tab walks the work area top to bottom, then the row.
            const QStringList order = {u"calendar"_s, u"time"_s, u"sampleTable"_s, u"noteEditor"_s, u"saveButton"_s,
                                       u"threadButton"_s, u"openButton"_s, u"changeButton"_s, u"predictButton"_s, u"reloadButton"_s};
            QStringList seen;
            QTRY_VERIFY(child(view, u"workArea"_s)->isVisible());
            for (int i = 0; i < 30; ++i) {
                key(Qt::Key_Tab);
                QWidget *w = QApplication::focusWidget();
                while (w && !order.contains(w->objectName()))
                    w = w->parentWidget();
                if (w && (seen.isEmpty() || seen.constLast() != w->objectName()))
                    seen.append(w->objectName());
            }
            QCOMPARE(seen.mid(seen.indexOf(order.first()), order.size()), order);
            // A second window starts locked; a failure that arrives late keeps the work area.
            QVERIFY(!child(makeView(), u"contentPanel"_s));
            m_fingerprint.setup.match = false;
            view->authenticateWithTouchID();
            QTRY_VERIFY(view->showAlert());
            QCOMPARE(state(), std::tuple(true, true, false, true, false, u"未認証"_s, true));
            return;
        }
        // The title is shown above the message too, for desktops without title bars.
        auto *box = view->findChild<QMessageBox *>(u"authAlert"_s);
        const auto *heading = box->findChild<QLabel *>(u"qt_msgbox_label"_s), *message = box->findChild<QLabel *>(u"qt_msgbox_informativelabel"_s);
        QTRY_VERIFY(heading->isVisible() && message->isVisible() && heading->geometry().bottom() < message->y());
        QCOMPARE(std::tuple(box->windowTitle(), heading->text(), heading->textFormat(), message->text(), message->textFormat(),
                            box->buttons().size(), box->buttons().constFirst()->text()),
                 std::tuple(u"認証エラー"_s, u"認証エラー"_s, Qt::PlainText, alert, Qt::PlainText, 1, u"OK"_s));
        // The alert takes the focus; Return (its OK) or Escape only dismisses it and
        // gives the focus back, and the next failure raises it again.
        for (const Qt::Key dismiss : {Qt::Key_Return, Qt::Key_Escape}) {
            QTRY_VERIFY(view->showAlert() && qobject_cast<QMessageBox *>(QApplication::activeWindow()));
            key(dismiss);
            QTRY_COMPARE(focusName(), u"touchIdButton"_s);
            QVERIFY(view->unlocked() && !view->showAlert() && !view->unlockContent());
            key(Qt::Key_Return);
        }
        QTRY_VERIFY(view->showAlert());
    }

    void startupParagraphAndSave_data()
    {
        QTest::addColumn<StartCase>("row");
        const std::optional<QString> note(u"前のメモ"_s);
        QTest::newRow("off") << StartCase{0, {}, note};
        QTest::newRow("off, nothing stored") << StartCase{0, {}, {}};
        QTest::newRow("on, built-in") << StartCase{1, {}, PreferenceKeys::sampleParagraph};
        QTest::newRow("on, stored") << StartCase{1, u"鳩の話"_s, u"鳩の話"_s};
        QTest::newRow("hand-set 2") << StartCase{2, u"鳩の話"_s, note};
    }
    void startupParagraphAndSave()
    {
        QFETCH(const StartCase, row);
        const auto &[toggle3, bunrei, expected] = row;
        QVERIFY(PreferenceKeys::sampleParagraph.size() == 226
                && PreferenceKeys::sampleParagraph.startsWith(u"昨日は地域の猫とカラスと雀と鳩に挨拶代わりに餌をあげて旅行の安全を祈った。"_s));
        m_store->setInteger(PreferenceKeys::intKeyToggle3, toggle3);
        if (expected) // the one row without a note starts without one
            m_store->setString(PreferenceKeys::stringKey, u"前のメモ"_s);
        if (!bunrei.isEmpty())
            m_store->setString(PreferenceKeys::bunreiKey, bunrei);
        const View view = unlocked();
        QCOMPARE(std::tuple(m_store->string(PreferenceKeys::stringKey), child<QPlainTextEdit>(view, u"noteEditor"_s)->toPlainText(),
                            m_store->contains(PreferenceKeys::bunreiKey)),
                 std::tuple(expected, expected.value_or(QString()), !bunrei.isEmpty()));
        // "保存" stores the stored note again, and stores nothing when there is none.
        QTest::mouseClick(child(view, u"saveButton"_s), Qt::LeftButton);
        QCOMPARE(m_store->string(PreferenceKeys::stringKey), expected);
        // Without a model the user is told, and no result appears.
        bool told = false;
        QTimer::singleShot(0, this, [&told] { told = QApplication::activeModalWidget()->close(); });
        QTest::mouseClick(child(view, u"predictButton"_s), Qt::LeftButton);
        QVERIFY(told && !view->result());
    }

    void openAndSave()
    {
        const QString note = m_dir.filePath(u"note.rtf"_s);
        QVERIFY(writeFile(note, u"{\\rtf1 雨}"_s.toUtf8()));
        m_store->setString(PreferenceKeys::stringKey, u"前のメモ"_s);
        const View view = unlocked();
        m_store->setInteger(PreferenceKeys::intKeyToggle2, 1);
        std::pair<int, int> whileOpen;
        m_panels.whileOpen = [&] { whileOpen = {view->sp1(), view->sp2()}; };
        m_panels.path = note;
        // Switches flipped since the window was made count from the next call on, cancelled or
        // not; only a successful read of the allowed type replaces the note.
        for (const auto &[response, toggle, expected] : {std::tuple(ModalResponse::Cancel, 2, u"前のメモ"_s),
                                                         {ModalResponse::OK, 0, u"前のメモ"_s}, {ModalResponse::OK, 1, u"{\\rtf1 雨}"_s}}) {
            m_store->setInteger(PreferenceKeys::intKeyToggle1, toggle);
            m_panels.response = response;
            QTest::mouseClick(child(view, u"openButton"_s), Qt::LeftButton);
            QCOMPARE(std::tuple(whileOpen, m_panels.fileTypes, child(view, u"animalLine"_s)->isVisible(), view->uString(),
                                child<QPlainTextEdit>(view, u"noteEditor"_s)->toPlainText()),
                     std::tuple(std::pair(toggle, 1), toggle ? QStringList{u"rtf"_s} : QStringList{u"txt"_s}, true, expected, expected));
        }
        // Saving takes the note as it is when the dialog closes.
        m_panels.whileOpen = [&] { view->setUString(u"書き足したメモ"_s); };
        m_panels.path = m_dir.filePath(u"saved.txt"_s);
        view->saveText();
        QCOMPARE(QString::fromUtf8(fileContents(*m_panels.path)), u"書き足したメモ"_s);
    }

    // Classifying, the fixed texts, the row's flow at each width, and the tables.
    void workArea()
    {
        // The view comes up while the model is still loading, off the main
        // thread, and the first classification waits for it.
        const auto release = std::make_shared<QSemaphore>();
        const auto offMain = std::make_shared<std::atomic<int>>(-1);
        const auto releaseAtEnd = qScopeGuard([release] { release->release(); });
        m_model = std::make_shared<ScriptedModel>(QList<std::optional<QString>>{u"<i>動物</i>"_s, std::nullopt, u"旅行"_s});
        const View view = unlocked([release, offMain, model = m_model]() -> Expected<std::shared_ptr<MyModel>> {
            *offMain = QThread::currentThread() != qApp->thread();
            (void)release->tryAcquire(1, 10000); // a load on the main thread must not hang the test
            return std::make_shared<MyModel>(model);
        });
        QTRY_COMPARE(offMain->load(), 1);
        release->release();
        auto *line = child<QLabel>(view, u"resultLine"_s);
        const Listener listener;
        QVERIFY(!line->isVisible());
        // The empty note is classified too; a failed classification keeps the last label.
        for (const QString &note : {QString(), u"雨"_s, u"空港へ"_s}) {
            view->setUString(note);
            QTest::mouseClick(child(view, u"predictButton"_s), Qt::LeftButton);
            QCOMPARE(line->text(), note == u"空港へ"_s ? u"結果: 旅行"_s : u"結果: <i>動物</i>"_s);
            QCOMPARE(listener.heard.value(listener.heard.size() - 1), line->text());
            QVERIFY(line->isVisible() && !QApplication::activeModalWidget());
        }
        QCOMPARE(m_model->seen, (QStringList{QString(), u"雨"_s, u"空港へ"_s}));
        const View locked = makeView(); // behind the gates nothing is classified
        locked->predict();
        QCOMPARE(std::pair(locked->result(), m_model->seen.size()), std::pair(std::optional<QString>(), qsizetype(3)));

        const QStringList names{u"saveButton"_s, u"threadButton"_s, u"openButton"_s, u"changeButton"_s, u"predictButton"_s, u"resultLine"_s, u"reloadButton"_s};
        QCOMPARE(texts(view, names) + texts(view, {u"noteEditor"_s, u"sampleTable"_s}, "toolTip"),
                 (QStringList{u"保存"_s, u"別スレッド"_s, u"読込"_s, u"変更"_s, u"機械学習"_s, u"結果: 旅行"_s, u"再ロード"_s,
                              u"書き留めたいことを記入しよう"_s, u"バードパトロール用"_s}));
        // What the toolkit puts between two buttons of a row.
        QWidget probe;
        auto *box = new QHBoxLayout(&probe);
        box->addWidget(new QPushButton(u"a"_s));
        box->addWidget(new QPushButton(u"b"_s));
        probe.show();
        const int spacing = box->itemAt(1)->geometry().left() - box->itemAt(0)->geometry().right() - 1;
        // The row flows onto as many lines as the width needs, in order: each line
        // centred, its items centred on it and spaced as the toolkit does. From the
        // ideal width up every label can be read in full.
        for (const int width : {100, 450, 400}) {
            view->resize(width, 800);
            QCoreApplication::processEvents();
            const int areaWidth = child(view, u"workArea"_s)->width();
            const QWidget *lineStart = nullptr;
            for (qsizetype i = 0; i < names.size(); ++i) {
                const QWidget *w = child(view, names[i]), *next = child(view, names.value(i + 1, names[i]));
                const QRect a = lineStart ? child(view, names[i - 1])->geometry() : QRect(), b = w->geometry();
                lineStart = !lineStart || b.top() > a.bottom() ? w : lineStart;
                QVERIFY(lineStart == w || (b.left() - a.right() - 1 == spacing && qAbs(b.center().y() - a.center().y()) <= 1));
                QVERIFY(lineStart == w || (next != w && next->y() <= b.bottom()) || qAbs(lineStart->x() - (areaWidth - 1 - b.right())) <= 1);
                QVERIFY2(width == 100 || w->width() >= w->fontMetrics().horizontalAdvance(w->property("text").toString()), qPrintable(names[i]));
            }
        }
        int pickerLabels = 0;
        // Every label shows its text as written, never as markup.
        for (const QLabel *label : view->findChildren<QLabel *>()) {
            QVERIFY2(label->textFormat() == Qt::PlainText || label->text().isEmpty(), qPrintable(label->text()));
            pickerLabels += label->buddy() == child(view, u"calendar"_s) && label->text() == u"日時"_s;
        }
        QCOMPARE(pickerLabels, 1);
        // The time field is heard apart from the calendar, and the month grid says its date.
        view->setDateTime(QDateTime(QDate(2024, 2, 29), QTime(13, 18)));
        QCOMPARE(std::pair(child(view, u"time"_s)->accessibleName(), child(view, u"qt_calendar_calendarview"_s)->accessibleDescription()),
                 std::pair(u"時刻"_s, QLocale().toString(QDate(2024, 2, 29), QLocale::LongFormat)));
        // The work area's children are spaced as the panel's: divider, date picker, table, editor, button row.
        const QStringList column{u"divider"_s, u"datePicker"_s, u"sampleTable"_s, u"noteEditor"_s, u"saveButton"_s};
        QList<int> gaps;
        for (qsizetype i = 1; i < column.size(); ++i)
            gaps << child(view, column[i])->y() - child(view, column[i - 1])->geometry().bottom() - 1;
        QCOMPARE(gaps, QList<int>(4, 20));

        const QString tables[] = {u"猫|Cat|エサ|鳩|Bird|鳥の餌|雀|Bird|鳥の餌|カラス|Bird|鳥の餌|"_s,
                                  u"パン|食品|2|おにぎり|食品|0|お菓子|食品|1|乾物|食品|1|"_s,
                                  u"風景1|平坦|南北|風景2|坂道|東西|風景3|平坦|北南|風景4|坂道|西東|"_s,
                                  u"猫レスキュー|平坦|暗所|猫レスキュー|高所|暗所|猫レスキュー|平坦|餌やり|鳥レスキュー|高所|餌やり|"_s,
                                  u"猫レスキュー|親猫から|餌やり|猫レスキュー|子猫から|餌やり|猫レスキュー|保温|ミルクやり|鳥レスキュー|親鳥から|餌やり|"_s};
        const QAbstractItemModel *table = child<QTableView>(view, u"sampleTable"_s)->model();
        // The change button steps through tables 2 to 5 and back to 1; nothing is editable.
        for (const int number : {1, 2, 3, 4, 5, 1}) {
            QString shown;
            for (int cell = 0; cell < table->rowCount() * table->columnCount(); ++cell) {
                const QModelIndex item = table->index(cell / 3, cell % 3);
                shown += item.data().toString() + u'|';
                QVERIFY(!(item.flags() & (Qt::ItemIsEditable | Qt::ItemIsSelectable)));
            }
            QCOMPARE(std::pair(view->peopleNum(), shown), std::pair(number, tables[number - 1]));
            QTest::mouseClick(child(view, u"changeButton"_s), Qt::LeftButton);
        }
    }

    void waitTask()
    {
        m_wait = 800ms;
        View view = unlocked();
        QElapsedTimer clock;
        clock.start();
        const auto doneAt = [&] {
            (void)QTest::qWaitFor([&] { return view->text() == u"Done"_s; }, 5000);
            return clock.elapsed();
        };
        // Two presses 300 ms apart: each writes at once, and each wait ends its
        // whole interval after its own press, on a timer that is never early.
        QTest::mouseClick(child(view, u"threadButton"_s), Qt::LeftButton);
        QCOMPARE(view->text(), u"スレッド"_s);
        QTest::qWait(300);
        const qint64 second = clock.elapsed();
        QTest::mouseClick(child(view, u"threadButton"_s), Qt::LeftButton);
        QCOMPARE(view->text(), u"スレッド"_s);
        const qint64 firstDone = doneAt();
        QVERIFY2(firstDone >= 800 && firstDone < second + 800, qPrintable(QString::number(firstDone)));
        view->setText(u"スレッド"_s);
        const qint64 secondDone = doneAt();
        QVERIFY2(secondDone >= second + 800 && secondDone < second + 1300, qPrintable(QString::number(secondDone)));
        // A window closed with a wait pending takes the wait with it.
        QTest::mouseClick(child(view, u"threadButton"_s), Qt::LeftButton);
        const QPointer<WaitTask> pending = view->findChild<WaitTask *>();
        QVERIFY(pending);
        view.reset();
        QVERIFY(!pending);
    }
    // Every text whole, with larger desktop fonts, in the small windows and
    // the main view (its line under the lock, its alert); each scale factor is
    // a run of its own (tests/main_window/CMakeLists.txt).
    void textsWhole_data()
    {
        QTest::addColumn<int>("points");
        for (const int points : {0, 12, 14}) // 0: Qt's own
            QTest::addRow("%d pt", points) << points;
    }
    void textsWhole()
    {
        QFETCH(int, points);
        const QFont original = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(original); });
        QApplication::setFont(QFont(original.family(), points ? points : original.pointSize()));
        SettingsView settings(*m_store);
        settings.show();
        FingerprintPrompt prompt(TouchIdAction::promptTexts(), u"Touch IDで本人確認を行います"_s, nullptr);
        prompt.show();
        QStringList cut = cutTexts(&settings) + cutTexts(&prompt);
        prompt.setHint(u"指を一度離してから、もう一度触れてください"_s); // the longest a retry brings
        m_grant = false;
        m_refusal = AuthorizationStatus::actionNotInstalled;
        const View locked = makeView();
        m_grant = true;
        m_fingerprint.setup = {true, {}, 1, false, u"指紋リーダーは別の操作で使用中です"_s};
        const View view = makeView();
        view->resize(YumekazuApp::initialContentSize(view->screen()->availableGeometry().size()));
        for (const View *each : {&locked, &view}) { // the locked one at its own preferred size
            ScreenFit::fit(each->get());
            (*each)->lockAction();
        }
        view->authenticateWithTouchID();
        QTRY_VERIFY(view->showAlert());
        cut << cutTexts(&prompt) << cutTexts(locked.get()) << cutTexts(view.get()) << cutTexts(view->findChild<QMessageBox *>());
        m_fingerprint.setup = {};
        const View work = unlocked(); // the work area, in a window of the size a new one has
        work->resize(view->size());
        cut << cutTexts(work.get());
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u"; "_s)));
        // The line under the lock is a notification a screen reader reads out, and the button's description.
        const QString line = AuthorizationController::describe(AuthorizationObstacle::actionNotInstalled);
        QAccessibleInterface *notice = QAccessible::queryAccessibleInterface(child(locked, u"lockObstacle"_s));
        QCOMPARE(std::tuple(locked->lockObstacle(), notice->role(), notice->state().invisible ? QString() : notice->text(QAccessible::Name),
                            child(locked, u"lockButton"_s)->accessibleDescription()),
                 std::tuple(line, QAccessible::Notification, line, line));
    }
};

YUMEKAZU_TEST_MAIN(TestMainView)
#include "test_main_view.moc"
