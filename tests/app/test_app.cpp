#include "app/HelpCommands.h"
#include "app/SettingsView.h"
#include "app/WrappingCheckBox.h"
#include "app/YumekazuApp.h"
#include "background/WaitTask.h"
#include "classifier/MyModel.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/UrlOpener.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// Records what would be handed to the desktop instead of opening a browser.
struct RecordingOpener : UrlOpener {
    QList<QUrl> opened;
    bool open(const QUrl &url) override { return opened.append(url), true; }
};

QMenu *menuTitled(QMenuBar *bar, const QString &title)
{
    const auto actions = bar->actions();
    const auto it = std::ranges::find(actions, title, &QAction::text);
    return it == actions.end() ? nullptr : (*it)->menu();
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PreferenceStore> m_store;
    RecordingOpener m_opener;

    std::unique_ptr<YumekazuApp> makeApp(const QString &resources = {})
    {
        return std::make_unique<YumekazuApp>(YumekazuApp::Platform{
            .store = m_store.get(), .opener = &m_opener, .localAuthentication = nullptr, .panels = nullptr, .bundle = Bundle(resources.isEmpty() ? m_dir->path() : resources)});
    }

private Q_SLOTS:
    void init()
    {
        // A fresh directory per test: a file left by another test must not leak in.
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<PreferenceStore>(m_dir->filePath(u"preferences.ini"_s));
        m_opener.opened.clear();
    }

    void settingsSwitches_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label");
        QTest::newRow("open rtf") << 0 << u"読込はrtfにする（拡張子txt推奨）"_s;
        QTest::newRow("animals") << 1 << u"indexの近くに動物を表示（再起動必要）"_s;
        QTest::newRow("paragraph") << 2 << u"起動時に文例を表示（再起動必要）"_s;
    }
    void settingsSwitches()
    {
        QFETCH(int, index);
        QFETCH(QString, label);
        const QStringList keys{u"IntKeyToggle1"_s, u"IntKeyToggle2"_s, u"IntKeyToggle3"_s};
        const auto stored = [&] { return std::ranges::count_if(keys, [&](const QString &k) { return m_store->contains(k); }); };
        SettingsView view(*m_store);
        view.show();
        view.resize(500, 500);
        auto *toggle = view.findChild<WrappingCheckBox *>(u"toggle%1"_s.arg(index + 1));
        // The whole label can be read, the row sits in the middle and fills the width.
        QCOMPARE(std::tuple(view.minimumSize(), view.size(), toggle->text()), std::tuple(QSize(100, 100), QSize(200, 200), label));
        QVERIFY(view.rect().contains(toggle->geometry()) && toggle->rect().contains(toggle->textRect()));
        QVERIFY(qAbs(toggle->geometry().center().y() - 100) <= 1);
        QCOMPARE(index == 0 ? toggle->x() : index == 2 ? 199 - toggle->geometry().right() : 0, 0);
        // Off on a fresh store, which holds none of the keys until a switch is flipped.
        QVERIFY(!toggle->isChecked() && stored() == 0);
        // A click on the text's last line, away from the box, flips the switch; so
        // does assistive technology, which toggles without a click.
        QTest::mouseClick(toggle, Qt::LeftButton, {}, toggle->textRect().bottomLeft() + QPoint(2, -2));
        QCOMPARE(std::pair(stored(), m_store->string(keys[index])), std::pair(qsizetype(1), std::optional(u"1"_s)));
        toggle->toggle();
        QCOMPARE(m_store->string(keys[index]), u"0"_s);
        // Values set elsewhere show at once; a hand-set 2 is not "on".
        for (const int value : {1, 2, 1}) {
            m_store->setInteger(keys[index], value);
            QCOMPARE(toggle->isChecked(), value == 1);
        }
        QVERIFY(SettingsView(*m_store).findChild<QCheckBox *>(toggle->objectName())->isChecked());
    }

    void helpMenu_data()
    {
        QTest::addColumn<bool>("manualPresent");
        QTest::newRow("manual present") << true;
        QTest::newRow("manual missing") << false;
    }
    void helpMenu()
    {
        QFETCH(bool, manualPresent);
        const QString manual = m_dir->filePath(u"Yumekazu.pdf"_s);
        QVERIFY(!manualPresent || QFile(manual).open(QIODevice::WriteOnly));
        QMenu menu;
        HelpCommands::fill(&menu, m_opener, Bundle(m_dir->path()));
        QStringList items;
        for (QAction *item : menu.actions())
            items << item->text() + (item->isEnabled() ? u""_s : u" (disabled)"_s) + item->shortcut().toString();
        QCOMPARE(items, (QStringList{u"Yumekazu ヘルプ…"_s, u"オンラインヘルプ…"_s, u"添付マニュアルをお読みください"_s}));
        for (const int item : {0, 1, 2, 2})
            menu.actions()[item]->trigger();
        QList<QUrl> expected{QUrl(HelpCommands::onlineHelpAddress)};
        if (manualPresent)
            expected << QUrl::fromLocalFile(manual) << QUrl::fromLocalFile(manual);
        QCOMPARE(m_opener.opened, expected);
    }

    void windowLimits_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<QSize>("request");
        QTest::addColumn<QSize>("content");
        QTest::newRow("one tab, shrunk") << 1 << QSize(1, 1) << QSize(100, 100);
        QTest::newRow("one tab, grown") << 1 << QSize(1200, 1200) << QSize(450, 800);
        QTest::newRow("two tabs, shrunk") << 2 << QSize(1, 1) << QSize(100, 100);
        QTest::newRow("two tabs, grown") << 2 << QSize(1200, 1200) << QSize(450, 800);
    }
    void windowLimits()
    {
        QFETCH(int, tabs);
        QFETCH(QSize, request);
        QFETCH(QSize, content);
        QCOMPARE(std::pair(YumekazuApp::initialContentSize({1920, 1080}), YumekazuApp::initialContentSize({80, 700})),
                 std::pair(QSize(400, 800), QSize(100, 700)));
        const auto app = makeApp();
        TabGroupWindow *group = app->openNewWindow();
        if (tabs > 1)
            group->addTabbedWindow(app->makeMainWindow(), nullptr, TabGroupWindow::Ordering::Above);
        group->resize(request);
        QCoreApplication::processEvents();
        HostWindow *host = group->currentWindow();
        // With two tabs the tab bar's own minimum width may be the larger.
        const int barWidth = tabs > 1 ? group->findChild<QTabBar *>()->minimumSizeHint().width() : 0;
        // The frame holds the content and nothing more.
        QCOMPARE(std::pair(host->content()->size(), host->size()), std::pair(content.expandedTo(QSize(barWidth, 0)), host->content()->size()));
        // A frame forced larger, as a window manager may do, centres the content.
        group->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        group->resize(1200, 1200);
        QCoreApplication::processEvents();
        QCOMPARE(host->content()->size(), QSize(450, 800));
        QVERIFY((host->content()->geometry().center() - host->rect().center()).manhattanLength() <= 1);
    }

    void windowsAndMenus()
    {
        auto app = makeApp(qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR"));
        TabGroupWindow *first = app->openNewWindow();
        auto *view = first->findChild<AuthorizationLockView *>();
        const MyModel *const model = view->model();
        QVERIFY(first->isVisible() && !view->unlocked() && model);
        // Reloading the bundled model changes nothing the user could see.
        view->reloadModel();
        QVERIFY(view->model() == model && !view->result() && !QApplication::activeModalWidget());
        // The wait task of a real window waits eight seconds, on a precise timer.
        view->startWaitTask();
        const auto *timer = view->findChild<WaitTask *>()->findChild<QTimer *>();
        QCOMPARE(std::pair(timer->interval(), timer->timerType()), std::pair(8000, Qt::PreciseTimer));
        QStringList shortcuts;
        for (const auto *menu : {menuTitled(first->menuBar(), u"ファイル"_s), menuTitled(first->menuBar(), u"ヘルプ"_s)})
            for (QAction *action : menu->actions())
                shortcuts << action->shortcut().toString(QKeySequence::PortableText);
        QCOMPARE(shortcuts, (QStringList{u"Ctrl+N"_s, u"Ctrl+,"_s, QString(), u"Ctrl+W"_s, u"Ctrl+Q"_s, QString(), QString(), QString()}));

        // One settings window at a time.
        app->showSettings();
        SettingsView *settings = app->settingsView();
        app->showSettings();
        QVERIFY(settings->isVisible() && app->settingsView() == settings);
        settings->close();
        QTRY_VERIFY(!app->settingsView());

        const QPointer<TabGroupWindow> second = app->openNewWindow();
        QVERIFY(second->findChild<AuthorizationLockView *>() != view);
        // The window menu gathers every window into tabs and parts them again;
        // a lone tab stays where it is.
        const auto trigger = [first](const QString &title) {
            for (QAction *action : menuTitled(first->menuBar(), u"ウインドウ"_s)->actions())
                if (action->text() == title)
                    action->trigger();
        };
        trigger(u"すべてのウインドウを結合"_s);
        QCOMPARE(first->count(), 2);
        QTRY_VERIFY(!second || !second->isVisible());
        for (int i = 0; i < 2; ++i) {
            trigger(u"タブを新しいウインドウに移動"_s);
            const auto groups = QApplication::topLevelWidgets();
            QCOMPARE(std::pair(first->count(), std::ranges::count_if(groups, [](QWidget *w) { return qobject_cast<TabGroupWindow *>(w) && w->isVisible(); })),
                     std::pair(1, qsizetype(2)));
        }
        // The windows use the application's services: they go with it.
        const QPointer<TabGroupWindow> window(first);
        app.reset();
        QVERIFY(!window);
    }
};

YUMEKAZU_TEST_MAIN(TestApp)
#include "test_app.moc"
