#pragma once

#include "platform/ml/MLFeatureProvider.h"

// An ordered batch of feature providers.
class MLBatchProvider {
public:
    virtual ~MLBatchProvider() = default;
    [[nodiscard]] virtual qsizetype count() const = 0;
    // at must be in [0, count()).
    [[nodiscard]] virtual const MLFeatureProvider &features(qsizetype at) const = 0;

protected:
    MLBatchProvider() = default;
    MLBatchProvider(const MLBatchProvider &) = default;
    MLBatchProvider &operator=(const MLBatchProvider &) = default;
};
