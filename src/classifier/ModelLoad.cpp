#include "classifier/ModelLoad.h"

#include "classifier/MyModel.h"

#include <QtConcurrentRun>

#include <utility>

ModelLoad::ModelLoad(Loader loader) : m_loader(std::move(loader)) {}

void ModelLoad::start()
{
    if (m_loader && !m_load.isValid())
        m_load = QtConcurrent::run(std::exchange(m_loader, {}));
}

const MyModel *ModelLoad::model()
{
    start();
    if (!m_load.isValid())
        return nullptr;
    // The future keeps its result: the model lives as long as this object.
    const Result loaded = m_load.result();
    return loaded ? loaded->get() : nullptr;
}
