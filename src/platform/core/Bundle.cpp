#include "platform/core/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

Bundle Bundle::main()
{
    return Bundle(QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/yumekazu"_s));
}

Bundle::Bundle(QString resourceDirectory) : m_resourceDirectory(std::move(resourceDirectory)) {}

std::optional<QString> Bundle::url(const QString &name, const QString &extension) const
{
    const QString path = m_resourceDirectory + u'/' + name + u'.' + extension;
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return path;
}
