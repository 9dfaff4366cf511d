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

// Restores the OS last-error value when it goes out of scope, so that clean-up between a failing
// call and the raise of its error does not change the number the error context records.
class TOsErrorKeeper {
 public:
  TOsErrorKeeper() : saved_(platform::LastOsError()) {}
  ~TOsErrorKeeper() { platform::SetLastOsError(saved_); }
  TOsErrorKeeper(const TOsErrorKeeper&) = delete;
  TOsErrorKeeper& operator=(const TOsErrorKeeper&) = delete;

 private:
  int saved_;
};
