#include "platform/ml/MLArrayBatchProvider.h"

MLArrayBatchProvider::MLArrayBatchProvider(Providers providers) : m_providers(std::move(providers))
{
    for (const auto &p : m_providers)
        Q_ASSERT(p);
}

qsizetype MLArrayBatchProvider::count() const
{
    return qsizetype(m_providers.size());
}

const MLFeatureProvider &MLArrayBatchProvider::features(qsizetype at) const
{
    return *m_providers.at(std::size_t(at));
}
