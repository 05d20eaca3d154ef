#pragma once

#include <QString>

// The keys of the preference store. Integers that are absent read as 0.
namespace PreferenceKeys {

inline const QString stringKey = QStringLiteral("StringKey");
inline const QString bunreiKey = QStringLiteral("bunreiKey");
inline const QString intKeyToggle1 = QStringLiteral("IntKeyToggle1");
inline const QString intKeyToggle2 = QStringLiteral("IntKeyToggle2");
inline const QString intKeyToggle3 = QStringLiteral("IntKeyToggle3");

// Default of "bunreiKey": the example paragraph the start-up rule puts into the
// note. Content, not interface text, so it is not translated.
inline const QString sampleParagraph = QStringLiteral(
    "昨日は地域の猫とカラスと雀と鳩に挨拶代わりに餌をあげて旅行の安全を祈った。猫は塀の上で目を細め、カラスは電線から小声で鳴いてこちらを見ていた。雀と鳩は公園の砂場に集まり、撒いたパンくずを仲良く分け合った。7時15分の電車に乗る前に、駅前の植え込みにも米粒を置いた。車窓から見える田んぼの上を白い鷺が2羽ゆっくり横切っていった。旅先の宿でも、軒下の燕の巣を見上げて近所の鳥たちを思い出した。帰ったらまた皆に餌をあげて、無事に戻ったと報告するつもりだ...");

} // namespace PreferenceKeys
