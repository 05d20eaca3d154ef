#include "platform/core/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

Bundle &declaredMain()
{
    static Bundle bundle;
    return bundle;
}

} // namespace

Bundle Bundle::main()
{
    return declaredMain();
}

void Bundle::setMain(Bundle bundle)
{
    declaredMain() = std::move(bundle);
}

Bundle Bundle::besideProgram(const QString &name)
{
    return Bundle(QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/"_s + name));
}

Bundle::Bundle(QString resourceDirectory) : m_resourceDirectory(std::move(resourceDirectory)) {}

std::optional<QString> Bundle::url(const QString &name, const QString &extension) const
{
    if (m_resourceDirectory.isEmpty())
        return std::nullopt;
    const QString path = m_resourceDirectory + u'/' + name + u'.' + extension;
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return path;
}
