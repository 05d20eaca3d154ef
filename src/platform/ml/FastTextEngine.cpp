#include "platform/ml/FastTextEngine.h"

#include "platform/ml/MLModelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

using namespace Qt::StringLiterals;

Expected<const FastTextEngine *> FastTextEngine::instance()
{
    // Once per process, thread-safe; the module stays loaded to the end, as
    // the models it made do.
    static const Expected<const FastTextEngine *> engine = []() -> Expected<const FastTextEngine *> {
        // Next to the program as installed, and in the build tree that mirrors it.
        const QString programDir = QFileInfo(QFile::symLinkTarget(u"/proc/self/exe"_s)).absolutePath();
        QLibrary module(QDir::cleanPath(programDir + u"/"_s + QStringLiteral(FASTTEXT_ENGINE_MODULE)));
        const auto entry = reinterpret_cast<FastTextEngineEntry>(module.resolve("fasttext_engine_entry"));
        if (!entry || !entry())
            return unexpected(mlModelError(MLModelErrorCode::EngineUnavailable,
                                           QCoreApplication::translate("MLModel", "分類エンジンを読み込めません。")));
        return entry();
    }();
    return engine;
}
