#pragma once

#include <QPointer>

#include <optional>

class HostWindow;
class WindowSystem;

// The tab actions of one main view, and the window that hosts it.
class TabActions {
public:
    explicit TabActions(WindowSystem *windows) : m_windows(windows) {}

    [[nodiscard]] HostWindow *window() const;
    // Records the hosting window (or none). In a tab group, prints
    // "Tab count: N" and returns N.
    std::optional<int> hostedBy(HostWindow *window);
    // Adds a fresh main window as a tab right after the key window.
    void addNewTab() const;
    // Brings tab `index` of the key window's group to the front; false when
    // there is no such tab.
    bool selectTab(int index) const;

private:
    WindowSystem *m_windows;
    QPointer<HostWindow> m_window;
};
