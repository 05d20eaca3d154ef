#pragma once

#include "platform/core/Expected.h"

#include <QFuture>

#include <functional>
#include <memory>

class MyModel;

// The classifier of one main view. Only the work area uses it, so it is read
// off the main thread once start() is called, when the work area first
// appears: neither the first frame nor a window that never passes its gates
// pays for it.
class ModelLoad {
public:
    using Result = Expected<std::shared_ptr<MyModel>>;
    using Loader = std::function<Result()>;

    // No loader: there is no model.
    explicit ModelLoad(Loader loader);

    // Starts the load on the thread pool; later calls do nothing.
    void start();
    // Waits for the load to finish, starting it first if need be; null when
    // it failed.
    [[nodiscard]] const MyModel *model();

private:
    Loader m_loader;
    QFuture<Result> m_load;
};
