#pragma once

#include "platform/core/Expected.h"

#include <QFuture>

#include <functional>
#include <memory>

class MyModel;

// The classifier of one main view, read off the main thread from the moment
// the view is made, so the first paint never waits for it.
class ModelLoad {
public:
    using Result = Expected<std::shared_ptr<MyModel>>;
    using Loader = std::function<Result()>;

    // No loader: there is no model.
    explicit ModelLoad(const Loader &loader);

    // Waits for the load to finish; null when it failed.
    [[nodiscard]] const MyModel *model() const;

private:
    QFuture<Result> m_load;
};
