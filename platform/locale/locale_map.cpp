// The identifier -> ICU locale table. It was produced once with ICU's uloc_getLocaleForLCID over
// the identifiers of the engine's locale list and then fixed by hand where ICU's answer names no
// locale ICU has data for:
//   - Serbian (Latin, Cyrillic): ICU answers the former country code CS; RS is its successor.
//   - English (Caribbean): ICU answers the region 029, for which it has no data; plain English.
//   - German with the phone-book sort: ICU maps only the German (Germany) identifier; the other
//     German countries get the same collation keyword on their own locale.
// Spanish (Castilian), identifier 1034, is traditional Spanish ("ch" and "ll" are letters of
// their own); Spanish (Modern), 3082, is the present-day order.
#include "platform/locale/locale_map.h"

#include <algorithm>
#include <array>

namespace platform {
namespace {

// Sorted by (LanguageId, SortId); see invariant (2) in the header.
constexpr std::array kEntries = {
    TLocaleMapEntry{0x0401, 0, "ar_SA"},
    TLocaleMapEntry{0x0402, 0, "bg_BG"},
    TLocaleMapEntry{0x0403, 0, "ca_ES"},
    TLocaleMapEntry{0x0405, 0, "cs_CZ"},
    TLocaleMapEntry{0x0406, 0, "da_DK"},
    TLocaleMapEntry{0x0407, 0, "de_DE"},
    TLocaleMapEntry{0x0407, 1, "de_DE@collation=phonebook"},
    TLocaleMapEntry{0x0408, 0, "el_GR"},
    TLocaleMapEntry{0x0409, 0, "en_US"},
    TLocaleMapEntry{0x040A, 0, "es_ES@collation=traditional"},
    TLocaleMapEntry{0x040B, 0, "fi_FI"},
    TLocaleMapEntry{0x040C, 0, "fr_FR"},
    TLocaleMapEntry{0x040D, 0, "he_IL"},
    TLocaleMapEntry{0x040E, 0, "hu_HU"},
    TLocaleMapEntry{0x040F, 0, "is_IS"},
    TLocaleMapEntry{0x0410, 0, "it_IT"},
    TLocaleMapEntry{0x0413, 0, "nl_NL"},
    TLocaleMapEntry{0x0414, 0, "nb_NO"},
    TLocaleMapEntry{0x0415, 0, "pl_PL"},
    TLocaleMapEntry{0x0416, 0, "pt_BR"},
    TLocaleMapEntry{0x0418, 0, "ro_RO"},
    TLocaleMapEntry{0x0419, 0, "ru_RU"},
    TLocaleMapEntry{0x041A, 0, "hr_HR"},
    TLocaleMapEntry{0x041B, 0, "sk_SK"},
    TLocaleMapEntry{0x041C, 0, "sq_AL"},
    TLocaleMapEntry{0x041D, 0, "sv_SE"},
    TLocaleMapEntry{0x041E, 0, "th_TH"},
    TLocaleMapEntry{0x041F, 0, "tr_TR"},
    TLocaleMapEntry{0x0421, 0, "id_ID"},
    TLocaleMapEntry{0x0422, 0, "uk_UA"},
    TLocaleMapEntry{0x0423, 0, "be_BY"},
    TLocaleMapEntry{0x0424, 0, "sl_SI"},
    TLocaleMapEntry{0x0425, 0, "et_EE"},
    TLocaleMapEntry{0x0426, 0, "lv_LV"},
    TLocaleMapEntry{0x0427, 0, "lt_LT"},
    TLocaleMapEntry{0x0429, 0, "fa_IR"},
    TLocaleMapEntry{0x042A, 0, "vi_VN"},
    TLocaleMapEntry{0x042D, 0, "eu_ES"},
    TLocaleMapEntry{0x0436, 0, "af_ZA"},
    TLocaleMapEntry{0x0438, 0, "fo_FO"},
    TLocaleMapEntry{0x0801, 0, "ar_IQ"},
    TLocaleMapEntry{0x0807, 0, "de_CH"},
    TLocaleMapEntry{0x0807, 1, "de_CH@collation=phonebook"},
    TLocaleMapEntry{0x0809, 0, "en_GB"},
    TLocaleMapEntry{0x080A, 0, "es_MX"},
    TLocaleMapEntry{0x080C, 0, "fr_BE"},
    TLocaleMapEntry{0x0810, 0, "it_CH"},
    TLocaleMapEntry{0x0813, 0, "nl_BE"},
    TLocaleMapEntry{0x0814, 0, "nn_NO"},
    TLocaleMapEntry{0x0816, 0, "pt_PT"},
    TLocaleMapEntry{0x081A, 0, "sr_Latn_RS"},
    TLocaleMapEntry{0x081D, 0, "sv_FI"},
    TLocaleMapEntry{0x0C01, 0, "ar_EG"},
    TLocaleMapEntry{0x0C07, 0, "de_AT"},
    TLocaleMapEntry{0x0C07, 1, "de_AT@collation=phonebook"},
    TLocaleMapEntry{0x0C09, 0, "en_AU"},
    TLocaleMapEntry{0x0C0A, 0, "es_ES"},
    TLocaleMapEntry{0x0C0C, 0, "fr_CA"},
    TLocaleMapEntry{0x0C1A, 0, "sr_Cyrl_RS"},
    TLocaleMapEntry{0x1001, 0, "ar_LY"},
    TLocaleMapEntry{0x1007, 0, "de_LU"},
    TLocaleMapEntry{0x1007, 1, "de_LU@collation=phonebook"},
    TLocaleMapEntry{0x1009, 0, "en_CA"},
    TLocaleMapEntry{0x100A, 0, "es_GT"},
    TLocaleMapEntry{0x100C, 0, "fr_CH"},
    TLocaleMapEntry{0x1401, 0, "ar_DZ"},
    TLocaleMapEntry{0x1407, 0, "de_LI"},
    TLocaleMapEntry{0x1407, 1, "de_LI@collation=phonebook"},
    TLocaleMapEntry{0x1409, 0, "en_NZ"},
    TLocaleMapEntry{0x140A, 0, "es_CR"},
    TLocaleMapEntry{0x140C, 0, "fr_LU"},
    TLocaleMapEntry{0x1801, 0, "ar_MA"},
    TLocaleMapEntry{0x1809, 0, "en_IE"},
    TLocaleMapEntry{0x180A, 0, "es_PA"},
    TLocaleMapEntry{0x1C01, 0, "ar_TN"},
    TLocaleMapEntry{0x1C09, 0, "en_ZA"},
    TLocaleMapEntry{0x1C0A, 0, "es_DO"},
    TLocaleMapEntry{0x2001, 0, "ar_OM"},
    TLocaleMapEntry{0x2009, 0, "en_JM"},
    TLocaleMapEntry{0x200A, 0, "es_VE"},
    TLocaleMapEntry{0x2401, 0, "ar_YE"},
    TLocaleMapEntry{0x2409, 0, "en"},
    TLocaleMapEntry{0x240A, 0, "es_CO"},
    TLocaleMapEntry{0x2801, 0, "ar_SY"},
    TLocaleMapEntry{0x2809, 0, "en_BZ"},
    TLocaleMapEntry{0x280A, 0, "es_PE"},
    TLocaleMapEntry{0x2C01, 0, "ar_JO"},
    TLocaleMapEntry{0x2C09, 0, "en_TT"},
    TLocaleMapEntry{0x2C0A, 0, "es_AR"},
    TLocaleMapEntry{0x3001, 0, "ar_LB"},
    TLocaleMapEntry{0x300A, 0, "es_EC"},
    TLocaleMapEntry{0x3401, 0, "ar_KW"},
    TLocaleMapEntry{0x340A, 0, "es_CL"},
    TLocaleMapEntry{0x3801, 0, "ar_AE"},
    TLocaleMapEntry{0x380A, 0, "es_UY"},
    TLocaleMapEntry{0x3C01, 0, "ar_BH"},
    TLocaleMapEntry{0x3C0A, 0, "es_PY"},
    TLocaleMapEntry{0x4001, 0, "ar_QA"},
    TLocaleMapEntry{0x400A, 0, "es_BO"},
    TLocaleMapEntry{0x440A, 0, "es_SV"},
    TLocaleMapEntry{0x480A, 0, "es_HN"},
    TLocaleMapEntry{0x4C0A, 0, "es_NI"},
    TLocaleMapEntry{0x500A, 0, "es_PR"},
};

constexpr bool Before(const TLocaleMapEntry& a, const TLocaleMapEntry& b) {
  return a.LanguageId != b.LanguageId ? a.LanguageId < b.LanguageId : a.SortId < b.SortId;
}

static_assert(std::is_sorted(kEntries.begin(), kEntries.end(), Before),
              "lookups bisect the table, so it must stay sorted");

}  // namespace

std::span<const TLocaleMapEntry> LocaleMapEntries() {
  return kEntries;
}

const char* IcuLocaleFor(uint16_t languageId, uint16_t sortId) {
  const TLocaleMapEntry key{languageId, sortId, nullptr};
  const auto it = std::lower_bound(kEntries.begin(), kEntries.end(), key, Before);
  if (it == kEntries.end() || it->LanguageId != languageId || it->SortId != sortId) {
    return nullptr;
  }
  return it->IcuLocale;
}

}  // namespace platform
