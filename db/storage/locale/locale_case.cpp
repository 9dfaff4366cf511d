// Case mapping with a table's locale through the platform's locale layer.
#include "db/storage/locale/locale_case.h"

#include "db/engine/errors/engine_error.h"
#include "db/storage/locale/locale_list.h"
#include "platform/locale/case_mapping.h"

namespace {

// The locale whose case rules apply to LanguageId 0.
constexpr uint16_t kUsEnglish = MakeLanguageId(9, 1);

void MapCase(uint16_t languageId, uint16_t sortId, char* text, size_t length,
             platform::TCaseMapping mapping) {
  if (languageId == 0) {
    languageId = kUsEnglish;
    sortId = 0;
  }
  if (!platform::MapLocaleCase(languageId, sortId, text, length, mapping)) {
    RaiseEngineError(VUZODE_CANNOTLOADLDDRV);
  }
}

}  // namespace

void LocaleUpperCase(uint16_t languageId, uint16_t sortId, char* text, size_t length) {
  MapCase(languageId, sortId, text, length, platform::TCaseMapping::Upper);
}

void LocaleUpperCase(uint16_t languageId, uint16_t sortId, std::string& text) {
  MapCase(languageId, sortId, text.data(), text.size(), platform::TCaseMapping::Upper);
}

void LocaleLowerCase(uint16_t languageId, uint16_t sortId, char* text, size_t length) {
  MapCase(languageId, sortId, text, length, platform::TCaseMapping::Lower);
}

void LocaleLowerCase(uint16_t languageId, uint16_t sortId, std::string& text) {
  MapCase(languageId, sortId, text.data(), text.size(), platform::TCaseMapping::Lower);
}
