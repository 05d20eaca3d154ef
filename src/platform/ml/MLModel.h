#pragma once

#include "platform/core/Expected.h"
#include "platform/ml/FastTextEngine.h"
#include "platform/ml/MLArrayBatchProvider.h"
#include "platform/ml/MLModelConfiguration.h"
#include "platform/ml/MLModelMetadata.h"
#include "platform/ml/MLPredictionOptions.h"
#include "platform/ml/TextTokenizer.h"

#include <QFuture>
#include <QString>

#include <functional>
#include <memory>

// A compiled text classifier: a directory "*.mlmodelc" holding a fastText
// model and metadata.json, mapping the string feature "text" to the string
// feature "label". Immutable once loaded; predictions may run on any thread.
class MLModel {
public:
    using LoadResult = Expected<std::shared_ptr<MLModel>>;
    using LoadHandler = std::function<void(LoadResult)>;

    // Loads and checks the model synchronously. A missing, unreadable,
    // truncated, corrupt or incompatible model is an error, never a crash.
    static LoadResult load(const QString &url, const MLModelConfiguration &configuration = {});
    // Loads off the calling thread and calls handler on the main thread; the
    // handler is dropped if the application object is gone by then.
    static void load(const QString &url, const MLModelConfiguration &configuration, LoadHandler handler);
    // Loads on the thread pool; the future carries the result.
    static QFuture<LoadResult> loadAsync(const QString &url, const MLModelConfiguration &configuration = {});

    virtual ~MLModel();
    MLModel(const MLModel &) = delete;
    MLModel &operator=(const MLModel &) = delete;

    [[nodiscard]] const MLModelMetadata &metadata() const { return m_metadata; }

    // Reads the string feature "text" of input and returns a provider with the
    // string feature "label". Text without any token (the empty string) gets
    // the metadata's default label, the most frequent one in training.
    [[nodiscard]] Expected<std::unique_ptr<MLFeatureProvider>> prediction(const MLFeatureProvider &input,
                                                                          const MLPredictionOptions &options = {}) const;
    // One output per input, in the same order; the first failure fails the batch.
    [[nodiscard]] Expected<MLArrayBatchProvider> predictions(const MLArrayBatchProvider &inputs,
                                                             const MLPredictionOptions &options = {}) const;

    // The most likely label of text.
    [[nodiscard]] virtual Expected<QString> predictLabel(const QString &text) const;

protected:
    // For stand-in models that answer predictLabel themselves.
    explicit MLModel(MLModelMetadata metadata);

private:
    MLModel(MLModelMetadata metadata, std::unique_ptr<FastTextEngine::Model> fastText);

    MLModelMetadata m_metadata;
    TextTokenizer m_tokenizer;
    std::unique_ptr<FastTextEngine::Model> m_fastText;
};
