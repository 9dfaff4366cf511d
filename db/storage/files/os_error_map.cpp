// OS error numbers to engine codes; the table is in os_error_map.h.
#include "db/storage/files/os_error_map.h"

#include <cerrno>

#include "db/engine/errors/engine_error_codes.h"

uint16_t EngineCodeOfOsError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return VUZODE_OSENOENT;
    case EMFILE:
    case ENFILE:
      return VUZODE_OSEMFILE;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case EISDIR:
    case ETXTBSY:
      return VUZODE_OSEACCES;
    case EBADF:
      return VUZODE_OSEBADF;
    case ENOMEM:
      return VUZODE_OSENOMEM;
    case ENODEV:
    case ENXIO:
      return VUZODE_OSENODEV;
    case EXDEV:
      return VUZODE_OSENOTSAM;
    default:
      return VUZODE_OSUNKNOWN;
  }
}
