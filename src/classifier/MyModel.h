#pragma once

#include "classifier/MyModelInput.h"
#include "classifier/MyModelOutput.h"
#include "platform/core/Expected.h"
#include "platform/ml/MLModel.h"

#include <memory>
#include <optional>

// Typed access to the bundled classifier "MyModel.mlmodelc".
class MyModel {
public:
    explicit MyModel(std::shared_ptr<MLModel> model) : m_model(std::move(model)) {}

    // The bundled resource, if it is there.
    static std::optional<QString> urlOfModelInThisBundle();
    // A missing or broken resource is an error here, never the end of the program.
    static Expected<std::shared_ptr<MyModel>> create(const MLModelConfiguration &configuration = {});

    [[nodiscard]] Expected<MyModelOutput> prediction(const MyModelInput &input) const;

private:
    std::shared_ptr<MLModel> m_model;
};
