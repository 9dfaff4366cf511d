// The engine code of an operating-system error number, and a keeper that preserves the OS
// last-error value across clean-up.
//
//   | OS error (errno)                          | Engine code              |
//   |-------------------------------------------|--------------------------|
//   | ENOENT, ENOTDIR                           | VUZODE_OSENOENT  11010   |
//   | EMFILE, ENFILE                            | VUZODE_OSEMFILE  11012   |
//   | EACCES, EPERM, EROFS, EISDIR, ETXTBSY,    | VUZODE_OSEACCES  11013   |
//   | EBUSY (a sharing conflict)                |                          |
//   | EBADF                                     | VUZODE_OSEBADF   11014   |
//   | ENOMEM                                    | VUZODE_OSENOMEM  11016   |
//   | ENODEV, ENXIO                             | VUZODE_OSENODEV  11023   |
//   | EXDEV                                     | VUZODE_OSENOTSAM 11025   |
//   | any other, and 0                          | VUZODE_OSUNKNOWN 11047   |
#pragma once

#include <cstdint>

#include "platform/os/os_error.h"

uint16_t EngineCodeOfOsError(int error);

using platform::TOsErrorKeeper;
