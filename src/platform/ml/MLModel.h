#pragma once

#include "platform/core/Expected.h"

#include <QString>

#include <memory>

namespace fasttext {
class FastText;
}

struct MLModelConfiguration {};
struct MLPredictionOptions {};

// A compiled text classifier: a directory holding a fastText model
// (model.ftz or model.bin) that maps the string feature "text" to "label".
class MLModel {
public:
    static Expected<std::shared_ptr<MLModel>> load(const QString &url,
                                                   const MLModelConfiguration &configuration = {});
    ~MLModel();

    // The most likely label of text.
    [[nodiscard]] Expected<QString> predictLabel(const QString &text) const;

    // Japanese has no spaces: every character becomes a token, the same way
    // for training and prediction.
    static std::string tokenize(const QString &text);

private:
    MLModel();
    std::unique_ptr<fasttext::FastText> m_fastText;
};
