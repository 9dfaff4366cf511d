// The installed-locale check through the platform's locale layer.
#include "db/storage/locale/locale_check.h"

#include "db/engine/errors/engine_error.h"
#include "platform/locale/locale_collation.h"

bool IsLocaleInstalled(uint16_t languageId, uint16_t sortId) {
  return languageId != 0 && platform::IsLocaleInstalled(languageId, sortId);
}

void CheckTableLocale(uint16_t languageId, uint16_t sortId, std::string_view database,
                      std::string_view table) {
  if (languageId != 0 && !platform::IsLocaleInstalled(languageId, sortId)) {
    RaiseEngineError(VUZODE_CANNOTLOADLDDRV, {}, {}, database, table);
  }
}
