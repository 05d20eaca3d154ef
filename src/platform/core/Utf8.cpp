#include "platform/core/Utf8.h"

#include <QStringDecoder>

std::optional<QString> Utf8::decode(QByteArrayView bytes, InitialBom bom)
{
    // Stateless: a sequence cut off at the end is an error, not left pending.
    QStringDecoder decoder(QStringConverter::Utf8, bom == InitialBom::Keep
                                                       ? QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom
                                                       : QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
