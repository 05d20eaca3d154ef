#include "platform/ml/MLDictionaryFeatureProvider.h"

#include "platform/ml/MLModelError.h"

#include <QCoreApplication>

MLDictionaryFeatureProvider::MLDictionaryFeatureProvider(QHash<QString, MLFeatureValue> dictionary)
    : m_dictionary(std::move(dictionary))
{
}

Expected<MLDictionaryFeatureProvider> MLDictionaryFeatureProvider::create(QHash<QString, MLFeatureValue> dictionary)
{
    if (dictionary.contains(QString()))
        return unexpected(mlModelError(MLModelErrorCode::InvalidFeature,
                                       QCoreApplication::translate("MLModel", "特徴量の名前または値が正しくありません。")));
    return MLDictionaryFeatureProvider(std::move(dictionary));
}

QSet<QString> MLDictionaryFeatureProvider::featureNames() const
{
    const auto keys = m_dictionary.keys();
    return {keys.cbegin(), keys.cend()};
}

std::optional<MLFeatureValue> MLDictionaryFeatureProvider::featureValue(const QString &name) const
{
    const auto it = m_dictionary.constFind(name);
    if (it == m_dictionary.cend())
        return std::nullopt;
    return *it;
}
