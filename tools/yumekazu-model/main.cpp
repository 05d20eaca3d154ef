// yumekazu-model: train a compiled classifier from labelled notes, measure it
// against held-out notes, or label notes read from standard input.

#include "platform/core/Utf8.h"
#include "platform/ml/MLModel.h"
#include "platform/ml/TextClassifierTrainer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kUsage =
    "usage:\n"
    "  yumekazu-model train DATA.tsv... -o DIR [--tokenizer words|characters] [--no-quantize]\n"
    "        [--epoch N] [--lr X] [--dim N] [--word-ngrams N] [--minn N] [--maxn N]\n"
    "        [--bucket N] [--cutoff N] [--seed N]\n"
    "  yumekazu-model cv NOTES.tsv... [--with DATA.tsv]... [--folds N] [--no-quantize]\n"
    "        [--OPTION V1,V2,... for any training option above]\n"
    "  yumekazu-model eval DIR DATA.tsv [--min-accuracy PERCENT] [--apart-from TRAIN.tsv]...\n"
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

// Sets one training option from its command-line name and value; false for an
// unknown name or a value out of range.
bool setOption(TextClassifierTrainer::Options &options, const QString &name, const QString &value)
{
    const std::map<QString, int *> numbers{
        {u"--epoch"_s, &options.epoch},   {u"--dim"_s, &options.dimension}, {u"--word-ngrams"_s, &options.wordNgrams},
        {u"--minn"_s, &options.minn},     {u"--maxn"_s, &options.maxn},     {u"--bucket"_s, &options.bucket},
        {u"--cutoff"_s, &options.cutoff}, {u"--seed"_s, &options.seed},
    };
    bool ok = false;
    if (const auto number = numbers.find(name); number != numbers.end()) {
        *number->second = value.toInt(&ok);
        return ok;
    }
    if (name == u"--lr"_s) {
        options.learningRate = value.toDouble(&ok);
        return ok && options.learningRate > 0;
    }
    if (name == u"--tokenizer"_s) {
        const auto scheme = TextTokenizer::schemeFromName(value);
        if (scheme)
            options.tokenizer = *scheme;
        return scheme.has_value();
    }
    return false;
}

// Appends the notes of every file to examples; false after saying why one
// cannot be read.
bool readAll(const QStringList &paths, std::vector<LabelledText> &examples)
{
    for (const QString &path : paths) {
        auto read = TextClassifierTrainer::readTsv(path);
        if (!read) {
            fail(read.error());
            return false;
        }
        examples.insert(examples.end(), read->begin(), read->end());
    }
    return true;
}

int train(QStringList args)
{
    TextClassifierTrainer::Options options;
    QStringList data;
    QString output;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"-o"_s && !args.isEmpty()) {
            output = args.takeFirst();
        } else if (a == u"--no-quantize"_s) {
            options.quantize = false;
        } else if (!a.startsWith(u'-')) {
            data.append(a);
        } else if (args.isEmpty() || !setOption(options, a, args.takeFirst())) {
            return usage();
        }
    }
    if (data.isEmpty() || output.isEmpty())
        return usage();
    std::vector<LabelledText> examples;
    if (!readAll(data, examples))
        return 1;
    if (const auto trained = TextClassifierTrainer::train(examples, output, options); !trained) {
        fail(trained.error());
        return 1;
    }
    return 0;
}

// Share of notes the model labels as given, or nothing after saying why not.
std::optional<double> accuracyOf(const MLModel &model, const std::vector<LabelledText> &notes)
{
    int correct = 0;
    for (const LabelledText &e : notes) {
        const auto predicted = model.predictLabel(e.text);
        if (!predicted) {
            fail(predicted.error());
            return std::nullopt;
        }
        correct += *predicted == e.label ? 1 : 0;
    }
    return notes.empty() ? 0.0 : double(correct) / double(notes.size());
}

// k-fold cross-validation of every combination of the listed settings: the
// notes are split into folds with each label spread evenly, every fold is
// held out once, and the notes of --with files are always trained on.
int crossValidate(QStringList args)
{
    int folds = 5;
    QStringList data;
    QStringList always;
    // Option names in the order they vary, each with its list of values.
    QList<std::pair<QString, QStringList>> grid;
    bool quantize = true;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"--no-quantize"_s) {
            quantize = false;
            continue;
        }
        if (!a.startsWith(u'-')) {
            data.append(a);
            continue;
        }
        if (args.isEmpty())
            return usage();
        const QString value = args.takeFirst();
        if (a == u"--folds"_s) {
            bool ok = false;
            folds = value.toInt(&ok);
            if (!ok || folds < 2)
                return usage();
        } else if (a == u"--with"_s) {
            always.append(value);
        } else {
            const QStringList values = value.split(u',');
            TextClassifierTrainer::Options probe;
            for (const QString &v : values) {
                if (!setOption(probe, a, v))
                    return usage();
            }
            grid.append({a, values});
        }
    }
    std::vector<LabelledText> notes;
    std::vector<LabelledText> extra;
    if (data.isEmpty() || !readAll(data, notes) || !readAll(always, extra))
        return data.isEmpty() ? usage() : 1;

    std::map<QString, std::vector<LabelledText>> byLabel;
    for (const LabelledText &e : TextClassifierTrainer::shuffled(notes, 1))
        byLabel[e.label].push_back(e);
    auto fold = std::vector<std::vector<LabelledText>>(std::size_t(folds));
    for (const auto &[label, group] : byLabel) {
        for (std::size_t i = 0; i < group.size(); ++i)
            fold[i % std::size_t(folds)].push_back(group[i]);
    }

    QTextStream out(stdout);
    for (const auto &[name, values] : std::as_const(grid))
        out << u"| "_s << name.mid(2) << u' ';
    out << u"| accuracy | lowest fold | model KB | seconds |\n"_s << u"|---"_s.repeated(grid.size() + 4) << u"|\n"_s;
    out.flush();
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    std::vector<qsizetype> choice(std::size_t(grid.size()), 0);
    for (bool more = true; more;) {
        TextClassifierTrainer::Options options;
        options.quantize = quantize;
        for (qsizetype g = 0; g < grid.size(); ++g)
            setOption(options, grid.at(g).first, grid.at(g).second.at(choice[std::size_t(g)]));
        QElapsedTimer timer;
        timer.start();
        double sum = 0;
        double lowest = 1;
        qint64 bytes = 0;
        for (std::size_t held = 0; held < fold.size(); ++held) {
            std::vector<LabelledText> training = extra;
            for (std::size_t f = 0; f < fold.size(); ++f) {
                if (f != held)
                    training.insert(training.end(), fold[f].begin(), fold[f].end());
            }
            const QString dir = work.filePath(u"fold"_s);
            if (const auto trained = TextClassifierTrainer::train(training, dir, options); !trained) {
                fail(trained.error());
                return 1;
            }
            const auto model = loadModel(dir);
            const auto accuracy = model ? accuracyOf(*model, fold[held]) : std::nullopt;
            if (!accuracy)
                return 1;
            sum += *accuracy;
            lowest = std::min(lowest, *accuracy);
            bytes = std::max(bytes, model->metadata().modelSize);
        }
        for (qsizetype g = 0; g < grid.size(); ++g)
            out << u"| "_s << grid.at(g).second.at(choice[std::size_t(g)]) << u' ';
        out << u"| %1% | %2% | %3 | %4 |\n"_s.arg(100 * sum / double(folds), 0, 'f', 1)
                   .arg(100 * lowest, 0, 'f', 1)
                   .arg(double(bytes) / 1024, 0, 'f', 0)
                   .arg(double(timer.elapsed()) / 1000, 0, 'f', 1);
        out.flush();
        // Next combination: the last option varies fastest.
        more = false;
        for (qsizetype g = grid.size() - 1; g >= 0 && !more; --g) {
            auto &c = choice[std::size_t(g)];
            c = (c + 1) % grid.at(g).second.size();
            more = c != 0;
        }
    }
    return 0;
}

int eval(QStringList args)
{
    double minAccuracy = -1;
    QStringList positional;
    QStringList training;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"--min-accuracy"_s && !args.isEmpty()) {
            bool ok = false;
            minAccuracy = args.takeFirst().toDouble(&ok);
            if (!ok)
                return usage();
        } else if (a == u"--apart-from"_s && !args.isEmpty()) {
            training.append(args.takeFirst());
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
    // A held-out note that the model was trained on, even spelled a little
    // differently, would flatter the score.
    std::vector<LabelledText> trained;
    if (!readAll(training, trained))
        return 1;
    const TextTokenizer tokenizer(model->metadata().tokenizer);
    std::set<std::string> seen;
    for (const LabelledText &e : trained)
        seen.insert(tokenizer.line(e.text));
    bool apart = true;
    for (const LabelledText &e : *examples) {
        if (seen.contains(tokenizer.line(e.text))) {
            std::fprintf(stderr, "yumekazu-model: also a training note: %s\n", e.text.toUtf8().constData());
            apart = false;
        }
    }
    if (!apart)
        return 1;

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
        const std::optional<QString> text = Utf8::decode(line);
        // One output line per input line, even for one that cannot be read, so
        // callers can pair them up.
        const auto label = !text ? Expected<QString>(unexpected(PlatformError{})) : model->predictLabel(*text);
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
    if (command == u"cv"_s)
        return crossValidate(args);
    if (command == u"eval"_s)
        return eval(args);
    if (command == u"predict"_s)
        return predict(args);
    return usage();
}
