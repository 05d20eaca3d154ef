// The store file loader on arbitrary bytes: it must never crash, and whatever
// it reads must survive a write and a second read unchanged.
#include "platform/core/PreferenceFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto first = PreferenceFile::parse(QByteArrayView(data, qsizetype(size)));
    const auto again = PreferenceFile::parse(PreferenceFile::serialize(first.values));
    if (!again.whole || again.values != first.values)
        std::abort();
    return 0;
}
