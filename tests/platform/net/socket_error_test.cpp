// Tests of the socket layer's last-error value.
#include "platform/net/socket_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

TEST(SocketError, IsPerThreadAndApartFromErrno) {
  platform::SetLastSocketError(0);
  errno = EINTR;
  platform::SetLastSocketError(10060);
  EXPECT_EQ(errno, EINTR);
  int seen_by_other = -1;
  std::thread([&] {
    seen_by_other = platform::LastSocketError();
    platform::SetLastSocketError(10054);
  }).join();
  EXPECT_EQ(seen_by_other, 0) << "a new thread starts without an error";
  EXPECT_EQ(platform::LastSocketError(), 10060);
  platform::SetLastSocketError(0);
}

}  // namespace
