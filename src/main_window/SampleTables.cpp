#include "main_window/SampleTables.h"

using namespace Qt::StringLiterals;

// Sample data shown as it is, not interface text: not translated.
namespace SampleTables {

QList<Person> people1()
{
    return {{u"猫"_s, u"Cat"_s, u"エサ"_s},
            {u"鳩"_s, u"Bird"_s, u"鳥の餌"_s},
            {u"雀"_s, u"Bird"_s, u"鳥の餌"_s},
            {u"カラス"_s, u"Bird"_s, u"鳥の餌"_s}};
}

QList<Person> people2()
{
    return {{u"パン"_s, u"食品"_s, u"2"_s},
            {u"おにぎり"_s, u"食品"_s, u"0"_s},
            {u"お菓子"_s, u"食品"_s, u"1"_s},
            {u"乾物"_s, u"食品"_s, u"1"_s}};
}

QList<Person> people3()
{
    return {{u"風景1"_s, u"平坦"_s, u"南北"_s},
            {u"風景2"_s, u"坂道"_s, u"東西"_s},
            {u"風景3"_s, u"平坦"_s, u"北南"_s},
            {u"風景4"_s, u"坂道"_s, u"西東"_s}};
}

QList<Person> people4()
{
    return {{u"猫レスキュー"_s, u"平坦"_s, u"暗所"_s},
            {u"猫レスキュー"_s, u"高所"_s, u"暗所"_s},
            {u"猫レスキュー"_s, u"平坦"_s, u"餌やり"_s},
            {u"鳥レスキュー"_s, u"高所"_s, u"餌やり"_s}};
}

QList<Person> people5()
{
    return {{u"猫レスキュー"_s, u"親猫から"_s, u"餌やり"_s},
            {u"猫レスキュー"_s, u"子猫から"_s, u"餌やり"_s},
            {u"猫レスキュー"_s, u"保温"_s, u"ミルクやり"_s},
            {u"鳥レスキュー"_s, u"親鳥から"_s, u"餌やり"_s}};
}

} // namespace SampleTables
