#include "classifier/MyModel.h"

#include "platform/core/Bundle.h"
#include "platform/ml/MLDictionaryFeatureProvider.h"

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

const QString kInputFeature = u"text"_s;
const QString kOutputFeature = u"label"_s;

[[noreturn]] void fatal(const QString &message)
{
    std::fprintf(stderr, "yumekazu: %s\n", message.toUtf8().constData());
    std::abort();
}

MyModel::LoadResult wrap(MLModel::LoadResult loaded)
{
    if (!loaded)
        return unexpected(loaded.error());
    return std::make_shared<MyModel>(std::move(loaded.value()));
}

} // namespace

QSet<QString> MyModelInput::featureNames() const
{
    return {kInputFeature};
}

std::optional<MLFeatureValue> MyModelInput::featureValue(const QString &name) const
{
    if (name != kInputFeature)
        return std::nullopt;
    return MLFeatureValue::fromString(m_text);
}

MyModelOutput::MyModelOutput(std::shared_ptr<const MLFeatureProvider> features) : m_provider(std::move(features))
{
}

MyModelOutput::MyModelOutput(const QString &label)
{
    auto provider = MLDictionaryFeatureProvider::create({{kOutputFeature, MLFeatureValue::fromString(label)}});
    if (!provider)
        fatal(u"cannot build the classifier output: "_s + provider.error().localizedDescription);
    m_provider = std::make_shared<const MLDictionaryFeatureProvider>(std::move(provider.value()));
}

QString MyModelOutput::label() const
{
    const auto value = m_provider ? m_provider->featureValue(kOutputFeature) : std::nullopt;
    if (!value)
        fatal(u"the classifier output has no feature \"label\""_s);
    return value->stringValue();
}

QSet<QString> MyModelOutput::featureNames() const
{
    return m_provider ? m_provider->featureNames() : QSet<QString>();
}

std::optional<MLFeatureValue> MyModelOutput::featureValue(const QString &name) const
{
    return m_provider ? m_provider->featureValue(name) : std::nullopt;
}

MyModel::MyModel(std::shared_ptr<MLModel> model) : m_model(std::move(model))
{
}

QString MyModel::modelUrl(const Bundle &bundle)
{
    // Empty when the resource is absent: loading it then reports a missing model.
    return bundle.url(u"MyModel"_s, u"mlmodelc"_s).value_or(QString());
}

QString MyModel::urlOfModelInThisBundle()
{
    const QString url = modelUrl(Bundle::main());
    if (url.isEmpty())
        fatal(u"the classifier resource MyModel.mlmodelc is missing from "_s + Bundle::main().resourceDirectory());
    return url;
}

std::shared_ptr<MyModel> MyModel::create()
{
    auto model = create(urlOfModelInThisBundle());
    if (!model)
        fatal(u"cannot load the classifier: "_s + model.error().localizedDescription);
    return std::move(model.value());
}

MyModel::LoadResult MyModel::create(const MLModelConfiguration &configuration)
{
    return create(Bundle::main(), configuration);
}

MyModel::LoadResult MyModel::create(const Bundle &bundle, const MLModelConfiguration &configuration)
{
    // A missing resource is an error here rather than the end of the program:
    // the window works without its classifier.
    return create(modelUrl(bundle), configuration);
}

MyModel::LoadResult MyModel::create(const QString &url, const MLModelConfiguration &configuration)
{
    return wrap(MLModel::load(url, configuration));
}

void MyModel::load(const MLModelConfiguration &configuration, LoadHandler handler)
{
    load(modelUrl(Bundle::main()), configuration, std::move(handler));
}

void MyModel::load(const QString &url, const MLModelConfiguration &configuration, LoadHandler handler)
{
    MLModel::load(url, configuration,
                  [handler = std::move(handler)](MLModel::LoadResult loaded) { handler(wrap(std::move(loaded))); });
}

QFuture<MyModel::LoadResult> MyModel::loadAsync(const MLModelConfiguration &configuration)
{
    return loadAsync(modelUrl(Bundle::main()), configuration);
}

QFuture<MyModel::LoadResult> MyModel::loadAsync(const QString &url, const MLModelConfiguration &configuration)
{
    return MLModel::loadAsync(url, configuration).then([](MLModel::LoadResult loaded) { return wrap(std::move(loaded)); });
}

Expected<MyModelOutput> MyModel::prediction(const MyModelInput &input) const
{
    return prediction(input, MLPredictionOptions());
}

Expected<MyModelOutput> MyModel::prediction(const MyModelInput &input, const MLPredictionOptions &options) const
{
    auto output = m_model->prediction(input, options);
    if (!output)
        return unexpected(output.error());
    return MyModelOutput(std::shared_ptr<const MLFeatureProvider>(std::move(output.value())));
}

Expected<MyModelOutput> MyModel::prediction(const QString &text) const
{
    return prediction(MyModelInput(text));
}

Expected<std::vector<MyModelOutput>> MyModel::predictions(const std::vector<MyModelInput> &inputs,
                                                          const MLPredictionOptions &options) const
{
    MLArrayBatchProvider::Providers providers;
    providers.reserve(inputs.size());
    for (const MyModelInput &input : inputs)
        providers.push_back(std::make_shared<const MyModelInput>(input));
    auto batch = m_model->predictions(MLArrayBatchProvider(std::move(providers)), options);
    if (!batch)
        return unexpected(batch.error());
    const auto results = std::make_shared<const MLArrayBatchProvider>(std::move(batch.value()));
    std::vector<MyModelOutput> outputs;
    outputs.reserve(inputs.size());
    // Each output shares ownership of the whole batch it points into.
    for (qsizetype i = 0; i < results->count(); ++i)
        outputs.emplace_back(std::shared_ptr<const MLFeatureProvider>(results, &results->features(i)));
    return outputs;
}
