#pragma once

#include <QString>

#include <variant>

// One typed value of a model feature.
class MLFeatureValue {
public:
    enum class Type { Invalid, String, Int64, Double };

    MLFeatureValue() = default;
    static MLFeatureValue fromString(QString value);
    static MLFeatureValue fromInt64(qint64 value);
    static MLFeatureValue fromDouble(double value);

    [[nodiscard]] Type type() const;
    [[nodiscard]] bool isValid() const { return type() != Type::Invalid; }
    // The value when it has that type, else the type's zero.
    [[nodiscard]] QString stringValue() const;
    [[nodiscard]] qint64 int64Value() const;
    [[nodiscard]] double doubleValue() const;

    friend bool operator==(const MLFeatureValue &, const MLFeatureValue &) = default;

private:
    std::variant<std::monostate, QString, qint64, double> m_value;
};
