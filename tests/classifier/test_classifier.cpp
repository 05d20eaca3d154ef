#include "classifier/MyModel.h"
#include "common/TestMain.h"
#include "platform/core/Bundle.h"
#include "platform/ml/MLDictionaryFeatureProvider.h"
#include "platform/ml/MLModelError.h"
#include "platform/ml/TextClassifierTrainer.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

using Edit = std::function<void(const QString &)>;
const QString bundled = qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR") + u"/MyModel.mlmodelc"_s;
const QString modelFile = u"/model.ftz"_s;
const QString metadataFile = u"/metadata.json"_s;

QString copyOfBundled(const QTemporaryDir &tmp)
{
    const QString to = tmp.filePath(u"MyModel.mlmodelc"_s);
    QDir().mkpath(to);
    for (const QString &name : QDir(bundled).entryList(QDir::Files))
        QFile::copy(bundled + u'/' + name, to + u'/' + name);
    return to;
}

// Merges the fields of a JSON object into the model's metadata.
Edit metadata(const QByteArray &json)
{
    return [json](const QString &d) {
        QVariantMap fields = QJsonDocument::fromJson(fileContents(d + metadataFile)).toVariant().toMap();
        fields.insert(QJsonDocument::fromJson(json).toVariant().toMap());
        writeFile(d + metadataFile, QJsonDocument::fromVariant(fields).toJson());
    };
}

} // namespace

class TestClassifier : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Bundle::setMain(Bundle::besideProgram(u"yumekazu"_s)); } // as the application declares it
    void loadErrors_data()
    {
        QTest::addColumn<Edit>("damage");
        QTest::addColumn<MLModelErrorCode>("code");
        QTest::newRow("a file") << Edit([](const QString &d) { QDir(d).removeRecursively(), writeFile(d, "x"); }) << MLModelErrorCode::MissingModel;
        QTest::newRow("no metadata") << Edit([](const QString &d) { QFile::remove(d + metadataFile); }) << MLModelErrorCode::MissingFile;
        QTest::newRow("no model file") << Edit([](const QString &d) { QFile::remove(d + modelFile); }) << MLModelErrorCode::MissingFile;
        QTest::newRow("truncated") << Edit([](const QString &d) { writeFile(d + modelFile, fileContents(d + modelFile).left(99)); }) << MLModelErrorCode::Truncated;
        QTest::newRow("changed bytes") << Edit([](const QString &d) { writeFile(d + modelFile, fileContents(d + modelFile).replace(99, 4, "junk")); }) << MLModelErrorCode::Corrupt;
        // Garbage whose fingerprint is recorded still never reaches the reader.
        QTest::newRow("garbage with its own fingerprint") << Edit([](const QString &d) {
            writeFile(d + modelFile, QByteArray(4096, 'x'));
            metadata("{\"modelSize\": 4096, \"modelSha256\": \"" + QCryptographicHash::hash(QByteArray(4096, 'x'), QCryptographicHash::Sha256).toHex() + "\"}")(d);
        }) << MLModelErrorCode::Corrupt;
        QTest::newRow("not JSON") << Edit([](const QString &d) { writeFile(d + metadataFile, "{"); }) << MLModelErrorCode::Corrupt;
        QTest::newRow("Text") << metadata("{\"inputFeatures\":[{\"name\":\"Text\",\"type\":\"string\"}]}") << MLModelErrorCode::IncompatibleFeatures;
        QTest::newRow("int64") << metadata("{\"outputFeatures\":[{\"name\":\"label\",\"type\":\"int64\"}]}") << MLModelErrorCode::IncompatibleFeatures;
        QTest::newRow("other labels") << metadata("{\"labels\":[\"動物\"],\"defaultLabel\":\"動物\"}") << MLModelErrorCode::IncompatibleFeatures;
        QTest::newRow("newer format") << metadata("{\"formatVersion\": 2}") << MLModelErrorCode::UnsupportedVersion;
        QTest::newRow("outside") << metadata("{\"modelFile\": \"../model.ftz\"}") << MLModelErrorCode::Corrupt;
    }
    void loadErrors()
    {
        QFETCH(Edit, damage);
        QFETCH(MLModelErrorCode, code);
        QTemporaryDir tmp;
        const QString dir = copyOfBundled(tmp);
        damage(dir);
        const auto model = MyModel::create(dir);
        QCOMPARE(model ? 0 : model.error().code, int(code));
        // The other load forms report the same error.
        std::optional<MyModel::LoadResult> handled;
        MyModel::load(dir, {}, [&handled](MyModel::LoadResult r) { handled = std::move(r); });
        QTRY_COMPARE(handled && !*handled ? handled->error().code : 0, int(code));
        QCOMPARE(MyModel::loadAsync(dir).result().error().code, int(code));
    }

    void predictions()
    {
        std::optional<MyModel::LoadResult> model;
        MyModel::load({}, [&](MyModel::LoadResult r) { model = QThread::currentThread() == thread() ? std::optional(r) : std::nullopt; });
        QVERIFY(!model); // the handler never runs before load() returns, and then on this thread
        QTRY_VERIFY2(model && *model, "the bundled model loads");
        // Notes without any word, or posing as a label, still get one of the labels.
        for (const QString &text : {QString(), u"   \n"_s, u"！？…"_s, u"__label__旅行"_s})
            QVERIFY2((**model)->model()->metadata().labels.contains((**model)->prediction(MyModelInput(text))->label()), qPrintable(text));
        QVERIFY((**model)->predictions({})->empty());
        // The typed input answers to its own feature name only.
        QVERIFY(!MyModelInput(u"鳩"_s).featureValue(u"label"_s) && !MyModelInput(u"鳩"_s).featureValue(u"Text"_s));
        QCOMPARE(std::pair(MyModelOutput(QString()).featureNames(), MyModelOutput(QString()).label()), std::pair(QSet{u"label"_s}, QString()));
        const auto batch = (**model)->predictions({MyModelInput(u"台風で電車が止まった"_s), MyModelInput(u"朝ごはんに卵焼き"_s),
                                                   MyModelInput(u"上司と予算の打ち合わせ"_s)});
        QStringList labelled;
        std::ranges::transform(*batch, std::back_inserter(labelled), &MyModelOutput::label);
        QCOMPARE(labelled, (QStringList{u"天気"_s, u"食べ物"_s, u"仕事"_s}));
        const auto misnamed = MLDictionaryFeatureProvider::create({{u"Text"_s, MLFeatureValue::fromString(u"猫"_s)}});
        QCOMPARE((**model)->model()->prediction(*misnamed).error().code, int(MLModelErrorCode::MissingInput));
    }

    void tokens_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words");
        QTest::newRow("width and case") << u"ＺｏｏｍでMTG ｶﾞｯﾂ"_s << u"zoom で mtg ガッツ"_s;
        QTest::newRow("numbers") << u"３時 17:30 2024/5/1 36.5度 1,000円 1013hPa"_s << u"0 時 0 0 0 度 0 円 0hpa"_s;
        QTest::newRow("emoji") << u"雨☔️ 👍🏽!"_s << u"雨 ☔ 👍"_s;
        QTest::newRow("no label smuggled in") << u"__label__旅行"_s << u"label__ 旅行"_s;
        QTest::newRow("punctuation") << u"！？…「」"_s << QString();
    }
    void tokens()
    {
        QFETCH(QString, text);
        QFETCH(QString, words);
        QCOMPARE(QString::fromStdString(TextTokenizer().line(text)), words);
    }

    void training()
    {
        QTemporaryDir tmp;
        const QString tsv = tmp.filePath(u"notes.tsv"_s);
        QVERIFY(writeFile(tsv, "動物\t猫\n\n動物 \t犬\n"));
        QVERIFY(TextClassifierTrainer::readTsv(tsv).error().localizedDescription.startsWith(u"3 "_s));
        // A failed training run leaves an earlier model as it was.
        const QString dir = copyOfBundled(tmp);
        const QByteArray before = fileContents(dir + modelFile);
        QVERIFY(!TextClassifierTrainer::train({}, dir, {}));
        QCOMPARE(fileContents(dir + modelFile), before);
        // Nor is a work folder left behind.
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), (QStringList{u"MyModel.mlmodelc"_s, u"notes.tsv"_s}));
    }
};

YUMEKAZU_TEST_MAIN(TestClassifier)
#include "test_classifier.moc"
