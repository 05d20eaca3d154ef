#pragma once

#include <QString>

// One value of a model feature. The classifier reads and returns strings only.
class MLFeatureValue {
public:
    static MLFeatureValue fromString(QString value) { return MLFeatureValue(std::move(value)); }

    [[nodiscard]] const QString &stringValue() const { return m_value; }

private:
    explicit MLFeatureValue(QString value) : m_value(std::move(value)) {}
    QString m_value;
};
