#pragma once

#include "platform/core/Expected.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <optional>
#include <string>

// The native side of the model runtime: fastText, and the SHA-256 that
// vouches for a model file before fastText reads it. It lives in a module of
// its own beside the program and is loaded the first time a model is loaded
// or trained, so neither library is mapped while the program starts.
class FastTextEngine {
public:
    // One loaded fastText model; usable from any thread.
    class Model {
    public:
        virtual ~Model() = default;
        [[nodiscard]] virtual qsizetype labelCount() const = 0;
        // The most likely label of one tokenized line ("__label__" included),
        // or nothing when no token of it is known; an error when fastText fails.
        [[nodiscard]] virtual Expected<std::optional<std::string>, std::string>
        predict(const std::string &line) const = 0;
    };

    // How a model is trained; the defaults are those of the bundled model.
    struct Settings {
        int epoch = 40;
        double learningRate = 0.5;
        int dimension = 32;
        int wordNgrams = 2;
        int minn = 1; // character n-grams inside each token
        int maxn = 4;
        int bucket = 40000;
        bool quantize = true;
        int cutoff = 30000; // rows kept by quantization
        int seed = 20240;
    };

    virtual ~FastTextEngine() = default;

    // Hex SHA-256 of bytes; empty when it cannot be computed.
    [[nodiscard]] virtual QByteArray sha256Hex(QByteArrayView bytes) const = 0;
    // A model from the bytes of a model file after its 8-byte header; null
    // when fastText refuses them.
    [[nodiscard]] virtual std::unique_ptr<Model> load(const std::string &body) const = 0;
    // Trains a supervised model on corpusPath ("__label__L tokens" per line)
    // with one thread, and saves it in modelDirectory; the name of the file
    // ("model.ftz" when quantized, else "model.bin"), or an error text.
    [[nodiscard]] virtual Expected<std::string, std::string>
    train(const Settings &settings, const std::string &corpusPath, const std::string &modelDirectory) const = 0;

    // The engine, loaded once per process from the module installed with the
    // program (its path, relative to the program's folder, is set by the
    // build); an error when the module is missing or not ours.
    static Expected<const FastTextEngine *> instance();
};

// The one symbol the module exports.
extern "C" {
using FastTextEngineEntry = const FastTextEngine *(*)();
}
