#pragma once

#include "platform/core/Expected.h"
#include "platform/ml/MLFeatureProvider.h"

#include <QHash>

// Feature values held in a dictionary.
class MLDictionaryFeatureProvider final : public MLFeatureProvider {
public:
    // Fails on an empty feature name.
    static Expected<MLDictionaryFeatureProvider> create(QHash<QString, MLFeatureValue> dictionary);

    [[nodiscard]] QSet<QString> featureNames() const override;
    [[nodiscard]] std::optional<MLFeatureValue> featureValue(const QString &name) const override;

private:
    explicit MLDictionaryFeatureProvider(QHash<QString, MLFeatureValue> dictionary);
    QHash<QString, MLFeatureValue> m_dictionary;
};
