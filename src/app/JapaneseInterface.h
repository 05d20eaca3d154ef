#pragma once

#include <QString>

// Makes Qt's own texts (dialogs, context menus), dates and Han glyph forms
// Japanese whatever the system locale says: the interface is Japanese
// throughout, and the application's own texts are Japanese already.
class JapaneseInterface {
public:
    // Call once the application object exists, before any window is made.
    // False when Qt's Japanese translations are not installed; the rest
    // applies all the same.
    static bool install();

    // First in the font fallback, so Han characters take Japanese forms even
    // where the system prefers Chinese ones.
    static inline const QString fontFamily = QStringLiteral("Noto Sans CJK JP");
};
