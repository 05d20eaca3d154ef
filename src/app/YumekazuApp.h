#pragma once

#include "main_window/AppServices.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class HostWindow;
class SettingsView;
class TabGroupWindow;
class WindowSystem;

// The application: its main windows (each a tab group of main views), the one
// settings window and the menus they share.
class YumekazuApp : public QObject {
    Q_OBJECT

public:
    // Each main window gets these services, with this application's windows
    // and, unless the caller has its own, the classifier of the bundle.
    explicit YumekazuApp(AppServices services, QObject *parent = nullptr);
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

    // Whether the application may end now: true once every change is on
    // disk; otherwise asks the user whether to save the note elsewhere, try
    // again or quit anyway (true), or keep working (false).
    bool confirmQuit(QWidget *parent);
    // Ends the application once confirmQuit agrees.
    void quit();
    // 0 when nothing typed is lost: every change is on disk, or the note as
    // it is was saved elsewhere when asked.
    [[nodiscard]] int exitStatus() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void guardClose(QWidget *window);
    [[nodiscard]] bool isLastWindow(const QWidget *window) const;
    void addMenus(TabGroupWindow *group);
    void mergeAllWindows(TabGroupWindow *into);
    void moveTabToNewWindow(TabGroupWindow *from);
    void reportRepairedPreferences();

    std::unique_ptr<WindowSystem> m_windows;
    AppServices m_services;
    QPointer<SettingsView> m_settings;
    QPointer<TabGroupWindow> m_lastActive;
    QString m_reportedBackup;
    std::optional<QString> m_savedNote;
    bool m_quitting = false;
};
