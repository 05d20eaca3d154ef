#include "platform/ml/MLModelError.h"

PlatformError mlModelError(MLModelErrorCode code, const QString &text)
{
    return {QString::fromUtf16(kMLModelErrorDomain), static_cast<int>(code), text};
}
