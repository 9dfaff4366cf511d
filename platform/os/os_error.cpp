// The OS last-error value is errno; see os_error.h for why.
#include "platform/os/os_error.h"

#include <cerrno>

namespace platform {

int LastOsError() {
  return errno;
}

void SetLastOsError(int error) {
  errno = error;
}

}  // namespace platform
