// Classifier measurements on the bundled model: file size, load, one short
// note, one 100 KB note, and batch throughput.
#include "classifier/MyModel.h"
#include "common/Stats.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

constexpr int runs = 15;
constexpr int batchSize = 1000;

[[noreturn]] void fail(const PlatformError &error)
{
    std::fprintf(stderr, "bench_classifier: %s\n", qPrintable(error.localizedDescription));
    std::exit(1);
}

std::shared_ptr<MyModel> loadOnce(const QString &url)
{
    auto model = MyModel::create(url);
    if (!model)
        fail(model.error());
    return *model;
}

void timePrediction(const MyModel &model, const QString &text, const std::string &name, const std::string &target)
{
    Stats stats;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto output = model.prediction(text);
        stats.add(millisecondsSince(start));
        if (!output)
            fail(output.error());
    }
    printRow(name, stats, "ms", nullptr, target);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_classifier MODEL_DIR\n");
        return 2;
    }
    const QString url = QString::fromLocal8Bit(argv[1]);

    Stats load;
    std::shared_ptr<MyModel> model;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        model = loadOnce(url);
        load.add(millisecondsSince(start));
    }
    printRow("Classifier: model load", load, "ms", nullptr, "< 10 ms");

    Stats size;
    size.add(double(model->model()->metadata().modelSize) / 1024);
    printRow("Classifier: model file size", size, "KiB", nullptr, "≤ 1024 KiB");

    const QString shortNote = u"明日は朝から雨で、午後には雪に変わるらしい"_s;
    timePrediction(*model, shortNote, "Classifier: one short note", "< 0.05 ms");

    const QString sentence = shortNote + u"。傘を持って出かけよう。\n"_s;
    const qsizetype sentenceBytes = sentence.toUtf8().size();
    QString longNote;
    for (qsizetype bytes = 0; bytes < 100 * 1024; bytes += sentenceBytes)
        longNote += sentence;
    timePrediction(*model, longNote, "Classifier: one 100 KB note", {});

    const QStringList notes = {shortNote, u"猫がひなたで丸くなって寝ている"_s, u"来週の会議の資料を金曜までに仕上げる"_s,
                               u"京都の旅館を二泊予約した"_s, u"カレーに隠し味でりんごを入れた"_s,
                               u"朝のストレッチで肩こりが楽になった"_s};
    std::vector<MyModelInput> batch;
    batch.reserve(batchSize);
    for (int i = 0; i < batchSize; ++i)
        batch.emplace_back(notes[i % notes.size()]);
    Stats throughput;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto outputs = model->predictions(batch);
        const double ms = millisecondsSince(start);
        if (!outputs)
            fail(outputs.error());
        throughput.add(batchSize / (ms / 1000.0));
    }
    printRow("Classifier: batch of " + std::to_string(batchSize) + " short notes", throughput, "notes/s");
    return 0;
}
