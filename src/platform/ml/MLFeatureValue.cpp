#include "platform/ml/MLFeatureValue.h"

MLFeatureValue MLFeatureValue::fromString(QString value)
{
    MLFeatureValue v;
    v.m_value = std::move(value);
    return v;
}

MLFeatureValue MLFeatureValue::fromInt64(qint64 value)
{
    MLFeatureValue v;
    v.m_value = value;
    return v;
}

MLFeatureValue MLFeatureValue::fromDouble(double value)
{
    MLFeatureValue v;
    v.m_value = value;
    return v;
}

MLFeatureValue::Type MLFeatureValue::type() const
{
    switch (m_value.index()) {
    case 1:
        return Type::String;
    case 2:
        return Type::Int64;
    case 3:
        return Type::Double;
    default:
        return Type::Invalid;
    }
}

QString MLFeatureValue::stringValue() const
{
    const auto *s = std::get_if<QString>(&m_value);
    return s ? *s : QString();
}

qint64 MLFeatureValue::int64Value() const
{
    const auto *i = std::get_if<qint64>(&m_value);
    return i ? *i : 0;
}

double MLFeatureValue::doubleValue() const
{
    const auto *d = std::get_if<double>(&m_value);
    return d ? *d : 0.0;
}
