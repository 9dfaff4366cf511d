// TWarmCaches: the record and index page caches of tables a directory closed lately, kept so
// that the next open of the same table finds them in memory instead of reading its files
// again. Statements open their tables anew each time, so without them every statement would
// start cold.
//
// A kept set is worth only as much as the files are unchanged. It is handed back only while
// the data and index files are the very files it was taken from (device and inode), of the
// same lengths and modification times. File times advance in coarse ticks, so a set is kept
// only when the last write to each file lies far enough back that any later write must give the
// file a new time (StampSettled); and only when nothing in it is changed or pinned.
//
// Invariants:
//   (1) At most kWarmTables sets, one per data file name, oldest first; a new one pushes the
//       oldest out.
//   (2) A set is handed out at most once (Take removes it).
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/storage/files/buffer_cache.h"
#include "db/storage/index/index_file.h"
#include "platform/os/file.h"

struct TWarmTable {
  std::string DataPath;
  // The data and index files as they stood at the close.
  std::array<platform::TFileStamp, 2> Stamps;
  std::unique_ptr<TBufferCache> Records;
  TIndexPageSet Pages;
};

class TWarmCaches {
 public:
  static constexpr size_t kWarmTables = 4;

  void Keep(TWarmTable table);
  // The set kept for dataPath, removed from the store; none when there is none.
  std::optional<TWarmTable> Take(const std::string& dataPath);
  // Drops the set of dataPath (its files are deleted, renamed or made anew).
  void Forget(const std::string& dataPath);
  size_t Count() const { return tables_.size(); }

 private:
  std::vector<TWarmTable> tables_;
};
