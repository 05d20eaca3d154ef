#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"
#include "platform/windowing/WindowSystem.h"
#include "tabs/TabActions.h"
#include "tabs/TabOperations.h"
#include "tabs/WindowAccessor.h"

#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTabBar>

#include <iostream>
#include <sstream>

using namespace Qt::StringLiterals;

namespace {

// The key window is whatever the test says: activation is the desktop's business.
class ChosenKeyWindow : public WindowSystem {
public:
    QPointer<HostWindow> key;
    [[nodiscard]] HostWindow *keyWindow() const override { return key; }
};

// What a main view holds of the tab layer: its tab actions, told of the
// hosting window by an accessor, as the view's heading tells them.
struct TabbedContent : QWidget {
    explicit TabbedContent(WindowSystem *windows) : tabs(windows) { new WindowAccessor([this](HostWindow *w) { (void)tabs.hostedBy(w); }, this); }
    TabActions tabs;
};

} // namespace

class TestTabs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    PreferenceStore m_store{m_dir.filePath(u"preferences.ini"_s)};
    ChosenKeyWindow m_windows;

    // A top-level group holding `tabs` fresh main windows, the second one key.
    std::unique_ptr<TabGroupWindow> makeGroup(int tabs)
    {
        auto group = std::make_unique<TabGroupWindow>();
        for (int i = 0; i < tabs; ++i)
            group->addTabbedWindow(m_windows.makeMainWindow(), nullptr, TabGroupWindow::Ordering::Above);
        group->show();
        QCoreApplication::processEvents();
        m_windows.key = group->windows().value(1);
        if (m_windows.key)
            group->makeKey(m_windows.key);
        return group;
    }

private Q_SLOTS:
    void init()
    {
        m_windows.makeMainWindow = [this] { return new HostWindow(new TabbedContent(&m_windows), u"Yumekazu"_s); };
    }

    void accessorAndList()
    {
        std::ostringstream out;
        const auto restore = qScopeGuard([old = std::cout.rdbuf(out.rdbuf())] { std::cout.rdbuf(old); });
        listAllWindowTabs(m_windows);
        // Each accessor reports its window once, not while it is made but a turn
        // later: every tab of a group of three counts three.
        const auto group = makeGroup(3);
        for (HostWindow *window : group->windows())
            QCOMPARE(static_cast<TabbedContent *>(window->content())->tabs.window(), window);
        group->windows()[0]->setWindowTitle(QString());
        group->windows()[1]->setWindowTitle(u"メモ"_s);
        listAllWindowTabs(m_windows);
        QCOMPARE(QString::fromStdString(out.str()), u"No tab group found\nTab count: 3\nTab count: 3\nTab count: 3\nTab 0: \nTab 1: メモ\nTab 2: Yumekazu\n"_s);
    }

    // Selecting from the second of three tabs: a tab that exists comes to the front.
    void selectTab()
    {
        for (const auto &[tabs, index, selected] : {std::tuple(3, 0, 0), {3, 2, 2}, {3, 3, 1}, {3, -1, 1}, {1, 0, 0}}) {
            const auto group = makeGroup(tabs);
            const bool done = TabActions(&m_windows).selectTab(index);
            QCOMPARE(std::pair(done, group->currentWindow()), std::pair(index == selected && tabs > 1, group->windows()[selected]));
        }
    }

    void addNewTab()
    {
        const auto lone = makeGroup(1);
        TabActions(&m_windows).addNewTab();
        QCOMPARE(lone->count(), 1); // no key window: nothing to add to
        const auto group = makeGroup(3);
        HostWindow *key = m_windows.key;
        const auto before = group->windows();
        TabActions(&m_windows).addNewTab();
        // A fresh window, added right after the key window, not brought to the front.
        QCOMPARE(std::tuple(group->count(), group->windows()[1], group->currentWindow(), before.contains(group->windows()[2])), std::tuple(4, key, key, false));
    }

    // A real view in the second of three tabs.
    void viewInGroup()
    {
        m_windows.makeMainWindow = [this] {
            return new HostWindow(new AuthorizationLockView({.store = &m_store, .makeAuthorization = [] {
                return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(true)); }, .windows = &m_windows}), u"Yumekazu"_s);
        };
        m_store.setInteger(PreferenceKeys::intKeyToggle2, 0);
        const auto group = makeGroup(3);
        group->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(group.get()));
        // The keyboard starts on the lock button, not on the tab bar. With the focus
        // elsewhere in the window, the failure's alert still hands it back to the
        // Touch ID button (this window has no fingerprint reader).
        auto *view = qobject_cast<AuthorizationLockView *>(group->currentWindow()->content());
        QCOMPARE(std::pair(WindowSystem().keyWindow(), QApplication::focusWidget()), std::pair(group->currentWindow(), view->findChild<QWidget *>(u"lockButton"_s)));
        view->lockAction();
        group->findChild<QTabBar *>()->setFocus();
        view->authenticateWithTouchID();
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeWindow()));
        QTest::keyClick(QApplication::activeWindow(), Qt::Key_Escape);
        QTRY_COMPARE(QApplication::focusWidget(), view->findChild<QWidget *>(u"touchIdButton"_s));
        // The view shows its group's count, then the tab it selects; the switch
        // is read again whether or not a tab is selected.
        const auto *line = view->findChild<QLabel *>(u"animalLine"_s);
        m_store.setInteger(PreferenceKeys::intKeyToggle2, 1);
        view->selectTab(3);
        QCOMPARE(std::tuple(view->hostWindow(), line->isVisibleTo(view), line->text()), std::tuple(group->windows()[1], true, u"🐱🐤3"_s));
        view->selectTab(2);
        QCOMPARE(line->text(), u"🐱🐤2"_s);
    }
};

YUMEKAZU_TEST_MAIN(TestTabs)
#include "test_tabs.moc"
