#include "app/YumekazuApp.h"

#include "app/ApplicationService.h"
#include "app/HelpCommands.h"
#include "app/JapaneseInterface.h"
#include "app/SettingsView.h"
#include "auth/TouchIdAction.h"
#include "classifier/MyModel.h"
#include "documents/SaveText.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "main_window/StorageWarning.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/TerminationSignals.h"
#include "platform/core/UrlOpener.h"
#include "platform/dialogs/QtPanelFactory.h"
#include "platform/localauth/FprintdContextFactory.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/ScreenFit.h"
#include "platform/windowing/TabGroupWindow.h"
#include "platform/windowing/WindowSystem.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

#include <cstdlib>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The name users know the application by: its windows' title, and the
// folder of its resources.
const QString appName = u"Yumekazu"_s;
const QString resourceFolder = u"yumekazu"_s;

} // namespace

YumekazuApp::YumekazuApp(AppServices services, QObject *parent)
    : QObject(parent), m_windows(std::make_unique<WindowSystem>()), m_services(std::move(services))
{
    m_windows->makeMainWindow = [this] { return makeMainWindow(); };
    m_services.windows = m_windows.get();
    if (!m_services.makeModel)
        m_services.makeModel = [bundle = m_services.bundle] { return MyModel::create(bundle, MLModelConfiguration()); };
    if (!m_services.reloadModel)
        m_services.reloadModel = [bundle = m_services.bundle] { (void)MLModel::load(MyModel::modelUrl(bundle)); };
    if (qApp) {
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_services.store->flush(); });
        connect(qApp, &QApplication::focusChanged, this, [this] {
            if (auto *group = qobject_cast<TabGroupWindow *>(QApplication::activeWindow()))
                m_lastActive = group;
        });
    }
    if (m_services.store)
        connect(m_services.store, &PreferenceStore::repaired, this, &YumekazuApp::reportRepairedPreferences);
}

YumekazuApp::~YumekazuApp()
{
    delete m_settings;
    // The windows use this object's services; they must not outlive it.
    QList<QPointer<TabGroupWindow>> groups;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *group = qobject_cast<TabGroupWindow *>(widget))
            groups.append(group);
    for (const auto &group : groups)
        delete group.data();
}

SettingsView *YumekazuApp::settingsView() const
{
    return m_settings;
}

QSize YumekazuApp::initialContentSize(const QSize &available)
{
    return {std::clamp(available.width(), 100, 400), std::clamp(available.height(), 100, 800)};
}

HostWindow *YumekazuApp::makeMainWindow()
{
    return new HostWindow(new AuthorizationLockView(m_services), appName);
}

TabGroupWindow *YumekazuApp::openNewWindow()
{
    auto *group = new TabGroupWindow();
    addMenus(group);
    group->addTabbedWindow(makeMainWindow(), nullptr, TabGroupWindow::Ordering::Above);
    const QScreen *screen = group->screen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(400, 800);
    const int chrome = group->menuBar()->sizeHint().height();
    const QSize content = initialContentSize(available - QSize(0, chrome));
    group->resize(content + QSize(0, chrome));
    guardClose(group);
    // The window manager's title bar comes on top of that.
    ScreenFit::whenShown(group);
    group->show();
    m_lastActive = group;
    reportRepairedPreferences();
    return group;
}

void YumekazuApp::activate()
{
    TabGroupWindow *group = m_lastActive && m_lastActive->isVisible() ? m_lastActive.data() : nullptr;
    const auto topLevels = QApplication::topLevelWidgets();
    for (auto it = topLevels.crbegin(); !group && it != topLevels.crend(); ++it)
        if (auto *candidate = qobject_cast<TabGroupWindow *>(*it); candidate && candidate->isVisible())
            group = candidate;
    if (!group) {
        openNewWindow();
        return;
    }
    group->setWindowState(group->windowState() & ~Qt::WindowMinimized);
    group->show();
    group->raise();
    group->activateWindow();
}

// Said once per repair, over a main window, without blocking it.
void YumekazuApp::reportRepairedPreferences()
{
    const std::optional<QString> backup = m_services.store ? m_services.store->backupPath() : std::nullopt;
    if (!backup || *backup == m_reportedBackup || !m_lastActive)
        return;
    m_reportedBackup = *backup;
    auto *box = new QMessageBox(QMessageBox::Warning, tr("設定を修復しました"),
                                tr("設定ファイルの一部が読み込めなかったため、読み込めた設定だけを残して修復しました。"
                                   "元のファイルは次の場所に保存してあります:\n%1")
                                    .arg(*backup),
                                QMessageBox::Ok, m_lastActive);
    box->setObjectName(u"preferencesRepaired"_s);
    box->setAccessibleName(box->windowTitle());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void YumekazuApp::showSettings()
{
    if (!m_settings) {
        m_settings = new SettingsView(*m_services.store);
        m_settings->setAttribute(Qt::WA_DeleteOnClose);
        guardClose(m_settings);
        ScreenFit::whenShown(m_settings);
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void YumekazuApp::addMenus(TabGroupWindow *group)
{
    QMenu *file = group->menuBar()->addMenu(tr("ファイル"));
    file->addAction(tr("新規ウインドウ"), QKeySequence(u"Ctrl+N"_s), this, [this] { openNewWindow(); });
    auto *settings = file->addAction(tr("設定…"), this, &YumekazuApp::showSettings);
    settings->setShortcut(QKeySequence(u"Ctrl+,"_s));
    settings->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    file->addAction(tr("ウインドウを閉じる"), QKeySequence(u"Ctrl+W"_s), group, [group] {
        group->closeWindow(group->currentWindow());
    });
    auto *quit = file->addAction(tr("終了"), QKeySequence(u"Ctrl+Q"_s), this, &YumekazuApp::quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu *window = group->menuBar()->addMenu(tr("ウインドウ"));
    window->addAction(tr("すべてのウインドウを結合"), this, [this, group] { mergeAllWindows(group); });
    window->addAction(tr("タブを新しいウインドウに移動"), this, [this, group] { moveTabToNewWindow(group); });

    HelpCommands::fill(group->menuBar()->addMenu(tr("ヘルプ")), *m_services.opener, m_services.bundle);
}

void YumekazuApp::mergeAllWindows(TabGroupWindow *into)
{
    const auto topLevels = QApplication::topLevelWidgets();
    for (QWidget *widget : topLevels) {
        auto *other = qobject_cast<TabGroupWindow *>(widget);
        if (!other || other == into)
            continue;
        for (HostWindow *window : other->windows())
            into->addTabbedWindow(window, nullptr, TabGroupWindow::Ordering::Above);
    }
}

void YumekazuApp::moveTabToNewWindow(TabGroupWindow *from)
{
    HostWindow *window = from->currentWindow();
    if (!window || from->count() < 2)
        return;
    auto *group = new TabGroupWindow();
    addMenus(group);
    group->addTabbedWindow(window, nullptr, TabGroupWindow::Ordering::Above);
    group->resize(from->size());
    guardClose(group);
    ScreenFit::whenShown(group);
    group->show();
}

void YumekazuApp::guardClose(QWidget *window)
{
    window->installEventFilter(this);
}

bool YumekazuApp::isLastWindow(const QWidget *window) const
{
    const auto topLevels = QApplication::topLevelWidgets();
    return std::ranges::none_of(topLevels, [window](const QWidget *other) {
        return other != window && other->isVisible() && (qobject_cast<const TabGroupWindow *>(other) || qobject_cast<const SettingsView *>(other));
    });
}

// Closing the last window ends the application: not before the user has
// had a say about changes that are not on disk.
bool YumekazuApp::eventFilter(QObject *watched, QEvent *event)
{
    auto *window = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::Close && window && !m_quitting && isLastWindow(window) && !confirmQuit(window)) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void YumekazuApp::quit()
{
    if (!confirmQuit(QApplication::activeWindow()))
        return;
    m_quitting = true;
    QApplication::closeAllWindows();
    m_quitting = false;
}

bool YumekazuApp::confirmQuit(QWidget *parent)
{
    PreferenceStore *store = m_services.store;
    // Saving the note elsewhere shows it: only for someone who got past both gates.
    const auto topLevels = QApplication::topLevelWidgets();
    const bool mayShowNote = m_services.panels && std::ranges::any_of(topLevels, [](QWidget *window) {
        auto views = window->findChildren<AuthorizationLockView *>();
        if (auto *view = qobject_cast<AuthorizationLockView *>(window))
            views.append(view);
        return std::ranges::any_of(views, &AuthorizationLockView::unlockContent);
    });
    while (store && !store->flush()) {
        QMessageBox box(QMessageBox::Warning, tr("メモを保存できません"),
                        tr("メモの変更をまだ保存できていません。このまま終了すると、その変更は失われます。"),
                        QMessageBox::NoButton, parent);
        box.setObjectName(u"quitQuestion"_s);
        box.setAccessibleName(box.windowTitle());
        if (const std::optional<PreferenceStore::WriteFailure> failure = store->writeFailure())
            box.setInformativeText(StorageWarning::message(*failure));
        QPushButton *save = mayShowNote ? box.addButton(tr("別の場所に保存…"), QMessageBox::AcceptRole) : nullptr;
        QPushButton *retry = box.addButton(tr("再試行"), QMessageBox::ActionRole);
        QPushButton *discard = box.addButton(tr("保存せずに終了"), QMessageBox::DestructiveRole);
        QPushButton *cancel = box.addButton(tr("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(save ? save : retry);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == discard)
            return true;
        if (save && box.clickedButton() == save) {
            QString note;
            const SaveTextResult saved = saveTextWithPanel(*m_services.panels, parent, [&note, store] {
                return note = store->string(PreferenceKeys::stringKey, QString());
            });
            if (saved == SaveTextResult::Saved) {
                m_savedNote = note;
                return true;
            }
        } else if (box.clickedButton() != retry) {
            return false;
        }
    }
    return true;
}

int YumekazuApp::exitStatus() const
{
    const PreferenceStore *store = m_services.store;
    if (!store || !store->hasPendingChanges())
        return 0;
    return m_savedNote == store->string(PreferenceKeys::stringKey, QString()) ? 0 : 1;
}

int YumekazuApp::main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(appName);
    QApplication::setApplicationDisplayName(appName);
    Bundle::setMain(Bundle::besideProgram(resourceFolder));
    QApplication::setDesktopFileName(u"org.yumekazu.Yumekazu"_s);
    QApplication::setQuitOnLastWindowClosed(true);
    JapaneseInterface::install();
    // Desktops without an icon theme of their own still get the lock icon.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == u"hicolor"_s)
        QIcon::setFallbackThemeName(u"Adwaita"_s);

    // A second launch in the same session hands over to the first and exits.
    ApplicationService service(QDBusConnection::sessionBus());
    if (service.start() == ApplicationService::Role::HandedOver)
        return 0;

    PreferenceStore store(PreferenceStore::standardFilePath(u"yumekazu/preferences.ini"_s));
    DesktopUrlOpener opener;
    QtPanelFactory panels;
    FprintdContextFactory fingerprints(TouchIdAction::promptTexts());
    YumekazuApp app({.store = &store, .opener = &opener, .localAuthentication = &fingerprints, .panels = &panels});
    QObject::connect(&service, &ApplicationService::activationRequested, &app, &YumekazuApp::activate);

    // A logout, kill or Ctrl+C ends through the same quit path, pending
    // writes first; so does the session's end.
    TerminationSignals endRequests;
    QObject::connect(&endRequests, &TerminationSignals::received, &app, [] { QApplication::exit(0); });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &app, [&app, &store](QSessionManager &session) {
        if (!store.flush() && session.allowsInteraction() && !app.confirmQuit(nullptr))
            session.cancel();
    });
    // Qt ends the process with exit() when the display goes away: what is
    // pending is written on the way out.
    static PreferenceStore *storeAtExit = nullptr;
    storeAtExit = &store;
    std::atexit([] {
        if (storeAtExit)
            storeAtExit->flush();
    });

    app.openNewWindow();
    const int status = QApplication::exec();
    storeAtExit = nullptr;
    store.flush();
    return status != 0 ? status : app.exitStatus();
}
