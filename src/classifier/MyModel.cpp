#include "classifier/MyModel.h"

#include "platform/core/Bundle.h"

using namespace Qt::StringLiterals;

std::optional<QString> MyModel::urlOfModelInThisBundle()
{
    return Bundle::main().url(u"MyModel"_s, u"mlmodelc"_s);
}

Expected<std::shared_ptr<MyModel>> MyModel::create(const MLModelConfiguration &configuration)
{
    const auto url = urlOfModelInThisBundle();
    if (!url)
        return unexpected(PlatformError{u"MyModel"_s, 1, u"The bundled classifier is missing."_s});
    auto model = MLModel::load(*url, configuration);
    if (!model)
        return unexpected(model.error());
    return std::make_shared<MyModel>(std::move(model.value()));
}

Expected<MyModelOutput> MyModel::prediction(const MyModelInput &input) const
{
    auto label = m_model->predictLabel(input.text());
    if (!label)
        return unexpected(label.error());
    return MyModelOutput(label.value());
}
