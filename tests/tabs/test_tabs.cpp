#include "auth/AuthorizationController.h"
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
#include <QTemporaryDir>

#include <iostream>
#include <memory>
#include <sstream>

using namespace Qt::StringLiterals;

namespace {

// Collects what the code under test prints on standard output.
class CapturedOutput {
public:
    CapturedOutput() : m_old(std::cout.rdbuf(m_buffer.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(m_old); }
    [[nodiscard]] QString text() const { return QString::fromStdString(m_buffer.str()); }

private:
    std::ostringstream m_buffer;
    std::streambuf *m_old;
};

// The key window is whatever the test says: activation is the desktop's business.
class ChosenKeyWindow : public WindowSystem {
public:
    QPointer<HostWindow> key;
    [[nodiscard]] HostWindow *keyWindow() const override { return key; }
};

} // namespace

class TestTabs : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storeDir;
    std::unique_ptr<PreferenceStore> m_store;
    ChosenKeyWindow m_windows;

    HostWindow *makeMainWindow()
    {
        MainViewServices services;
        services.store = m_store.get();
        services.windows = &m_windows;
        return new HostWindow(new AuthorizationLockView(services));
    }
    static AuthorizationLockView *viewOf(HostWindow *window)
    {
        return qobject_cast<AuthorizationLockView *>(window->content());
    }
    // A top-level group holding `tabs` fresh main windows, shown and settled.
    std::unique_ptr<TabGroupWindow> makeGroup(int tabs)
    {
        auto group = std::make_unique<TabGroupWindow>();
        for (int i = 0; i < tabs; ++i)
            group->addTabbedWindow(makeMainWindow(), nullptr, TabGroupWindow::Ordering::Above);
        group->show();
        QCoreApplication::processEvents();
        return group;
    }

private Q_SLOTS:
    void init()
    {
        // A fresh directory per test: a file left by another run must not leak in.
        m_storeDir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<PreferenceStore>(m_storeDir->filePath(u"preferences.ini"_s));
        m_windows.makeMainWindow = [this] { return makeMainWindow(); };
        m_windows.key = nullptr;
    }
    void cleanup()
    {
        m_store.reset();
        m_storeDir.reset();
    }

    void accessorIsDeferred_data()
    {
        QTest::addColumn<bool>("hosted");
        QTest::newRow("in a window") << true;
        QTest::newRow("in no window") << false;
    }
    void accessorIsDeferred()
    {
        QFETCH(bool, hosted);
        int calls = 0;
        HostWindow *received = nullptr;
        auto *label = new QLabel(u"heading"_s);
        std::unique_ptr<QWidget> owner(hosted ? static_cast<QWidget *>(new HostWindow(label)) : label);
        new WindowAccessor([&](HostWindow *window) { ++calls; received = window; }, label);
        QCOMPARE(calls, 0);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        QCOMPARE(received, hosted ? static_cast<HostWindow *>(owner.get()) : nullptr);
    }

    void accessorCountsTabs_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::newRow("one tab") << 1;
        QTest::newRow("three tabs") << 3;
    }
    void accessorCountsTabs()
    {
        QFETCH(int, tabs);
        CapturedOutput out;
        const auto group = makeGroup(tabs);
        // Every view reports once, with the count of the group at its own turn.
        QCOMPARE(out.text().count(u"Tab count: "_s), tabs);
        QVERIFY(out.text().endsWith(u"Tab count: %1\n"_s.arg(tabs)));
        AuthorizationLockView *last = viewOf(group->windows().constLast());
        QCOMPARE(last->winIndex(), tabs);
        QCOMPARE(last->hostWindow(), group->windows().constLast());
    }

    void listTabs()
    {
        {
            CapturedOutput out;
            listAllWindowTabs(m_windows);
            QCOMPARE(out.text(), u"No tab group found\n"_s);
        }
        const auto group = makeGroup(2);
        group->windows()[0]->setWindowTitle(QString());
        group->windows()[1]->setWindowTitle(u"メモ"_s);
        m_windows.key = group->windows()[0];
        CapturedOutput out;
        listAllWindowTabs(m_windows);
        QCOMPARE(out.text(), u"Tab 0: \nTab 1: メモ\n"_s);
    }

    void selectTab_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("selects");
        QTest::newRow("first") << 0 << true;
        QTest::newRow("last") << 2 << true;
        QTest::newRow("one past the end") << 3 << false;
        QTest::newRow("negative") << -1 << false;
    }
    void selectTab()
    {
        QFETCH(int, index);
        QFETCH(bool, selects);
        const auto group = makeGroup(3);
        m_windows.key = group->windows()[1];
        group->makeKey(group->windows()[1]);
        AuthorizationLockView *view = viewOf(group->windows()[1]);
        m_store->setInteger(PreferenceKeys::intKeyToggle2, 1);
        QCOMPARE(view->sp2(), 0);
        const int before = view->winIndex();
        view->selectTab(index);
        QCOMPARE(view->sp2(), 1);
        QCOMPARE(view->winIndex(), selects ? index : before);
        QCOMPARE(group->currentWindow(), group->windows()[selects ? index : 1]);
    }

    void withoutKeyWindow()
    {
        const auto group = makeGroup(1);
        AuthorizationLockView *view = viewOf(group->windows()[0]);
        m_store->setInteger(PreferenceKeys::intKeyToggle2, 1);
        view->addNewTab();
        view->selectTab(0);
        QCOMPARE(group->count(), 1);
        QCOMPARE(view->sp2(), 1);
    }

    void addNewTab()
    {
        const auto group = makeGroup(1);
        HostWindow *first = group->windows()[0];
        m_windows.key = first;
        viewOf(first)->addNewTab();
        QCOMPARE(group->count(), 2);
        QCOMPARE(group->windows()[0], first);
        // Not brought to the front by the action, and locked on its own.
        QCOMPARE(group->currentWindow(), first);
        AuthorizationLockView *added = viewOf(group->windows()[1]);
        QVERIFY(added != viewOf(first));
        QVERIFY(!added->unlocked());
    }

    void keyWindowIsTheActiveGroup()
    {
        const auto group = makeGroup(2);
        group->activateWindow();
        if (!QTest::qWaitForWindowActive(group.get()))
            QSKIP("This platform does not activate windows");
        QCOMPARE(WindowSystem().keyWindow(), group->currentWindow());
    }
};

YUMEKAZU_TEST_MAIN(TestTabs)
#include "test_tabs.moc"
