#include "platform/ml/MLModel.h"

#include <QDir>
#include <QFileInfo>

#include <fasttext/fasttext.h>

#include <sstream>

using namespace Qt::StringLiterals;

namespace {

PlatformError modelError(int code, const QString &text)
{
    return {u"MLModelError"_s, code, text};
}

} // namespace

MLModel::MLModel() : m_fastText(std::make_unique<fasttext::FastText>()) {}
MLModel::~MLModel() = default;

Expected<std::shared_ptr<MLModel>> MLModel::load(const QString &url, const MLModelConfiguration &)
{
    const QDir dir(url);
    if (!QFileInfo(url).isDir())
        return unexpected(modelError(1, u"The model directory does not exist."_s));
    QString file = dir.filePath(u"model.ftz"_s);
    if (!QFileInfo::exists(file))
        file = dir.filePath(u"model.bin"_s);
    if (!QFileInfo(file).isFile())
        return unexpected(modelError(2, u"The model file is missing."_s));
    std::shared_ptr<MLModel> model(new MLModel);
    try {
        model->m_fastText->loadModel(QFile::encodeName(file).toStdString());
    } catch (const std::exception &) {
        return unexpected(modelError(3, u"The model file cannot be read."_s));
    }
    return model;
}

std::string MLModel::tokenize(const QString &text)
{
    QString spaced;
    spaced.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        spaced += c;
        if (!c.isHighSurrogate())
            spaced += u' ';
    }
    return spaced.toStdString();
}

Expected<QString> MLModel::predictLabel(const QString &text) const
{
    std::istringstream in(tokenize(text) + "\n");
    std::vector<std::pair<fasttext::real, std::string>> predictions;
    try {
        m_fastText->predictLine(in, predictions, 1, 0.0);
    } catch (const std::exception &) {
        return unexpected(modelError(4, u"Prediction failed."_s));
    }
    if (predictions.empty())
        return unexpected(modelError(5, u"The model gave no label."_s));
    QString label = QString::fromStdString(predictions.front().second);
    label.remove(u"__label__"_s);
    return label;
}
