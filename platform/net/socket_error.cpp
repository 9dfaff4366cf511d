// Per-thread storage of the socket layer's last-error value.
#include "platform/net/socket_error.h"

namespace platform {
namespace {

thread_local int last_socket_error = 0;

}  // namespace

int LastSocketError() {
  return last_socket_error;
}

void SetLastSocketError(int error) {
  last_socket_error = error;
}

}  // namespace platform
