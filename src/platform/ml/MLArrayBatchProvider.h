#pragma once

#include "platform/ml/MLBatchProvider.h"

#include <memory>
#include <vector>

// A batch over an array of providers, in the array's order.
class MLArrayBatchProvider final : public MLBatchProvider {
public:
    using Providers = std::vector<std::shared_ptr<const MLFeatureProvider>>;
    explicit MLArrayBatchProvider(Providers providers);

    [[nodiscard]] qsizetype count() const override;
    [[nodiscard]] const MLFeatureProvider &features(qsizetype at) const override;

private:
    Providers m_providers;
};
