// The module behind FastTextEngine: the only code that links fastText and
// OpenSSL. The program loads it when it first needs a model.
#include "platform/ml/FastTextEngine.h"

#include <fasttext/args.h>
#include <fasttext/fasttext.h>
#include <openssl/evp.h>

#include <QtGlobal>

#include <sstream>

namespace {

class FastTextModel final : public FastTextEngine::Model {
public:
    explicit FastTextModel(std::unique_ptr<fasttext::FastText> fastText) : m_fastText(std::move(fastText)) {}

    [[nodiscard]] qsizetype labelCount() const override
    {
        const auto dictionary = m_fastText->getDictionary();
        return dictionary ? qsizetype(dictionary->nlabels()) : 0;
    }

    [[nodiscard]] Expected<std::optional<std::string>, std::string> predict(const std::string &line) const override
    {
        std::istringstream in(line + '\n');
        std::vector<std::pair<fasttext::real, std::string>> predictions;
        try {
            m_fastText->predictLine(in, predictions, 1, 0.0);
        } catch (const std::exception &e) {
            return unexpected(std::string(e.what()));
        }
        if (predictions.empty())
            return std::optional<std::string>();
        return std::optional<std::string>(predictions.front().second);
    }

private:
    std::unique_ptr<fasttext::FastText> m_fastText;
};

class Engine final : public FastTextEngine {
public:
    // OpenSSL's SHA-256 uses the processor's hash instructions where there
    // are some: several times faster than QCryptographicHash, which is most
    // of the load time of a model near 1 MB.
    [[nodiscard]] QByteArray sha256Hex(QByteArrayView bytes) const override
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_Digest(bytes.data(), std::size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1)
            return {};
        return QByteArray(reinterpret_cast<const char *>(digest), qsizetype(length)).toHex();
    }

    [[nodiscard]] std::unique_ptr<Model> load(const std::string &body) const override
    {
        auto fastText = std::make_unique<fasttext::FastText>();
        try {
            std::istringstream in(body);
            fastText->loadModel(in);
        } catch (const std::exception &) {
            return nullptr;
        }
        return std::make_unique<FastTextModel>(std::move(fastText));
    }

    [[nodiscard]] Expected<std::string, std::string> train(const Settings &options, const std::string &corpusPath,
                                                           const std::string &modelDirectory) const override
    {
        fasttext::FastText fastText;
        fasttext::Args args;
        args.input = corpusPath;
        args.model = fasttext::model_name::sup;
        args.loss = fasttext::loss_name::softmax;
        args.minCount = 1;
        args.minCountLabel = 1;
        args.epoch = options.epoch;
        args.lr = options.learningRate;
        args.dim = options.dimension;
        args.wordNgrams = options.wordNgrams;
        args.minn = options.minn;
        args.maxn = options.maxn;
        args.bucket = options.bucket;
        args.thread = 1;
        args.seed = options.seed;
        args.verbose = 0;
        std::string file = "model.bin";
        try {
            fastText.train(args);
            // Product quantization needs at least 256 rows to train its codebooks.
            const auto rows = fastText.getInputMatrix()->size(0);
            if (options.quantize && rows >= 256 && args.dim % 2 == 0) {
                fasttext::Args qargs = args;
                qargs.qnorm = true;
                qargs.qout = false;
                qargs.retrain = false;
                qargs.dsub = 2;
                qargs.cutoff = options.cutoff >= 256 ? std::size_t(options.cutoff) : 0;
                fastText.quantize(qargs);
                file = "model.ftz";
            }
            fastText.saveModel(modelDirectory + '/' + file);
        } catch (const std::exception &e) {
            return unexpected(std::string(e.what()));
        }
        return file;
    }
};

} // namespace

extern "C" Q_DECL_EXPORT const FastTextEngine *fasttext_engine_entry()
{
    static const Engine engine;
    return &engine;
}
