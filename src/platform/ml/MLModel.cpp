#include "platform/ml/MLModel.h"

#include "platform/ml/FastTextEngine.h"
#include "platform/ml/MLDictionaryFeatureProvider.h"
#include "platform/ml/MLModelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QPromise>
#include <QThreadPool>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MLModel", text);
}

// A fastText model file starts with this magic number and format version.
constexpr qint32 kFastTextMagic = 793712314;
constexpr qint32 kFastTextVersion = 12;
constexpr qint64 kLargestModel = 512LL * 1024 * 1024;

bool hasFastTextHeader(const QByteArray &bytes)
{
    if (bytes.size() < 8)
        return false;
    qint32 magic = 0;
    qint32 version = 0;
    std::memcpy(&magic, bytes.constData(), 4);
    std::memcpy(&version, bytes.constData() + 4, 4);
    return magic == kFastTextMagic && version == kFastTextVersion;
}

} // namespace

MLModel::MLModel(MLModelMetadata metadata, std::unique_ptr<FastTextEngine::Model> fastText)
    : m_metadata(std::move(metadata)), m_tokenizer(m_metadata.tokenizer), m_fastText(std::move(fastText))
{
}

MLModel::MLModel(MLModelMetadata metadata) : m_metadata(std::move(metadata)), m_tokenizer(m_metadata.tokenizer) {}

MLModel::~MLModel() = default;

MLModel::LoadResult MLModel::load(const QString &url, const MLModelConfiguration &)
{
    if (url.isEmpty() || !QFileInfo(url).isDir())
        return unexpected(mlModelError(MLModelErrorCode::MissingModel, tr("モデルが見つかりません。")));
    const auto corrupt = [] {
        return unexpected(mlModelError(MLModelErrorCode::Corrupt, tr("モデルのファイルが壊れています。")));
    };
    const auto unreadable = [] {
        return unexpected(mlModelError(MLModelErrorCode::Unreadable, tr("モデルのファイルを読めません。")));
    };
    auto metadata = MLModelMetadata::read(url);
    if (!metadata)
        return unexpected(metadata.error());

    const QString path = QDir(url).filePath(metadata->modelFile);
    if (!QFileInfo(path).isFile())
        return unexpected(mlModelError(MLModelErrorCode::MissingFile, tr("モデルのファイルがありません。")));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable();
    if (file.size() < metadata->modelSize)
        return unexpected(mlModelError(MLModelErrorCode::Truncated, tr("モデルのファイルが途中で切れています。")));
    if (file.size() != metadata->modelSize || file.size() > kLargestModel)
        return corrupt();
    const QByteArray bytes = file.readAll();
    if (bytes.size() != metadata->modelSize)
        return unreadable();
    const auto engine = FastTextEngine::instance();
    if (!engine)
        return unexpected(engine.error());
    // fastText trusts its input and may abort on a damaged file, so it only
    // ever sees bytes that match the recorded fingerprint.
    const QByteArray fingerprint = (*engine)->sha256Hex(bytes);
    if (fingerprint.isEmpty() || fingerprint != metadata->modelSha256 || !hasFastTextHeader(bytes))
        return corrupt();

    // The engine reads what follows the header checked above.
    auto fastText = (*engine)->load(bytes.mid(8).toStdString());
    if (!fastText)
        return corrupt();
    if (fastText->labelCount() != metadata->labels.size())
        return unexpected(mlModelError(MLModelErrorCode::IncompatibleFeatures,
                                       tr("モデルのラベルがメタデータと合いません。")));
    return std::shared_ptr<MLModel>(new MLModel(std::move(metadata.value()), std::move(fastText)));
}

QFuture<MLModel::LoadResult> MLModel::loadAsync(const QString &url, const MLModelConfiguration &configuration)
{
    auto promise = std::make_shared<QPromise<LoadResult>>();
    QFuture<LoadResult> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, url, configuration] {
        promise->addResult(load(url, configuration));
        promise->finish();
    });
    return future;
}

void MLModel::load(const QString &url, const MLModelConfiguration &configuration, LoadHandler handler)
{
    QPointer<QObject> guard(QCoreApplication::instance());
    auto shared = std::make_shared<LoadHandler>(std::move(handler));
    QThreadPool::globalInstance()->start([guard, shared, url, configuration] {
        auto result = std::make_shared<LoadResult>(load(url, configuration));
        QObject *target = guard.data();
        if (!target)
            return;
        // Queued to the main thread; Qt drops the call if the application dies.
        QMetaObject::invokeMethod(target, [shared, result] { (*shared)(std::move(*result)); }, Qt::QueuedConnection);
    });
}

Expected<QString> MLModel::predictLabel(const QString &text) const
{
    const std::string line = m_tokenizer.line(text);
    if (line.empty())
        return m_metadata.defaultLabel;
    if (!m_fastText)
        return unexpected(mlModelError(MLModelErrorCode::PredictionFailed, tr("分類に失敗しました。")));
    const auto predicted = m_fastText->predict(line);
    if (!predicted)
        return unexpected(mlModelError(MLModelErrorCode::PredictionFailed, tr("分類に失敗しました。")));
    // Tokens the model has never seen, with no known sub-word either.
    if (!predicted.value())
        return m_metadata.defaultLabel;
    QString label = QString::fromStdString(*predicted.value());
    if (label.startsWith(u"__label__"_s))
        label.remove(0, 9);
    return label;
}

Expected<std::unique_ptr<MLFeatureProvider>> MLModel::prediction(const MLFeatureProvider &input,
                                                                 const MLPredictionOptions &) const
{
    const auto value = input.featureValue(m_metadata.inputFeature);
    if (!value)
        return unexpected(mlModelError(MLModelErrorCode::MissingInput, tr("入力の特徴量「text」がありません。")));
    auto label = predictLabel(value->stringValue());
    if (!label)
        return unexpected(label.error());
    auto provider = MLDictionaryFeatureProvider::create(
        {{m_metadata.outputFeature, MLFeatureValue::fromString(std::move(label.value()))}});
    if (!provider)
        return unexpected(provider.error());
    return std::unique_ptr<MLFeatureProvider>(std::make_unique<MLDictionaryFeatureProvider>(std::move(provider.value())));
}

Expected<MLArrayBatchProvider> MLModel::predictions(const MLArrayBatchProvider &inputs,
                                                    const MLPredictionOptions &options) const
{
    MLArrayBatchProvider::Providers outputs;
    outputs.reserve(std::size_t(inputs.count()));
    for (qsizetype i = 0; i < inputs.count(); ++i) {
        auto output = prediction(inputs.features(i), options);
        if (!output)
            return unexpected(output.error());
        outputs.push_back(std::move(output.value()));
    }
    return MLArrayBatchProvider(std::move(outputs));
}
