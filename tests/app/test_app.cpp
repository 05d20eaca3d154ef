#include "app/HelpCommands.h"
#include "app/SettingsView.h"
#include "app/YumekazuApp.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "classifier/MyModel.h"
#include "platform/core/Bundle.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/UrlOpener.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Records what would be handed to the desktop instead of opening a browser.
class RecordingOpener : public UrlOpener {
public:
    QList<QUrl> opened;
    bool open(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
};

QMenu *menuTitled(QMenuBar *bar, const QString &title)
{
    for (QAction *action : bar->actions())
        if (action->text() == title)
            return action->menu();
    return nullptr;
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storeDir;
    std::unique_ptr<PreferenceStore> m_store;
    QTemporaryDir m_resources;

private Q_SLOTS:
    void init()
    {
        // A fresh directory per test: a file left by another run must not leak in.
        m_storeDir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<PreferenceStore>(m_storeDir->filePath(u"preferences.ini"_s));
    }
    void cleanup()
    {
        m_store.reset();
        m_storeDir.reset();
    }

    void settingsSwitches_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("label");
        QTest::newRow("open rtf") << 0 << u"IntKeyToggle1"_s << u"読込はrtfにする（拡張子txt推奨）"_s;
        QTest::newRow("animals") << 1 << u"IntKeyToggle2"_s << u"indexの近くに動物を表示（再起動必要）"_s;
        QTest::newRow("paragraph") << 2 << u"IntKeyToggle3"_s << u"起動時に文例を表示（再起動必要）"_s;
    }
    void settingsSwitches()
    {
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QString, label);
        SettingsView view(*m_store);
        view.show();
        QVERIFY(view.width() <= 200 && view.height() <= 200);
        QCOMPARE(view.minimumSize(), QSize(100, 100));
        auto *toggle = view.findChild<QCheckBox *>(u"toggle%1"_s.arg(index + 1));
        QVERIFY(toggle);
        QVERIFY(!toggle->isChecked());
        bool labelled = false;
        for (const QLabel *text : view.findChildren<QLabel *>())
            labelled |= text->text() == label && text->wordWrap() && text->buddy() == toggle;
        QVERIFY(labelled);
        // A fresh store holds none of the keys until a switch is flipped.
        for (const QString &k : {u"IntKeyToggle1"_s, u"IntKeyToggle2"_s, u"IntKeyToggle3"_s})
            QVERIFY(!m_store->contains(k));

        toggle->click();
        QCOMPARE(m_store->string(key), u"1"_s);
        int present = 0;
        for (const QString &k : {u"IntKeyToggle1"_s, u"IntKeyToggle2"_s, u"IntKeyToggle3"_s})
            present += m_store->contains(k);
        QCOMPARE(present, 1);
        toggle->click();
        QCOMPARE(m_store->integer(key), 0);

        // Values set elsewhere show at once; a hand-set 2 is not "on".
        m_store->setInteger(key, 1);
        QVERIFY(toggle->isChecked());
        m_store->setInteger(key, 2);
        QVERIFY(!toggle->isChecked());
        SettingsView reopened(*m_store);
        m_store->setInteger(key, 1);
        QVERIFY(SettingsView(*m_store).findChild<QCheckBox *>(u"toggle%1"_s.arg(index + 1))->isChecked());
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
        QTemporaryDir resources;
        if (manualPresent) {
            QFile pdf(resources.filePath(u"Yumekazu.pdf"_s));
            QVERIFY(pdf.open(QIODevice::WriteOnly));
            pdf.write("%PDF-1.4\n");
        }
        RecordingOpener opener;
        QMenu menu;
        HelpCommands::fill(&menu, opener, Bundle(resources.path()));
        const auto items = menu.actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), u"Yumekazu ヘルプ…"_s);
        QCOMPARE(items[1]->text(), u"オンラインヘルプ…"_s);
        QCOMPARE(items[2]->text(), u"添付マニュアルをお読みください"_s);
        for (QAction *item : items)
            QVERIFY(item->isEnabled());

        items[0]->trigger();
        QCOMPARE(opener.opened, QList<QUrl>{QUrl(HelpCommands::onlineHelpAddress)});
        items[1]->trigger();
        QCOMPARE(opener.opened.size(), 1);
        items[2]->trigger();
        items[2]->trigger();
        const QUrl manual = QUrl::fromLocalFile(resources.filePath(u"Yumekazu.pdf"_s));
        if (manualPresent)
            QCOMPARE(opener.opened.mid(1), (QList<QUrl>{manual, manual}));
        else
            QCOMPARE(opener.opened.size(), 1);
    }

    void initialSize_data()
    {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("large screen") << QSize(1920, 1080) << QSize(400, 800);
        QTest::newRow("short screen") << QSize(1366, 700) << QSize(400, 700);
        QTest::newRow("tiny screen") << QSize(80, 90) << QSize(100, 100);
    }
    void initialSize()
    {
        QFETCH(QSize, available);
        QFETCH(QSize, expected);
        QCOMPARE(YumekazuApp::initialContentSize(available), expected);
    }

    void windowsAndMenus()
    {
        RecordingOpener opener;
        YumekazuApp::Platform platform;
        platform.store = m_store.get();
        platform.opener = &opener;
        platform.bundle = Bundle(m_resources.path());
        YumekazuApp app(platform);
        TabGroupWindow *first = app.openNewWindow();
        QVERIFY(first->isVisible());
        auto *view = first->findChild<AuthorizationLockView *>();
        QVERIFY(view);
        QCOMPARE(view->maximumSize(), QSize(450, 800));
        QCOMPARE(view->minimumSize(), QSize(100, 100));
        QVERIFY(!view->unlocked());

        QMenu *file = menuTitled(first->menuBar(), u"ファイル"_s);
        QVERIFY(file);
        QStringList shortcuts;
        for (QAction *action : file->actions())
            shortcuts << action->shortcut().toString(QKeySequence::PortableText);
        QVERIFY(shortcuts.contains(u"Ctrl+N"_s));
        QVERIFY(shortcuts.contains(u"Ctrl+,"_s));
        QVERIFY(shortcuts.contains(u"Ctrl+Q"_s));
        QVERIFY(menuTitled(first->menuBar(), u"ヘルプ"_s));
        QCOMPARE(menuTitled(first->menuBar(), u"ヘルプ"_s)->actions().size(), 3);

        // One settings window at a time.
        app.showSettings();
        SettingsView *settings = app.settingsView();
        QVERIFY(settings && settings->isVisible());
        app.showSettings();
        QCOMPARE(app.settingsView(), settings);
        settings->close();
        QTRY_VERIFY(!app.settingsView());

        TabGroupWindow *second = app.openNewWindow();
        QVERIFY(second != first);
        QVERIFY(second->findChild<AuthorizationLockView *>() != view);

        // The window menu gathers every window into tabs and parts them again.
        const auto trigger = [](TabGroupWindow *group, const QString &title) {
            for (QAction *action : menuTitled(group->menuBar(), u"ウインドウ"_s)->actions())
                if (action->text() == title)
                    action->trigger();
        };
        const QPointer<TabGroupWindow> emptied(second);
        trigger(first, u"すべてのウインドウを結合"_s);
        QCOMPARE(first->count(), 2);
        QTRY_VERIFY(!emptied || !emptied->isVisible());
        trigger(first, u"タブを新しいウインドウに移動"_s);
        QCOMPARE(first->count(), 1);
        int groups = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *group = qobject_cast<TabGroupWindow *>(widget); group && group->isVisible())
                ++groups;
        QCOMPARE(groups, 2);
        // A lone tab stays where it is.
        trigger(first, u"タブを新しいウインドウに移動"_s);
        QCOMPARE(first->count(), 1);
    }

    void modelAndReload_data()
    {
        QTest::addColumn<QString>("resources");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("bundled model") << qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR") << true;
        QTest::newRow("no model") << m_resources.path() << false;
    }
    void modelAndReload()
    {
        QFETCH(QString, resources);
        QFETCH(bool, loaded);
        RecordingOpener opener;
        YumekazuApp::Platform platform;
        platform.store = m_store.get();
        platform.opener = &opener;
        platform.bundle = Bundle(resources);
        YumekazuApp app(platform);
        auto *view = app.openNewWindow()->findChild<AuthorizationLockView *>();
        QVERIFY(view);
        QCOMPARE(view->model() != nullptr, loaded);
        // Reloading changes nothing the user could see, with or without a model.
        const MyModel *const model = view->model();
        view->reloadModel();
        QCOMPARE(view->model(), model);
        QVERIFY(!view->result());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void appTakesItsWindowsAlong()
    {
        QPointer<TabGroupWindow> window;
        {
            RecordingOpener opener;
            YumekazuApp::Platform platform;
            platform.store = m_store.get();
            platform.opener = &opener;
            YumekazuApp app(platform);
            window = app.openNewWindow();
        }
        QVERIFY(!window);
    }
};

YUMEKAZU_TEST_MAIN(TestApp)
#include "test_app.moc"
