#include "platform/ml/MLModelMetadata.h"

#include "platform/ml/FastTextEngine.h"
#include "platform/ml/MLModelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MLModel", text);
}

QJsonArray feature(const QString &name)
{
    return QJsonArray{QJsonObject{{u"name"_s, name}, {u"type"_s, u"string"_s}}};
}

// The one string feature of a list, or nothing when the list is anything else.
std::optional<QString> singleStringFeature(const QJsonValue &value)
{
    const QJsonArray list = value.toArray();
    if (list.size() != 1 || list.at(0).toObject().value(u"type"_s).toString() != u"string"_s)
        return std::nullopt;
    return list.at(0).toObject().value(u"name"_s).toString();
}

} // namespace

Expected<MLModelMetadata> MLModelMetadata::read(const QString &directory)
{
    const QString path = QDir(directory).filePath(QString::fromUtf16(kFileName));
    if (!QFileInfo(path).isFile())
        return unexpected(mlModelError(MLModelErrorCode::MissingFile, tr("モデルのメタデータがありません。")));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(mlModelError(MLModelErrorCode::Unreadable, tr("モデルのメタデータを読めません。")));
    // A metadata file is a few hundred bytes; anything huge is not ours.
    if (file.size() > 1024 * 1024)
        return unexpected(mlModelError(MLModelErrorCode::Corrupt, tr("モデルのメタデータが壊れています。")));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return unexpected(mlModelError(MLModelErrorCode::Corrupt, tr("モデルのメタデータが壊れています。")));
    const QJsonObject o = doc.object();

    if (o.value(u"formatVersion"_s).toInt(-1) != kFormatVersion)
        return unexpected(mlModelError(MLModelErrorCode::UnsupportedVersion,
                                       tr("このモデルの形式のバージョンには対応していません。")));
    const auto input = singleStringFeature(o.value(u"inputFeatures"_s));
    const auto output = singleStringFeature(o.value(u"outputFeatures"_s));
    if (!input || !output || *input != u"text"_s || *output != u"label"_s)
        return unexpected(mlModelError(MLModelErrorCode::IncompatibleFeatures,
                                       tr("モデルの入力または出力の特徴量が合いません。")));
    MLModelMetadata m;

    m.modelFile = o.value(u"modelFile"_s).toString();
    m.modelSize = o.value(u"modelSize"_s).toInteger(-1);
    m.modelSha256 = o.value(u"modelSha256"_s).toString().toLatin1();
    const auto scheme = TextTokenizer::schemeFromName(o.value(u"tokenizer"_s).toString());
    for (const QJsonValue &l : o.value(u"labels"_s).toArray())
        m.labels.append(l.toString());
    m.defaultLabel = o.value(u"defaultLabel"_s).toString();
    // The model file must be a plain name inside the directory.
    const bool plainName = !m.modelFile.isEmpty() && !m.modelFile.contains(u'/') && m.modelFile != u"."_s
                           && m.modelFile != u".."_s;
    if (!plainName || m.modelSize <= 0 || m.modelSha256.size() != 64 || !scheme || m.labels.isEmpty()
        || !m.labels.contains(m.defaultLabel))
        return unexpected(mlModelError(MLModelErrorCode::Corrupt, tr("モデルのメタデータが壊れています。")));
    m.tokenizer = *scheme;
    return m;
}

QByteArray MLModelMetadata::toJson() const
{
    QJsonArray labelArray;
    for (const QString &l : labels)
        labelArray.append(l);
    const QJsonObject o{
        {u"formatVersion"_s, kFormatVersion},
        {u"inputFeatures"_s, feature(inputFeature)},
        {u"outputFeatures"_s, feature(outputFeature)},
        {u"modelFile"_s, modelFile},
        {u"modelSize"_s, modelSize},
        {u"modelSha256"_s, QString::fromLatin1(modelSha256)},
        {u"tokenizer"_s, TextTokenizer::schemeName(tokenizer)},
        {u"labels"_s, labelArray},
        {u"defaultLabel"_s, defaultLabel},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QByteArray MLModelMetadata::fingerprintOf(const QByteArray &modelBytes)
{
    const auto engine = FastTextEngine::instance();
    return engine ? (*engine)->sha256Hex(modelBytes) : QByteArray();
}
