#pragma once

#include "platform/ml/MLFeatureValue.h"

#include <QSet>
#include <QString>

#include <optional>

// Named feature values going into or coming out of a model.
class MLFeatureProvider {
public:
    virtual ~MLFeatureProvider() = default;
    [[nodiscard]] virtual QSet<QString> featureNames() const = 0;
    [[nodiscard]] virtual std::optional<MLFeatureValue> featureValue(const QString &name) const = 0;

protected:
    MLFeatureProvider() = default;
    MLFeatureProvider(const MLFeatureProvider &) = default;
    MLFeatureProvider &operator=(const MLFeatureProvider &) = default;
};
