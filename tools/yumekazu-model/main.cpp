// yumekazu-model: train a compiled classifier from labelled notes, measure it
// against held-out notes, or label notes read from standard input.

#include "platform/ml/MLModel.h"
#include "platform/ml/TextClassifierTrainer.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QStringDecoder>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kUsage =
    "usage:\n"
    "  yumekazu-model train DATA.tsv... -o DIR [--tokenizer words|characters] [--no-quantize]\n"
    "        [--epoch N] [--lr X] [--dim N] [--word-ngrams N] [--minn N] [--maxn N]\n"
    "        [--bucket N] [--cutoff N] [--seed N]\n"
    "  yumekazu-model eval DIR DATA.tsv [--min-accuracy PERCENT]\n"
    "  yumekazu-model predict DIR   (one note per line on standard input)\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

void fail(const PlatformError &error)
{
    std::fprintf(stderr, "yumekazu-model: %s\n", error.localizedDescription.toUtf8().constData());
}

// The model at path, or null after saying why it cannot be loaded.
std::shared_ptr<MLModel> loadModel(const QString &path)
{
    auto model = MLModel::load(path);
    if (!model) {
        fail(model.error());
        return nullptr;
    }
    return std::move(model.value());
}

int train(QStringList args)
{
    TextClassifierTrainer::Options options;
    const std::map<QString, int *> numberOptions{
        {u"--epoch"_s, &options.epoch},   {u"--dim"_s, &options.dimension}, {u"--word-ngrams"_s, &options.wordNgrams},
        {u"--minn"_s, &options.minn},     {u"--maxn"_s, &options.maxn},     {u"--bucket"_s, &options.bucket},
        {u"--cutoff"_s, &options.cutoff}, {u"--seed"_s, &options.seed},
    };
    QStringList data;
    QString output;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"-o"_s && !args.isEmpty()) {
            output = args.takeFirst();
        } else if (a == u"--tokenizer"_s && !args.isEmpty()) {
            const auto scheme = TextTokenizer::schemeFromName(args.takeFirst());
            if (!scheme)
                return usage();
            options.tokenizer = *scheme;
        } else if (const auto number = numberOptions.find(a); number != numberOptions.end() && !args.isEmpty()) {
            bool ok = false;
            *number->second = args.takeFirst().toInt(&ok);
            if (!ok)
                return usage();
        } else if (a == u"--lr"_s && !args.isEmpty()) {
            bool ok = false;
            options.learningRate = args.takeFirst().toDouble(&ok);
            if (!ok || options.learningRate <= 0)
                return usage();
        } else if (a == u"--no-quantize"_s) {
            options.quantize = false;
        } else if (!a.startsWith(u'-')) {
            data.append(a);
        } else {
            return usage();
        }
    }
    if (data.isEmpty() || output.isEmpty())
        return usage();
    std::vector<LabelledText> examples;
    for (const QString &path : std::as_const(data)) {
        auto read = TextClassifierTrainer::readTsv(path);
        if (!read) {
            fail(read.error());
            return 1;
        }
        examples.insert(examples.end(), read->begin(), read->end());
    }
    if (const auto trained = TextClassifierTrainer::train(examples, output, options); !trained) {
        fail(trained.error());
        return 1;
    }
    return 0;
}

int eval(QStringList args)
{
    double minAccuracy = -1;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"--min-accuracy"_s && !args.isEmpty()) {
            bool ok = false;
            minAccuracy = args.takeFirst().toDouble(&ok);
            if (!ok)
                return usage();
        } else {
            positional.append(a);
        }
    }
    if (positional.size() != 2)
        return usage();
    const auto model = loadModel(positional.at(0));
    if (!model)
        return 1;
    const auto examples = TextClassifierTrainer::readTsv(positional.at(1));
    if (!examples) {
        fail(examples.error());
        return 1;
    }
    if (examples->empty()) {
        std::fputs("yumekazu-model: no notes to evaluate\n", stderr);
        return 1;
    }

    // confusion[expected][predicted]
    QMap<QString, QMap<QString, int>> confusion;
    QStringList labels = model->metadata().labels;
    int correct = 0;
    QTextStream out(stdout);
    for (const LabelledText &e : *examples) {
        const auto predicted = model->predictLabel(e.text);
        if (!predicted) {
            fail(predicted.error());
            return 1;
        }
        if (!labels.contains(e.label))
            labels.append(e.label);
        confusion[e.label][*predicted] += 1;
        if (*predicted == e.label)
            ++correct;
    }
    const double accuracy = 100.0 * correct / double(examples->size());
    out << u"accuracy: %1% (%2 of %3)\n"_s.arg(accuracy, 0, 'f', 1).arg(correct).arg(examples->size());
    out << u"\n| expected \\ predicted |"_s;
    for (const QString &l : labels)
        out << u' ' << l << u" |"_s;
    out << u"\n|---|"_s << u"---|"_s.repeated(labels.size()) << u'\n';
    for (const QString &expected : labels) {
        out << u"| "_s << expected << u" |"_s;
        for (const QString &predicted : labels)
            out << u' ' << confusion.value(expected).value(predicted) << u" |"_s;
        out << u'\n';
    }
    out.flush();
    if (minAccuracy >= 0 && accuracy < minAccuracy) {
        std::fprintf(stderr, "yumekazu-model: accuracy %.1f%% is below %.1f%%\n", accuracy, minAccuracy);
        return 1;
    }
    return 0;
}

int predict(const QStringList &args)
{
    if (args.size() != 1)
        return usage();
    const auto model = loadModel(args.at(0));
    if (!model)
        return 1;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const QString text = decoder(QByteArray::fromStdString(line));
        // One output line per input line, even for one that cannot be read, so
        // callers can pair them up.
        const auto label = decoder.hasError() ? Expected<QString>(unexpected(PlatformError{})) : model->predictLabel(text);
        if (!label) {
            std::fputs("\n", stdout);
            std::fprintf(stderr, "yumekazu-model: cannot classify line\n");
            continue;
        }
        std::fputs((*label + u'\n').toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == u"train"_s)
        return train(args);
    if (command == u"eval"_s)
        return eval(args);
    if (command == u"predict"_s)
        return predict(args);
    return usage();
}
