#include "app/ApplicationService.h"
#include "app/HelpCommands.h"
#include "app/SettingsView.h"
#include "app/YumekazuApp.h"
#include "background/WaitTask.h"
#include "classifier/MyModel.h"
#include "common/FakeGates.h"
#include "common/TestMain.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "main_window/StorageWarning.h"
#include "platform/core/PreferenceFile.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/UrlOpener.h"
#include "platform/dialogs/QtPanelFactory.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"

#include <QCheckBox>
#include <QDBusConnectionInterface>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

const QString resources = qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR");

// Runs a tool and returns its standard output, or nothing on failure.
std::optional<QString> runTool(const QString &program, const QStringList &arguments,
                               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text layer as a viewer's search sees it; pdftotext may break a phrase.
QString pdfText(const QString &path, const QStringList &pages = {})
{
    return runTool(u"pdftotext"_s, pages + QStringList{u"-enc"_s, u"UTF-8"_s, path, u"-"_s}).value_or(QString()).remove(QRegularExpression(u"[\\n\\r]"_s));
}

// How far from the top of the X server's stacking order the window of a process is.
qsizetype stackPosition(qint64 pid)
{
    const auto lines = [](const QString &program, const QStringList &arguments) { return runTool(program, arguments).value_or(QString()).split(u'\n'); };
    const QString id = u"0x%1 "_s.arg(lines(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid)}).value(0).toULongLong(), 0, 16);
    const QStringList stack = lines(u"xwininfo"_s, {u"-root"_s, u"-children"_s});
    return std::ranges::find_if(stack, [&](const QString &l) { return l.trimmed().startsWith(id); }) - stack.cbegin();
}

qsizetype visibleGroups()
{
    return std::ranges::count_if(QApplication::topLevelWidgets(), [](QWidget *w) { return qobject_cast<TabGroupWindow *>(w) && w->isVisible(); });
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PreferenceStore> m_store;
    RecordingOpener m_opener;

    std::unique_ptr<YumekazuApp> makeApp(const QString &bundle = {})
    {
        return std::make_unique<YumekazuApp>(AppServices{.store = m_store.get(), .opener = &m_opener, .bundle = Bundle(bundle.isEmpty() ? m_dir->path() : bundle)});
    }

private Q_SLOTS:
    void init()
    {
        // A fresh directory per test: a file left by another test must not leak in.
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<PreferenceStore>(m_dir->filePath(u"preferences.ini"_s));
        m_opener.opened.clear();
    }

    // The window's size and a click on a label's text are checked on a real X
    // server with a window manager (tests/e2e/window-limits).
    void settingsSwitches()
    {
        const QStringList keys{u"IntKeyToggle1"_s, u"IntKeyToggle2"_s, u"IntKeyToggle3"_s};
        SettingsView view(*m_store);
        view.show();
        QCOMPARE(std::pair(view.minimumSize(), view.maximumSize()), std::pair(QSize(100, 100), QSize(200, 200)));
        QStringList labels;
        for (const QCheckBox *toggle : view.findChildren<QCheckBox *>())
            labels << toggle->objectName() + u' ' + toggle->text();
        QCOMPARE(labels, (QStringList{u"toggle1 読込はrtfにする（拡張子txt推奨）"_s, u"toggle2 indexの近くに動物を表示（再起動必要）"_s, u"toggle3 起動時に文例を表示（再起動必要）"_s}));
        for (qsizetype i = 0; i < keys.size(); ++i) {
            auto *toggle = view.findChild<QCheckBox *>(u"toggle%1"_s.arg(i + 1));
            // Off on a fresh store, which holds none of the keys until a switch is flipped;
            // assistive technology toggles without a click.
            QVERIFY(!toggle->isChecked() && !m_store->contains(keys[i]));
            toggle->toggle();
            QCOMPARE(std::pair(m_store->string(keys[i]), m_store->contains(keys.value(i + 1))), std::pair(std::optional(u"1"_s), false));
            toggle->toggle();
            QCOMPARE(m_store->string(keys[i]), u"0"_s);
            // Values set elsewhere show at once; a hand-set 2 is not "on".
            for (const int value : {1, 2, 1}) {
                m_store->setInteger(keys[i], value);
                QCOMPARE(toggle->isChecked(), value == 1);
            }
            QVERIFY(SettingsView(*m_store).findChild<QCheckBox *>(toggle->objectName())->isChecked());
        }
    }

    // The three items in order, none with a shortcut or disabled; the middle one does
    // nothing, and a missing manual is not opened.
    void helpMenu()
    {
        QMenu menu;
        HelpCommands::fill(&menu, m_opener, Bundle(m_dir->path()));
        QStringList items;
        for (QAction *item : menu.actions())
            items << item->text() + (item->isEnabled() ? u""_s : u" (disabled)"_s) + item->shortcut().toString();
        QCOMPARE(items, (QStringList{u"Yumekazu ヘルプ…"_s, u"オンラインヘルプ…"_s, u"添付マニュアルをお読みください"_s}));
        const QString manual = m_dir->filePath(u"Yumekazu.pdf"_s);
        for (const bool present : {false, true}) {
            QVERIFY(!present || writeFile(manual, {}));
            m_opener.opened.clear();
            for (const int item : {0, 1, 2, 2})
                menu.actions()[item]->trigger();
            QCOMPARE(m_opener.opened, (QList<QUrl>{QUrl(HelpCommands::onlineHelpAddress)} + (present ? QList<QUrl>(2, QUrl::fromLocalFile(manual)) : QList<QUrl>())));
        }
    }

    void windowsAndMenus()
    {
        auto app = makeApp(resources);
        TabGroupWindow *first = app->openNewWindow();
        auto *view = first->findChild<AuthorizationLockView *>();
        const MyModel *const model = view->model();
        QVERIFY(first->isVisible() && !view->unlocked() && model);
        QCOMPARE(std::pair(YumekazuApp::initialContentSize({1920, 1080}), YumekazuApp::initialContentSize({80, 700})),
                 std::pair(QSize(400, 800), QSize(100, 700)));
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
        // The frame holds the content and nothing more, within its limits (the tab bar's
        // own minimum width may be the larger); a frame forced larger, as a window manager
        // may do, centres the content. One tab alone: tests/e2e/window-limits.
        HostWindow *host = first->currentWindow();
        const int barWidth = first->findChild<QTabBar *>()->minimumSizeHint().width();
        for (const auto &[request, content] : {std::pair(QSize(1, 1), QSize(100, 100)), {QSize(1200, 1200), QSize(450, 800)}}) {
            first->resize(request);
            QCoreApplication::processEvents();
            QCOMPARE(std::pair(host->content()->size(), host->size()), std::pair(content.expandedTo(QSize(barWidth, 0)), host->content()->size()));
        }
        first->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        first->resize(1200, 1200);
        QCoreApplication::processEvents();
        QVERIFY(host->content()->size() == QSize(450, 800) && (host->content()->geometry().center() - host->rect().center()).manhattanLength() <= 1);
        for (int i = 0; i < 2; ++i) {
            trigger(u"タブを新しいウインドウに移動"_s);
            QCOMPARE(std::pair(first->count(), visibleGroups()), std::pair(1, qsizetype(2)));
        }
        // The windows use the application's services: they go with it.
        const QPointer<TabGroupWindow> window(first);
        app.reset();
        QVERIFY(!window);
    }

    // The real program under the test X server and session bus: a second
    // launch hands over at once and the first brings its window forward.
    void secondLaunchHandsOver()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the test X server and session bus (tests/mocks/with-test-services)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        const QString program = qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/bin/yumekazu"_s;
        QProcess first, alone, second;
        for (QProcess *process : {&first, &second})
            process->setProcessEnvironment(env);
        first.start(program);
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY(bus.interface()->isServiceRegistered(ApplicationService::serviceName));
        QCOMPARE(bus.interface()->servicePid(ApplicationService::serviceName).value(), first.processId());
        // Without a session bus a launch runs on its own; its window comes on top.
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
        alone.setProcessEnvironment(env);
        alone.start(program);
        QVERIFY(alone.waitForStarted());
        QTRY_VERIFY(stackPosition(alone.processId()) < stackPosition(first.processId()));
        second.start(program);
        QVERIFY(second.waitForFinished(1000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(stackPosition(first.processId()) < stackPosition(alone.processId()));
        QCOMPARE(alone.state(), QProcess::Running);
    }

    // Activation opens a locked window only when none is open; a repaired
    // store is reported once, with the place of the kept original.
    void activationAndRepairMessage()
    {
        const QString broken = m_dir->filePath(u"broken.ini"_s);
        QVERIFY(writeFile(broken, "[General]\nStringKey=途中で切れ\xe3"));
        m_store = std::make_unique<PreferenceStore>(broken);
        const auto app = makeApp();
        app->activate();
        app->activate();
        QCOMPARE(visibleGroups(), 1);
        app->openNewWindow();
        QStringList messages;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget))
                messages << box->text();
        QVERIFY2(messages.size() == 1 && messages[0].contains(*m_store->backupPath()), qPrintable(messages.join(u'\n')));
        QCOMPARE(m_store->string(u"StringKey"_s), u"途中で切れ"_s);
    }

    // A viewer's search compares code points: the text layer must name the
    // ideographs themselves, not look-alike radicals.
    void shippedManual()
    {
        const QString manual = resources + u"/Yumekazu.pdf"_s, text = pdfText(manual);
        for (const char *phrase : {"Yumekazu について", "変更するにはカギをクリックします", "Touch IDで認証する", "認証エラー", "日時", "機械学習",
                                   "結果: ", "読込はrtfにする（拡張子txt推奨）", "起動時に文例を表示（再起動必要）", "Yumekazu ヘルプ…",
                                   "添付マニュアルをお読みください", "preferences.ini.broken-", "動物・食べ物・旅行・天気・仕事・健康"})
            QVERIFY2(text.contains(QString::fromUtf8(phrase)), phrase);
        // Each picture of a window sits on the page of the caption that explains it.
        const QStringList captions{u"図：ロックされたウインドウ"_s, u"図：管理者の認証が済み、指紋による本人確認を待つウインドウ"_s,
                                   u"図：指紋が一致しなかったときの警告"_s, u"図：作業エリア"_s, u"図：設定ウインドウ"_s};
        QStringList pages;
        for (const QString &line : runTool(u"pdfimages"_s, {u"-list"_s, manual}).value_or(QString()).split(u'\n')) {
            const QStringList fields = line.simplified().split(u' ');
            if (fields.size() > 4 && fields.at(2) == u"image"_s && fields.at(3).toInt() >= 200)
                pages.append(fields.at(0));
        }
        QCOMPARE(pages.size(), captions.size());
        for (qsizetype i = 0; i < pages.size(); ++i)
            QVERIFY2(pdfText(manual, {u"-f"_s, pages.at(i), u"-l"_s, pages.at(i)}).contains(captions.at(i)), qPrintable(captions.at(i)));
    }

    // The build tool: a failed run must stop the build and leave the last good
    // manual in place, never a truncated one or one with holes for pictures.
    // Characters that share a glyph with look-alikes come back as written, and
    // the body starts after the title page.
    void tool_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("missing source") << QByteArray() << QStringList();
        QTest::newRow("not UTF-8") << QByteArray("# \xff\xfe title\n") << QStringList();
        QTest::newRow("font not installed") << QByteArray("# t\n") << QStringList{u"--font"_s, u"No Such Font 42"_s};
        QTest::newRow("missing picture") << QByteArray("# t\n\n![x](none.png)\n") << QStringList();
        QTest::newRow("searchable") << u"# 見出し\n\n## 本文\n\n動物・食べ物・旅行\n\n日時 長い 見る 言う 一人 金曜\n\nTouch IDで認証する Ctrl+Q\n"_s.toUtf8()
                                    << QStringList{u"動物・食べ物・旅行"_s, u"日時 長い 見る 言う 一人 金曜"_s, u"Touch IDで認証する Ctrl+Q"_s};
    }
    void tool()
    {
        QFETCH(QByteArray, source);
        QFETCH(QStringList, extra);
        const bool good = qstrcmp(QTest::currentDataTag(), "searchable") == 0;
        QTemporaryDir dir;
        const QString previous = dir.filePath(u"manual.pdf"_s), file = dir.filePath(u"manual.md"_s);
        QVERIFY(writeFile(previous, "previous manual") && (source.isEmpty() || writeFile(file, source)));
        QProcess tool;
        tool.start(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tools/yumekazu-make-manual"_s,
                   QStringList{file, previous} + (good ? QStringList() : extra));
        QVERIFY(tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit);
        if (good) {
            QCOMPARE(tool.exitCode(), 0);
            const QString body = pdfText(previous, {u"-f"_s, u"2"_s});
            for (const QString &line : extra)
                QVERIFY2(body.contains(line), qPrintable(line + u" is not in "_s + body));
            return;
        }
        QVERIFY(tool.exitCode() != 0 && !tool.readAllStandardError().isEmpty());
        QCOMPARE(fileContents(previous), QByteArray("previous manual"));
    }

    // A store that cannot be written: the window says so at once, and
    // closing the last window asks before anything is lost. Saving the note
    // elsewhere is offered only once someone got past both gates.
    void unstoredChangesAskBeforeQuitting()
    {
        const QString notes = m_dir->filePath(u"notes.txt"_s), path = m_dir->filePath(u"linked/preferences.ini"_s), saved = m_dir->filePath(u"kept.txt"_s);
        QVERIFY(writeFile(notes, "not a store\n") && QDir().mkpath(QFileInfo(path).absolutePath()) && QFile::link(notes, path));
        m_store = std::make_unique<PreferenceStore>(path);
        QtPanelFactory panels;
        const auto app = std::make_unique<YumekazuApp>(AppServices{.store = m_store.get(), .opener = &m_opener, .panels = &panels, .bundle = Bundle(m_dir->path())});
        TabGroupWindow *window = app->openNewWindow();
        const auto *warning = window->findChild<StorageWarning *>();
        QVERIFY(warning->isVisible() && warning->text().contains(notes) && warning->accessibleName() == u"保存できません"_s);
        m_store->setString(PreferenceKeys::stringKey, u"まだ保存されていない"_s);
        // Closes the last window, clicking the question's buttons in turn; the
        // buttons offered are recorded.
        QStringList offered;
        QString told;
        const auto set = [](QStringList texts) { return texts.sort(), texts.join(u','); };
        const auto closeAnswering = [&](QStringList clicks) {
            offered.clear();
            QTimer poll;
            poll.callOnTimeout([&] {
                if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                    dialog->setDirectory(m_dir->path());
                    dialog->findChild<QLineEdit *>(u"fileNameEdit"_s)->setText(QFileInfo(saved).fileName());
                    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
                    return dialog->isVisible() ? dialog->reject() : void();
                }
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                QStringList texts;
                for (QAbstractButton *button : box->buttons())
                    texts << button->text();
                offered << set(texts);
                told = box->informativeText();
                if (const qsizetype at = texts.indexOf(clicks.value(0)); at >= 0 && !clicks.isEmpty())
                    clicks.removeFirst(), box->buttons()[at]->click();
                else
                    box->reject();
            });
            poll.start(20);
            const bool closed = window->close();
            if (closed)
                window = app->openNewWindow();
            return closed;
        };
        const QString retry = u"再試行"_s, discard = u"保存せずに終了"_s, cancel = u"キャンセル"_s, save = u"別の場所に保存…"_s;
        QVERIFY(!closeAnswering({retry, cancel}));
        QCOMPARE(offered, QStringList(2, set({cancel, discard, retry})));
        QVERIFY(told.contains(notes));
        QVERIFY(closeAnswering({discard}) && app->exitStatus() == 1);

        FakeFactory fingerprint;
        AuthorizationLockView view(AppServices{.store = m_store.get(), .makeAuthorization = [] { return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(true)); },
                                                    .localAuthentication = &fingerprint, .panels = &panels});
        view.lockAction();
        view.authenticateWithTouchID();
        QTRY_VERIFY(view.unlockContent());
        QVERIFY(closeAnswering({save}) && app->exitStatus() == 0);
        QCOMPARE(std::pair(offered, fileContents(saved)), std::pair(QStringList{set({save, retry, discard, cancel})}, u"まだ保存されていない"_s.toUtf8()));
        // Changed since it was saved elsewhere: a quit would lose it.
        m_store->setString(PreferenceKeys::stringKey, u"その後の変更"_s);
        QCOMPARE(app->exitStatus(), 1);
        // Once the store can be written, the line goes and nothing is asked.
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY_WITH_TIMEOUT(!window->findChild<StorageWarning *>()->isVisible(), 2500);
        QVERIFY(closeAnswering({}) && offered.isEmpty() && app->exitStatus() == 0);
    }

    // The real program ends on a polite signal, or when its display goes
    // away, with the last key stored: a switch flipped 50 ms before, while
    // another writer holds the store so the write cannot have happened yet.
    void endingKeepsTheLastKey_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("display lost") << 0;
    }
    void endingKeepsTheLastKey()
    {
        QFETCH(int, signal);
        // A display of its own, which the server names once it takes clients.
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        QProcess server;
        server.setChildProcessModifier([fd = ready[1]] { ::dup2(fd, 3); });
        server.start(u"Xvfb"_s, {u"-displayfd"_s, u"3"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s, u"0"_s, u"800x600x24"_s});
        ::close(ready[1]);
        QFile named;
        QVERIFY(named.open(ready[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        const QString display = u':' + QString::fromLatin1(named.readLine().trimmed());
        QVERIFY(display.size() > 1);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : {std::pair(u"DISPLAY"_s, display), {u"QT_QPA_PLATFORM"_s, u"xcb"_s}, {u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s},
                                          {u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s)}})
            env.insert(name, value);
        const auto xdotool = [&env](const QStringList &arguments) { return runTool(u"xdotool"_s, arguments, env).value_or(QString()).split(u'\n', Qt::SkipEmptyParts); };
        const QString prefs = m_dir->filePath(u"config/yumekazu/preferences.ini"_s);
        QVERIFY(QDir().mkpath(QFileInfo(prefs).absolutePath()));
        const int otherWriter = ::open(QFile::encodeName(prefs + u".lock"_s).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QProcess app;
        app.setProcessEnvironment(env);
        QString pid;
        const auto window = [&](const QString &name) { return xdotool({u"search"_s, u"--all"_s, u"--onlyvisible"_s, u"--pid"_s, pid, u"--name"_s, name}).value(0); };
        // A fresh server may turn the first client away.
        for (int attempt = 0; attempt < 3 && app.state() != QProcess::Running; ++attempt) {
            app.start(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/bin/yumekazu"_s);
            QVERIFY(app.waitForStarted());
            pid = QString::number(app.processId());
            QTRY_VERIFY_WITH_TIMEOUT(app.state() != QProcess::Running || !window(u"^Yumekazu"_s).isEmpty(), 30000);
        }
        QVERIFY2(app.state() == QProcess::Running, app.readAllStandardError().constData());
        // Without a window manager the focus is given by hand; a key sent
        // before the window takes keys is sent again.
        QTRY_VERIFY_WITH_TIMEOUT((xdotool({u"windowfocus"_s, u"--sync"_s, window(u"^Yumekazu"_s)}), xdotool({u"key"_s, u"ctrl+comma"_s}), !window(u"^設定"_s).isEmpty()), 30000);
        QVERIFY(::flock(otherWriter, LOCK_EX) == 0);
        QTest::qWait(300);
        xdotool({u"windowfocus"_s, u"--sync"_s, window(u"^設定"_s), u"sleep"_s, u"0.1"_s, u"key"_s, u"space"_s});
        QTest::qWait(50);
        if (signal)
            ::kill(pid_t(app.processId()), signal);
        else
            server.terminate();
        QTest::qWait(300);
        ::close(otherWriter);
        QVERIFY(app.state() == QProcess::NotRunning || app.waitForFinished(10000));
        server.terminate();
        server.waitForFinished();
        QCOMPARE(std::tuple(app.exitStatus(), signal == 0 || app.exitCode() == 0, PreferenceFile::parse(fileContents(prefs)).values.value(u"IntKeyToggle1"_s)),
                 std::tuple(QProcess::NormalExit, true, u"1"_s));
    }

    // The window icon is drawn by Qt's SVG plugin: it must render, with the
    // page opaque and the corners outside it left transparent.
    void iconRenders()
    {
        const QImage image = QIcon(resources + u"/yumekazu.svg"_s).pixmap(QSize(128, 128)).toImage();
        QVERIFY2(image.size() == QSize(128, 128), "the SVG icon does not render (package libqt6svg6)");
        QCOMPARE(std::pair(qAlpha(image.pixel(40, 60)), qAlpha(image.pixel(2, 2))), std::pair(255, 0));
    }
};

YUMEKAZU_TEST_MAIN(TestApp)
#include "test_app.moc"
