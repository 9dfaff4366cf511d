// The socket layer's last-error value of the calling thread.
//
// Unlike the OS value (errno), this one is kept separately: socket failures include conditions
// no system call reports (a poll time-out, a peer closing mid-reply), and the engine's error
// context wants the socket layer's own view. The socket client sets it on every failure; it
// stays until the next failure sets it again or someone clears it with 0.
#pragma once

namespace platform {

// The calling thread's last socket error number (0 when none was recorded).
int LastSocketError();

void SetLastSocketError(int error);

}  // namespace platform
