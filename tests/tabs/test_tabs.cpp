#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"
#include "platform/windowing/WindowSystem.h"
#include "tabs/TabOperations.h"
#include "tabs/WindowAccessor.h"

#include <QLabel>
#include <QScopeGuard>
#include <QTemporaryDir>

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

AuthorizationLockView *viewOf(HostWindow *window)
{
    return qobject_cast<AuthorizationLockView *>(window->content());
}

} // namespace

class TestTabs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_stores = 0;
    std::unique_ptr<PreferenceStore> m_store;
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
        // A fresh store per test: a value left by another test must not leak in.
        m_store = std::make_unique<PreferenceStore>(m_dir.filePath(u"%1.ini"_s.arg(++m_stores)));
        m_windows.makeMainWindow = [this] {
            MainViewServices services;
            services.store = m_store.get();
            services.windows = &m_windows;
            return new HostWindow(new AuthorizationLockView(services));
        };
    }

    void accessorAndList()
    {
        // Not while it is made but soon after, the accessor reports its window, or none, once.
        QList<HostWindow *> received;
        auto *label = new QLabel;
        const std::unique_ptr<QWidget> loose(new QLabel), hosted(new HostWindow(label));
        for (QWidget *parent : {static_cast<QWidget *>(label), loose.get()})
            new WindowAccessor([&](HostWindow *window) { received << window; }, parent);
        QVERIFY(received.isEmpty());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(received, (QList<HostWindow *>{static_cast<HostWindow *>(hosted.get()), nullptr}));

        std::ostringstream out;
        const auto restore = qScopeGuard([old = std::cout.rdbuf(out.rdbuf())] { std::cout.rdbuf(old); });
        listAllWindowTabs(m_windows);
        // Every view reports once, with the count of the group at its own turn.
        m_store->setInteger(PreferenceKeys::intKeyToggle2, 1);
        const auto group = makeGroup(3);
        const auto *last = viewOf(group->windows()[2]);
        QCOMPARE(std::pair(last->hostWindow(), last->findChild<QLabel *>(u"animalLine"_s)->text()), std::pair(group->windows()[2], u"🐱🐤3"_s));
        group->windows()[0]->setWindowTitle(QString());
        group->windows()[1]->setWindowTitle(u"メモ"_s);
        listAllWindowTabs(m_windows);
        QCOMPARE(QString::fromStdString(out.str()), u"No tab group found\nTab count: 3\nTab count: 3\nTab count: 3\nTab 0: \nTab 1: メモ\nTab 2: Yumekazu\n"_s);
    }

    void selectTab_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("selected");
        QTest::newRow("first") << 3 << 0 << 0;
        QTest::newRow("last") << 3 << 2 << 2;
        QTest::newRow("one past the end") << 3 << 3 << 1;
        QTest::newRow("negative") << 3 << -1 << 1;
        QTest::newRow("no key window") << 1 << 0 << 0;
    }
    void selectTab()
    {
        QFETCH(int, tabs);
        QFETCH(int, index);
        QFETCH(int, selected);
        const auto group = makeGroup(tabs);
        AuthorizationLockView *view = viewOf(group->windows().value(1, group->windows()[0]));
        m_store->setInteger(PreferenceKeys::intKeyToggle2, 1);
        const int before = view->winIndex();
        view->selectTab(index);
        // The switch is read again whether or not a tab is selected.
        QCOMPARE(std::tuple(view->sp2(), view->winIndex(), group->currentWindow()),
                 std::tuple(1, index == selected && tabs > 1 ? index : before, group->windows()[selected]));
    }

    void addNewTab()
    {
        const auto lone = makeGroup(1);
        viewOf(lone->windows()[0])->addNewTab();
        QCOMPARE(lone->count(), 1); // no key window: nothing to add to
        const auto group = makeGroup(3);
        HostWindow *key = m_windows.key;
        const auto before = group->windows();
        viewOf(key)->addNewTab();
        // Added right after the key window, not brought to the front, and locked on its own.
        QCOMPARE(std::tuple(group->count(), group->windows()[1], group->currentWindow()), std::tuple(4, key, key));
        QVERIFY(!before.contains(group->windows()[2]) && !viewOf(group->windows()[2])->unlocked());
    }

    void keyWindowIsTheActiveGroup()
    {
        const auto group = makeGroup(2);
        group->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(group.get()));
        QCOMPARE(WindowSystem().keyWindow(), group->currentWindow());
    }
};

YUMEKAZU_TEST_MAIN(TestTabs)
#include "test_tabs.moc"
