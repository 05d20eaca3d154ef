#include "app/JapaneseInterface.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

bool JapaneseInterface::install()
{
    // Month and weekday names, and the week starting on Sunday as Japanese
    // calendars show it.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    QFont font = QApplication::font();
    QStringList families = font.families();
    families.removeAll(fontFamily);
    families.prepend(fontFamily);
    font.setFamilies(families);
    QApplication::setFont(font);

    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
