#pragma once

#include "platform/ml/MLFeatureProvider.h"

#include <QString>

#include <memory>

// The classifier's one output: the string feature "label".
class MyModelOutput final : public MLFeatureProvider {
public:
    explicit MyModelOutput(std::shared_ptr<const MLFeatureProvider> features);
    // A provider holding just "label"; failing to build one ends the program.
    explicit MyModelOutput(const QString &label);

    // The feature "label" of the provider; a provider without it ends the program.
    [[nodiscard]] QString label() const;
    [[nodiscard]] const std::shared_ptr<const MLFeatureProvider> &provider() const { return m_provider; }

    [[nodiscard]] QSet<QString> featureNames() const override;
    [[nodiscard]] std::optional<MLFeatureValue> featureValue(const QString &name) const override;

private:
    std::shared_ptr<const MLFeatureProvider> m_provider;
};
