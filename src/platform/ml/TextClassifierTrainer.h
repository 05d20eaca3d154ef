#pragma once

#include "platform/core/Expected.h"
#include "platform/ml/FastTextEngine.h"
#include "platform/ml/LabelledText.h"
#include "platform/ml/TextTokenizer.h"

#include <QString>

#include <vector>

// Trains a compiled model directory from labelled notes. Deterministic: a
// fixed seed and one training thread give the same model for the same data.
class TextClassifierTrainer {
public:
    struct Options : FastTextEngine::Settings {
        TextTokenizer::Scheme tokenizer = TextTokenizer::Scheme::Words;
    };

    // "label<TAB>text" per line, UTF-8; empty lines are skipped. A line
    // without a tab, an empty or spaced label, or invalid UTF-8 is an error
    // naming the line.
    static Expected<std::vector<LabelledText>> readTsv(const QString &path);

    // The examples in an order that depends on the seed alone, so that neither
    // the order of the files nor notes grouped by label steer the training.
    static std::vector<LabelledText> shuffled(std::vector<LabelledText> examples, int seed);

    // Writes a complete model directory at outputDirectory, replacing an
    // earlier one only once the new one is complete.
    static Expected<void> train(const std::vector<LabelledText> &examples, const QString &outputDirectory,
                                const Options &options);
};
