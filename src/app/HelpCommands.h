#pragma once

#include <QString>

class QMenu;
class UrlOpener;
class Bundle;

// The Help menu's three items.
namespace HelpCommands {

// Home page of the software-distribution site we point users to for help.
inline const QString onlineHelpAddress = QStringLiteral("https://www.debian.org/");

void openOnlineHelp(UrlOpener &opener);
// Opens the bundled manual; without it, nothing happens.
void openManual(UrlOpener &opener, const Bundle &bundle);
void fill(QMenu *menu, UrlOpener &opener, const Bundle &bundle);

} // namespace HelpCommands
