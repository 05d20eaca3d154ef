#include "classifier/MyModel.h"
#include "common/TestMain.h"
#include "platform/ml/MLDictionaryFeatureProvider.h"
#include "platform/ml/MLModelError.h"
#include "platform/ml/TextClassifierTrainer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

QString bundledModel()
{
    return qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR") + u"/MyModel.mlmodelc"_s;
}

void copyModel(const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : QDir(bundledModel()).entryList(QDir::Files))
        QFile::copy(bundledModel() + u'/' + name, to + u'/' + name);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void editMetadata(const QString &dir, const std::function<void(QJsonObject &)> &edit)
{
    const QString path = dir + u"/metadata.json"_s;
    QJsonObject o = QJsonDocument::fromJson(readAll(path)).object();
    edit(o);
    writeAll(path, QJsonDocument(o).toJson());
}

} // namespace

class TestClassifier : public QObject {
    Q_OBJECT

private slots:
    void inputFeatures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::newRow("text") << u"text"_s << true;
        QTest::newRow("label") << u"label"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("capital T") << u"Text"_s << false;
    }
    void inputFeatures()
    {
        QFETCH(QString, name);
        QFETCH(bool, found);
        MyModelInput input(u"猫"_s);
        input.setText(u"鳩と雀"_s);
        QCOMPARE(input.featureNames(), QSet<QString>{u"text"_s});
        const auto value = input.featureValue(name);
        QCOMPARE(value.has_value(), found);
        if (found)
            QCOMPARE(*value, MLFeatureValue::fromString(u"鳩と雀"_s));
    }

    void outputFeatures()
    {
        for (const QString &label : {QString(), u"旅行"_s}) {
            const MyModelOutput output(label);
            QCOMPARE(output.label(), label);
            QCOMPARE(output.featureNames(), QSet<QString>{u"label"_s});
            QVERIFY(!output.featureValue(u"text"_s));
        }
        auto provider = MLDictionaryFeatureProvider::create(
            {{u"label"_s, MLFeatureValue::fromString(u"天気"_s)}, {u"score"_s, MLFeatureValue::fromDouble(0.5)}});
        QVERIFY(provider);
        const MyModelOutput forwarded(std::make_shared<const MLDictionaryFeatureProvider>(std::move(*provider)));
        QCOMPARE(forwarded.label(), u"天気"_s);
        QCOMPARE(forwarded.featureNames(), (QSet<QString>{u"label"_s, u"score"_s}));
        QCOMPARE(forwarded.featureValue(u"score"_s)->doubleValue(), 0.5);
    }

    void loadErrors_data()
    {
        using Edit = std::function<void(const QString &)>;
        QTest::addColumn<Edit>("damage");
        QTest::addColumn<int>("code");
        const auto code = [](MLModelErrorCode c) { return int(c); };
        QTest::newRow("missing directory") << Edit([](const QString &d) { QDir(d).removeRecursively(); })
                                           << code(MLModelErrorCode::MissingModel);
        QTest::newRow("a file, not a directory") << Edit([](const QString &d) {
            QDir(d).removeRecursively();
            writeAll(d, "model");
        }) << code(MLModelErrorCode::MissingModel);
        QTest::newRow("missing metadata") << Edit([](const QString &d) { QFile::remove(d + u"/metadata.json"_s); })
                                          << code(MLModelErrorCode::MissingFile);
        QTest::newRow("missing model file") << Edit([](const QString &d) { QFile::remove(d + u"/model.ftz"_s); })
                                            << code(MLModelErrorCode::MissingFile);
        QTest::newRow("truncated") << Edit([](const QString &d) {
            const QString path = d + u"/model.ftz"_s;
            writeAll(path, readAll(path).left(1000));
        }) << code(MLModelErrorCode::Truncated);
        QTest::newRow("flipped byte") << Edit([](const QString &d) {
            const QString path = d + u"/model.ftz"_s;
            QByteArray bytes = readAll(path);
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5a);
            writeAll(path, bytes);
        }) << code(MLModelErrorCode::Corrupt);
        // Garbage whose fingerprint is recorded still never reaches the reader.
        QTest::newRow("garbage with its own fingerprint") << Edit([](const QString &d) {
            const QByteArray junk(4096, 'x');
            writeAll(d + u"/model.ftz"_s, junk);
            editMetadata(d, [&junk](QJsonObject &o) {
                o[u"modelSize"_s] = junk.size();
                o[u"modelSha256"_s] = QString::fromLatin1(QCryptographicHash::hash(junk, QCryptographicHash::Sha256).toHex());
            });
        }) << code(MLModelErrorCode::Corrupt);
        QTest::newRow("metadata not JSON") << Edit([](const QString &d) { writeAll(d + u"/metadata.json"_s, "{"); })
                                           << code(MLModelErrorCode::Corrupt);
        QTest::newRow("input feature Text") << Edit([](const QString &d) {
            editMetadata(d, [](QJsonObject &o) {
                o[u"inputFeatures"_s] = QJsonArray{QJsonObject{{u"name"_s, u"Text"_s}, {u"type"_s, u"string"_s}}};
            });
        }) << code(MLModelErrorCode::IncompatibleFeatures);
        QTest::newRow("output feature of another type") << Edit([](const QString &d) {
            editMetadata(d, [](QJsonObject &o) {
                o[u"outputFeatures"_s] = QJsonArray{QJsonObject{{u"name"_s, u"label"_s}, {u"type"_s, u"int64"_s}}};
            });
        }) << code(MLModelErrorCode::IncompatibleFeatures);
        QTest::newRow("newer format") << Edit([](const QString &d) {
            editMetadata(d, [](QJsonObject &o) { o[u"formatVersion"_s] = 2; });
        }) << code(MLModelErrorCode::UnsupportedVersion);
        QTest::newRow("model file outside the directory") << Edit([](const QString &d) {
            editMetadata(d, [](QJsonObject &o) { o[u"modelFile"_s] = u"../model.ftz"_s; });
        }) << code(MLModelErrorCode::Corrupt);
    }
    void loadErrors()
    {
        using Edit = std::function<void(const QString &)>;
        QFETCH(Edit, damage);
        QFETCH(int, code);
        QVERIFY2(QFileInfo::exists(bundledModel() + u"/metadata.json"_s), "the build trains the bundled model");
        QTemporaryDir tmp;
        const QString dir = tmp.filePath(u"MyModel.mlmodelc"_s);
        copyModel(dir);
        damage(dir);

        const auto model = MyModel::create(dir);
        QVERIFY(!model);
        QCOMPARE(model.error().code, code);
        QCOMPARE(model.error().domain, QString::fromUtf16(kMLModelErrorDomain));
        QVERIFY(!model.error().localizedDescription.isEmpty());

        // The other load forms report the same error.
        std::optional<MyModel::LoadResult> handled;
        MyModel::load(dir, {}, [&handled](MyModel::LoadResult r) { handled = std::move(r); });
        QTRY_VERIFY(handled);
        QVERIFY(!*handled);
        QCOMPARE(handled->error().code, code);
        auto future = MyModel::loadAsync(dir);
        future.waitForFinished();
        QVERIFY(!future.result());
        QCOMPARE(future.result().error().code, code);
    }

    void predictions()
    {
        const auto model = MyModel::create(MLModelConfiguration());
        QVERIFY2(model, "the bundled model loads");
        const QStringList labels = (*model)->model()->metadata().labels;
        QCOMPARE(labels.size(), 6);

        const auto cat = (*model)->prediction(MyModelInput(u"うちの猫が毛玉を吐いた"_s));
        QVERIFY(cat);
        QCOMPARE(cat->label(), u"動物"_s);
        QCOMPARE((*model)->prediction(u"うちの猫が毛玉を吐いた"_s)->label(), u"動物"_s);
        // Notes without any word still get one of the labels.
        for (const QString &text : {QString(), u"   \n"_s, u"！？…"_s, u"__label__旅行"_s}) {
            const auto output = (*model)->prediction(MyModelInput(text));
            QVERIFY(output);
            QVERIFY2(labels.contains(output->label()), qPrintable(output->label()));
        }

        QVERIFY((*model)->predictions({})->empty());
        const std::vector<MyModelInput> batch{MyModelInput(u"台風で電車が止まった"_s), MyModelInput(u"朝ごはんに卵焼き"_s),
                                              MyModelInput(u"上司と来期の予算の打ち合わせ"_s)};
        const auto outputs = (*model)->predictions(batch);
        QVERIFY(outputs);
        QCOMPARE(outputs->size(), batch.size());
        for (std::size_t i = 0; i < batch.size(); ++i)
            QCOMPARE(outputs->at(i).label(), (*model)->prediction(batch[i])->label());
        QCOMPARE(outputs->at(0).label(), u"天気"_s);
        QCOMPARE(outputs->at(1).label(), u"食べ物"_s);
        QCOMPARE(outputs->at(2).label(), u"仕事"_s);
    }

    void predictionInputErrors()
    {
        const auto model = MLModel::load(bundledModel());
        QVERIFY(model);
        const auto misnamed = MLDictionaryFeatureProvider::create({{u"Text"_s, MLFeatureValue::fromString(u"猫"_s)}});
        QCOMPARE((*model)->prediction(*misnamed).error().code, int(MLModelErrorCode::MissingInput));
        const auto mistyped = MLDictionaryFeatureProvider::create({{u"text"_s, MLFeatureValue::fromInt64(3)}});
        QCOMPARE((*model)->prediction(*mistyped).error().code, int(MLModelErrorCode::WrongInputType));
    }

    void completionAndAsyncForms()
    {
        QThread *const mainThread = QThread::currentThread();
        QThread *handlerThread = nullptr;
        std::optional<MyModel::LoadResult> handled;
        MyModel::load(MLModelConfiguration(), [&](MyModel::LoadResult r) {
            handlerThread = QThread::currentThread();
            handled = std::move(r);
        });
        QVERIFY(!handled); // the handler never runs before load() returns
        QTRY_VERIFY(handled);
        QVERIFY(*handled);
        QCOMPARE(handlerThread, mainThread);

        QThread *continuationThread = nullptr;
        QString label;
        auto done = MyModel::loadAsync().then(qApp, [&](MyModel::LoadResult r) {
            continuationThread = QThread::currentThread();
            if (r)
                label = (*r)->prediction(u"晴れて洗濯日和"_s)->label();
        });
        QTRY_VERIFY(done.isFinished());
        QCOMPARE(continuationThread, mainThread);
        QCOMPARE(label, u"天気"_s);
    }

    void training()
    {
        QTemporaryDir tmp;
        const QString tsv = tmp.filePath(u"notes.tsv"_s);
        writeAll(tsv, "動物\t猫\n\n動物 \t犬\n");
        const auto bad = TextClassifierTrainer::readTsv(tsv);
        QVERIFY(!bad);
        QVERIFY(bad.error().localizedDescription.startsWith(u"3 "_s));

        // A failed training run leaves an earlier model as it was.
        const QString dir = tmp.filePath(u"MyModel.mlmodelc"_s);
        copyModel(dir);
        const QByteArray before = readAll(dir + u"/model.ftz"_s);
        QVERIFY(!TextClassifierTrainer::train({}, dir));
        QCOMPARE(readAll(dir + u"/model.ftz"_s), before);
        QVERIFY(MyModel::create(dir));

        // The same notes give the same model, byte for byte.
        const std::vector<LabelledText> notes{{u"動物"_s, u"猫が鳴く"_s}, {u"天気"_s, u"雨が降る"_s},
                                              {u"動物"_s, u"犬の散歩"_s}, {u"天気"_s, u"明日は晴れ"_s}};
        TextClassifierTrainer::Options quick;
        quick.quantize = false;
        QVERIFY(TextClassifierTrainer::train(notes, tmp.filePath(u"a"_s), quick));
        QVERIFY(TextClassifierTrainer::train(notes, tmp.filePath(u"b"_s), quick));
        QCOMPARE(readAll(tmp.filePath(u"a/model.bin"_s)), readAll(tmp.filePath(u"b/model.bin"_s)));
        const auto small = MyModel::create(tmp.filePath(u"a"_s));
        QVERIFY(small);
        QCOMPARE((*small)->model()->metadata().labels, (QStringList{u"動物"_s, u"天気"_s}));
        // No work folder is left behind.
        QStringList left = QDir(tmp.path()).entryList(QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left, (QStringList{u"MyModel.mlmodelc"_s, u"a"_s, u"b"_s}));
    }
};

YUMEKAZU_TEST_MAIN(TestClassifier)
#include "test_classifier.moc"
