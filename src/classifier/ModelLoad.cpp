#include "classifier/ModelLoad.h"

#include "classifier/MyModel.h"

#include <QtConcurrentRun>

ModelLoad::ModelLoad(const Loader &loader)
{
    if (loader)
        m_load = QtConcurrent::run(loader);
}

const MyModel *ModelLoad::model() const
{
    if (!m_load.isValid())
        return nullptr;
    // The future keeps its result: the model lives as long as this object.
    const Result loaded = m_load.result();
    return loaded ? loaded->get() : nullptr;
}
