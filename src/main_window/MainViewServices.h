#pragma once

#include "platform/core/Expected.h"

#include <chrono>
#include <functional>
#include <memory>

class AuthorizationController;
class HostWindow;
class LAContextFactory;
class MyModel;
class PanelFactory;
class PreferenceStore;
class WindowSystem;

// What a main view needs from the platform. The application passes the real
// services; tests pass their own.
struct MainViewServices {
    PreferenceStore *store = nullptr;
    std::function<std::unique_ptr<AuthorizationController>()> makeAuthorization;
    LAContextFactory *localAuthentication = nullptr;
    PanelFactory *panels = nullptr;
    std::function<Expected<std::shared_ptr<MyModel>>()> makeModel;
    // Loads the bundled model and drops it at once (the reload button).
    std::function<void()> reloadModel;
    WindowSystem *windows = nullptr;
    std::chrono::milliseconds waitInterval{8000};
};
