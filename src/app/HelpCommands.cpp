#include "app/HelpCommands.h"

#include "platform/core/Bundle.h"
#include "platform/core/UrlOpener.h"

#include <QCoreApplication>
#include <QMenu>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace HelpCommands {

void openOnlineHelp(UrlOpener &opener)
{
    const QUrl url(onlineHelpAddress, QUrl::StrictMode);
    if (url.isValid())
        (void)opener.open(url);
}

void openManual(UrlOpener &opener, const Bundle &bundle)
{
    if (const auto path = bundle.url(u"Yumekazu"_s, u"pdf"_s))
        (void)opener.open(QUrl::fromLocalFile(*path));
}

void fill(QMenu *menu, UrlOpener &opener, const Bundle &bundle)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("HelpCommands", text); };
    menu->addAction(tr("Yumekazu ヘルプ…"), menu, [&opener] { openOnlineHelp(opener); });
    menu->addAction(tr("オンラインヘルプ…"), menu, [] {});
    menu->addAction(tr("添付マニュアルをお読みください"), menu,
                    [&opener, bundle] { openManual(opener, bundle); });
}

} // namespace HelpCommands
