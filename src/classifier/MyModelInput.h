#pragma once

#include "platform/ml/MLFeatureProvider.h"

#include <QString>

// The classifier's one input: the note text as the string feature "text".
class MyModelInput final : public MLFeatureProvider {
public:
    explicit MyModelInput(QString text) : m_text(std::move(text)) {}

    [[nodiscard]] QString text() const { return m_text; }
    void setText(const QString &text) { m_text = text; }

    [[nodiscard]] QSet<QString> featureNames() const override;
    // Only "text" matches, case-sensitively.
    [[nodiscard]] std::optional<MLFeatureValue> featureValue(const QString &name) const override;

private:
    QString m_text;
};
