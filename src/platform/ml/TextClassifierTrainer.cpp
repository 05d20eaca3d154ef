#include "platform/ml/TextClassifierTrainer.h"

#include "platform/core/AtomicFile.h"
#include "platform/core/Utf8.h"
#include "platform/ml/MLModelError.h"
#include "platform/ml/MLModelMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <random>

using namespace Qt::StringLiterals;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MLModel", text);
}

PlatformError badData(qsizetype lineNumber, const QString &why)
{
    return mlModelError(MLModelErrorCode::InvalidTrainingData,
                        tr("%1 行目: %2").arg(lineNumber).arg(why));
}

Expected<void> writeFile(const QString &path, const QByteArray &bytes)
{
    // Readable by others as any new file is: an installed model serves every user.
    if (!AtomicFile::write(path, bytes))
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed,
                                       tr("%1 を書き込めません。").arg(QDir::toNativeSeparators(path))));
    return {};
}

} // namespace

Expected<std::vector<LabelledText>> TextClassifierTrainer::readTsv(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(mlModelError(MLModelErrorCode::Unreadable,
                                       tr("%1 を読めません。").arg(QDir::toNativeSeparators(path))));
    std::vector<LabelledText> examples;
    qsizetype lineNumber = 0;
    while (!file.atEnd()) {
        QByteArray raw = file.readLine();
        ++lineNumber;
        while (raw.endsWith('\n') || raw.endsWith('\r'))
            raw.chop(1);
        const std::optional<QString> decoded = Utf8::decode(raw);
        if (!decoded)
            return unexpected(badData(lineNumber, tr("UTF-8 ではありません。")));
        const QString &line = *decoded;
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            return unexpected(badData(lineNumber, tr("ラベルと本文の間にタブがありません。")));
        const QString label = line.left(tab);
        if (label.isEmpty() || std::any_of(label.cbegin(), label.cend(), [](QChar c) { return c.isSpace(); }))
            return unexpected(badData(lineNumber, tr("ラベルが空か空白を含んでいます。")));
        examples.push_back({label, line.mid(tab + 1)});
    }
    return examples;
}

std::vector<LabelledText> TextClassifierTrainer::shuffled(std::vector<LabelledText> examples, int seed)
{
    // mt19937's output is fixed by the standard; the library's distributions
    // and std::shuffle are not, so the swap positions are drawn by hand.
    std::mt19937 random{std::uint32_t(seed)};
    for (std::size_t i = examples.size(); i > 1; --i)
        std::swap(examples[i - 1], examples[random() % i]);
    return examples;
}

Expected<void> TextClassifierTrainer::train(const std::vector<LabelledText> &examples, const QString &outputDirectory,
                                            const Options &options)
{
    const TextTokenizer tokenizer(options.tokenizer);
    QMap<QString, int> counts;
    QByteArray corpus;
    for (const LabelledText &e : shuffled(examples, options.seed)) {
        const std::string tokens = tokenizer.line(e.text);
        if (tokens.empty())
            continue;
        counts[e.label] += 1;
        corpus += "__label__" + e.label.toUtf8() + ' ' + QByteArray::fromStdString(tokens) + '\n';
    }
    if (counts.isEmpty())
        return unexpected(mlModelError(MLModelErrorCode::InvalidTrainingData, tr("学習データがありません。")));

    // The new model is built beside the target and moved into place at the
    // end, so a failed run leaves an earlier model as it was.
    const QFileInfo target(outputDirectory);
    if (!QDir().mkpath(target.absolutePath()))
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed,
                                       tr("%1 を作れません。").arg(QDir::toNativeSeparators(target.absolutePath()))));
    QTemporaryDir work(target.absolutePath() + u"/.%1-XXXXXX"_s.arg(target.fileName()));
    if (!work.isValid())
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed,
                                       tr("%1 に書き込めません。").arg(QDir::toNativeSeparators(target.absolutePath()))));
    const QString corpusPath = work.filePath(u"corpus.txt"_s);
    if (auto written = writeFile(corpusPath, corpus); !written)
        return written;

    const QString modelDir = work.filePath(target.fileName());
    if (!QDir().mkpath(modelDir))
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed, tr("モデルのフォルダーを作れません。")));

    const auto engine = FastTextEngine::instance();
    if (!engine)
        return unexpected(engine.error());
    const auto trained = (*engine)->train(options, QFile::encodeName(corpusPath).toStdString(),
                                          QFile::encodeName(modelDir).toStdString());
    if (!trained)
        return unexpected(mlModelError(MLModelErrorCode::TrainingFailed,
                                       tr("学習に失敗しました: %1").arg(QString::fromLocal8Bit(trained.error()))));
    const QString modelFile = QFile::decodeName(QByteArray::fromStdString(trained.value()));

    QFile saved(QDir(modelDir).filePath(modelFile));
    if (!saved.open(QIODevice::ReadOnly))
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed, tr("モデルのファイルを書き込めません。")));
    const QByteArray bytes = saved.readAll();
    saved.close();

    MLModelMetadata metadata;
    metadata.modelFile = modelFile;
    metadata.modelSize = bytes.size();
    metadata.modelSha256 = MLModelMetadata::fingerprintOf(bytes);
    if (metadata.modelSha256.isEmpty())
        return unexpected(mlModelError(MLModelErrorCode::TrainingFailed, tr("学習に失敗しました: %1").arg(u"SHA-256"_s)));
    metadata.tokenizer = options.tokenizer;
    metadata.labels = counts.keys();
    // Most frequent label; ties go to the first in sorted order.
    metadata.defaultLabel = metadata.labels.front();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(metadata.defaultLabel))
            metadata.defaultLabel = it.key();
    }
    if (auto written = writeFile(QDir(modelDir).filePath(QString::fromUtf16(MLModelMetadata::kFileName)),
                                 metadata.toJson());
        !written)
        return written;

    const QString old = work.filePath(u"previous"_s);
    const bool hadOld = target.exists();
    if (hadOld && !QDir().rename(target.absoluteFilePath(), old))
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed,
                                       tr("%1 を置き換えられません。").arg(QDir::toNativeSeparators(outputDirectory))));
    if (!QDir().rename(modelDir, target.absoluteFilePath())) {
        if (hadOld)
            QDir().rename(old, target.absoluteFilePath());
        return unexpected(mlModelError(MLModelErrorCode::WriteFailed,
                                       tr("%1 を書き込めません。").arg(QDir::toNativeSeparators(outputDirectory))));
    }
    return {};
}
