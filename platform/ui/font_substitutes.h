// The fonts the window names, mapped to installed fonts of the same metrics.
#pragma once

namespace pebrio::ui {

// Installs the substitutes once, before any widget is created:
// "ＭＳ Ｐゴシック" -> IPAPGothic, "HG丸ｺﾞｼｯｸM-PRO" -> MotoyaLMaru.
void InstallFontSubstitutes();

}  // namespace pebrio::ui
