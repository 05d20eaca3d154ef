#pragma once

#include "classifier/MyModelInput.h"
#include "classifier/MyModelOutput.h"
#include "platform/core/Expected.h"
#include "platform/ml/MLModel.h"

#include <QFuture>

#include <functional>
#include <memory>
#include <vector>

class Bundle;

// Typed access to the bundled classifier "MyModel.mlmodelc".
class MyModel {
public:
    using LoadResult = Expected<std::shared_ptr<MyModel>>;
    using LoadHandler = std::function<void(LoadResult)>;

    explicit MyModel(std::shared_ptr<MLModel> model);

    // The bundled resource; its absence ends the program. The application
    // itself only goes through the forms below that report it as an error.
    static QString urlOfModelInThisBundle();

    // The bundled model; a load failure ends the program.
    static std::shared_ptr<MyModel> create();
    // The bundled model; a missing or broken resource is an error.
    static LoadResult create(const MLModelConfiguration &configuration);
    static LoadResult create(const QString &url, const MLModelConfiguration &configuration = {});
    // The model "MyModel.mlmodelc" among the given resources.
    static LoadResult create(const Bundle &bundle, const MLModelConfiguration &configuration);

    // Load off the calling thread; the handler runs on the main thread.
    static void load(const MLModelConfiguration &configuration, LoadHandler handler);
    static void load(const QString &url, const MLModelConfiguration &configuration, LoadHandler handler);
    // Load on the thread pool. Attach continuations with a context object
    // (future.then(qApp, ...)) to have them run on the main thread.
    static QFuture<LoadResult> loadAsync(const MLModelConfiguration &configuration = {});
    static QFuture<LoadResult> loadAsync(const QString &url, const MLModelConfiguration &configuration = {});

    [[nodiscard]] const std::shared_ptr<MLModel> &model() const { return m_model; }

    [[nodiscard]] Expected<MyModelOutput> prediction(const MyModelInput &input) const;
    [[nodiscard]] Expected<MyModelOutput> prediction(const MyModelInput &input,
                                                     const MLPredictionOptions &options) const;
    [[nodiscard]] Expected<MyModelOutput> prediction(const QString &text) const;
    // Output i belongs to input i; an error fails the whole batch.
    [[nodiscard]] Expected<std::vector<MyModelOutput>> predictions(const std::vector<MyModelInput> &inputs,
                                                                   const MLPredictionOptions &options = {}) const;

    // The model "MyModel.mlmodelc" among bundle's resources; empty when absent.
    static QString modelUrl(const Bundle &bundle);

private:

    std::shared_ptr<MLModel> m_model;
};
