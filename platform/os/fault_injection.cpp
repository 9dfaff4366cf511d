// Counting and failing file calls for tests; see fault_injection.h.
#include "platform/os/fault_injection.h"

#include <cassert>
#include <cerrno>

namespace platform {

TFileFaultPlan* g_file_fault_plan = nullptr;

bool TFileFaultPlan::Matches(const std::string& path) const {
  return path_filter.empty() || path.find(path_filter) != std::string::npos;
}

bool TFileFaultPlan::BeforeOpen(const std::string& path) {
  if (!Matches(path)) return true;
  const uint64_t nth = ++opens;
  if (fail_open_at != 0 && nth >= fail_open_at && nth - fail_open_at < fail_open_count) {
    errno = open_error;
    return false;
  }
  return true;
}

bool TFileFaultPlan::BeforeRead(const std::string& path) {
  if (!Matches(path)) return true;
  if (++reads == fail_read_at) {
    errno = read_error;
    return false;
  }
  return true;
}

bool TFileFaultPlan::BeforeWrite(const std::string& path, uint32_t& count) {
  if (!Matches(path)) return true;
  const uint64_t nth = ++writes;
  if (nth == fail_write_at) {
    errno = write_error;
    return false;
  }
  if (disk_full_from != 0 && nth >= disk_full_from) {
    errno = ENOSPC;
    return false;
  }
  if (nth == short_write_at && short_write_bytes < count) count = short_write_bytes;
  return true;
}

bool TFileFaultPlan::BeforeFlush(const std::string& path) {
  if (!Matches(path)) return true;
  if (++flushes == fail_flush_at) {
    errno = flush_error;
    return false;
  }
  if (on_flush) on_flush(path);
  return true;
}

bool TFileFaultPlan::BeforeRename(const std::string& from, const std::string& to) {
  if (!Matches(from) && !Matches(to)) return true;
  if (++renames == fail_rename_at) {
    errno = rename_error;
    return false;
  }
  return true;
}

bool TFileFaultPlan::BeforeDelete(const std::string& path) {
  if (!Matches(path)) return true;
  if (++deletes == fail_delete_at) {
    errno = delete_error;
    return false;
  }
  return true;
}

TScopedFileFaults::TScopedFileFaults(TFileFaultPlan& plan) {
  assert(g_file_fault_plan == nullptr && "one fault plan at a time");
  g_file_fault_plan = &plan;
}

TScopedFileFaults::~TScopedFileFaults() {
  g_file_fault_plan = nullptr;
}

}  // namespace platform
