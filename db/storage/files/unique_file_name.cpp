// UniqueFileName: thread digits and a counter.
#include "db/storage/files/unique_file_name.h"

#include <cstdint>

#include "db/storage/files/file_list.h"
#include "platform/os/path.h"
#include "platform/os/system.h"

std::string UniqueFileName(const std::string& prefix, const std::string& extension, bool inMemory) {
  // Thread ids are positive here; the cut keeps names short.
  const std::string thread_digits = std::to_string(platform::ThreadId()).substr(0, 5);
  const std::string stem = platform::IncludeTrailingSeparator(prefix) + thread_digits;
  for (uint64_t counter = 0;; ++counter) {
    std::string candidate = stem + std::to_string(counter) + extension;
    if (!FileList().FileExists(candidate, inMemory)) return candidate;
  }
}
