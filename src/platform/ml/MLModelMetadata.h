#pragma once

#include "platform/core/Expected.h"
#include "platform/ml/TextTokenizer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// metadata.json of a compiled model directory: what the model reads and
// returns, how its text is tokenized, and a fingerprint of the model file so a
// damaged file is caught before the fastText reader sees it.
struct MLModelMetadata {
    static constexpr int kFormatVersion = 1;
    static constexpr auto kFileName = u"metadata.json";

    QString inputFeature = QStringLiteral("text");
    QString outputFeature = QStringLiteral("label");
    QString modelFile = QStringLiteral("model.ftz");
    qint64 modelSize = 0;
    QByteArray modelSha256; // hex
    TextTokenizer::Scheme tokenizer = TextTokenizer::Scheme::Words;
    QStringList labels;
    // Returned when the text has no token at all (the empty note, punctuation
    // only): the most frequent training label.
    QString defaultLabel;

    // The hex SHA-256 of a model file's bytes, as modelSha256 holds it; empty
    // when it cannot be computed.
    static QByteArray fingerprintOf(const QByteArray &modelBytes);
    // Reads and checks the metadata file of a model directory.
    static Expected<MLModelMetadata> read(const QString &directory);
    [[nodiscard]] QByteArray toJson() const;
};
