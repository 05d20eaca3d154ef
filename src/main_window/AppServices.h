#pragma once

#include "platform/core/Bundle.h"
#include "platform/core/Expected.h"

#include <chrono>
#include <functional>
#include <memory>

class AuthorizationController;
class LAContextFactory;
class MyModel;
class PanelFactory;
class PreferenceStore;
class UrlOpener;
class WindowSystem;

// What the application and each of its main views need from the platform:
// made once in main() (tests make their own) and handed down as it is.
// The store is required, and the opener by the application (its Help menu);
// the view goes without any other service left out (no reader, no dialogs,
// no classifier, no tabs).
struct AppServices {
    PreferenceStore *store = nullptr;
    UrlOpener *opener = nullptr;
    // Null: the polkit authorization of the application's own action.
    std::function<std::unique_ptr<AuthorizationController>()> makeAuthorization = {};
    LAContextFactory *localAuthentication = nullptr;
    PanelFactory *panels = nullptr;
    // The application's resources: the manual, the classifier.
    Bundle bundle = Bundle::main();
    // Null: no classifier. The application loads it from the bundle.
    std::function<Expected<std::shared_ptr<MyModel>>()> makeModel = {};
    // Loads the bundled model and drops it at once (the reload button).
    std::function<void()> reloadModel = {};
    // The application's windows, for the tab actions.
    WindowSystem *windows = nullptr;
    std::chrono::milliseconds waitInterval{8000};
};
