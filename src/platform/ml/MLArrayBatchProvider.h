#pragma once

#include "platform/ml/MLFeatureProvider.h"

#include <memory>
#include <vector>

// An ordered batch of feature providers, in the array's order.
class MLArrayBatchProvider final {
public:
    using Providers = std::vector<std::shared_ptr<const MLFeatureProvider>>;
    explicit MLArrayBatchProvider(Providers providers);

    [[nodiscard]] qsizetype count() const;
    // at must be in [0, count()).
    [[nodiscard]] const MLFeatureProvider &features(qsizetype at) const;

private:
    Providers m_providers;
};
