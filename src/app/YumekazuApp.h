#pragma once

#include "main_window/MainViewServices.h"
#include "platform/core/Bundle.h"

#include <QObject>
#include <QPointer>

#include <memory>

class HostWindow;
class LAContextFactory;
class PanelFactory;
class PreferenceStore;
class SettingsView;
class TabGroupWindow;
class UrlOpener;
class WindowSystem;

// The application: its main windows (each a tab group of main views), the one
// settings window and the menus they share.
class YumekazuApp : public QObject {
    Q_OBJECT

public:
    struct Platform {
        PreferenceStore *store = nullptr;
        UrlOpener *opener = nullptr;
        LAContextFactory *localAuthentication = nullptr;
        PanelFactory *panels = nullptr;
        Bundle bundle = Bundle::main();
    };

    explicit YumekazuApp(Platform platform, QObject *parent = nullptr);
    ~YumekazuApp() override;

    // Starts the event loop with the first main window; returns the exit status.
    static int main(int argc, char *argv[]);

    HostWindow *makeMainWindow();
    TabGroupWindow *openNewWindow();
    void showSettings();
    // Brings the most recently active main window forward, or opens a new
    // (locked) one when none is open.
    void activate();
    [[nodiscard]] SettingsView *settingsView() const;
    [[nodiscard]] WindowSystem &windows() const { return *m_windows; }

    static QSize initialContentSize(const QSize &available);

private:
    void addMenus(TabGroupWindow *group);
    void mergeAllWindows(TabGroupWindow *into);
    void moveTabToNewWindow(TabGroupWindow *from);
    void reportRepairedPreferences();

    Platform m_platform;
    std::unique_ptr<WindowSystem> m_windows;
    QPointer<SettingsView> m_settings;
    QPointer<TabGroupWindow> m_lastActive;
    QString m_reportedBackup;
};
