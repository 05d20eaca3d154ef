#include "platform/dialogs/QtPanelFactory.h"

#include "platform/dialogs/QtOpenPanel.h"
#include "platform/dialogs/QtSavePanel.h"

using namespace Qt::StringLiterals;

std::unique_ptr<OpenPanel> QtPanelFactory::makeOpenPanel(QWidget *parent)
{
    return std::make_unique<QtOpenPanel>(parent);
}

std::unique_ptr<SavePanel> QtPanelFactory::makeSavePanel(QWidget *parent)
{
    return std::make_unique<QtSavePanel>(parent);
}

QString QtPanelFactory::nameFilter(const QStringList &fileTypes)
{
    QStringList patterns;
    patterns.reserve(fileTypes.size());
    for (const QString &type : fileTypes)
        patterns.append(u"*."_s + type);
    return patterns.join(u' ');
}
