#pragma once

#include <functional>

class HostWindow;

// The application's windows as the tab operations see them: the key (active)
// window and a way to make a new main window.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // The selected window of the active top-level window, if the application is active.
    [[nodiscard]] virtual HostWindow *keyWindow() const;
    // A new main window with a fresh main view, in no group yet.
    std::function<HostWindow *()> makeMainWindow;
};
