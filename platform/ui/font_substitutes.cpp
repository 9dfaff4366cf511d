// Font substitution table for the window's fonts.
#include "platform/ui/font_substitutes.h"

#include <QFont>
#include <QStringList>

namespace pebrio::ui {

void InstallFontSubstitutes() {
  QStringList gothic;
  gothic << QStringLiteral("IPAPGothic") << QStringLiteral("IPA Pゴシック");
  QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), gothic);
  QStringList rounded;
  rounded << QStringLiteral("MotoyaLMaru") << QStringLiteral("IPAPGothic");
  QFont::insertSubstitutions(QStringLiteral("HG丸ｺﾞｼｯｸM-PRO"), rounded);
}

}  // namespace pebrio::ui
