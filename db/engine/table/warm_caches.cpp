// The store of warm caches (see warm_caches.h).
#include "db/engine/table/warm_caches.h"

#include <algorithm>

void TWarmCaches::Keep(TWarmTable table) {
  Forget(table.DataPath);
  if (tables_.size() >= kWarmTables) tables_.erase(tables_.begin());
  tables_.push_back(std::move(table));
}

std::optional<TWarmTable> TWarmCaches::Take(const std::string& dataPath) {
  auto found = std::find_if(tables_.begin(), tables_.end(),
                            [&](const TWarmTable& t) { return t.DataPath == dataPath; });
  if (found == tables_.end()) return std::nullopt;
  std::optional<TWarmTable> taken(std::move(*found));
  tables_.erase(found);
  return taken;
}

void TWarmCaches::Forget(const std::string& dataPath) {
  std::erase_if(tables_, [&](const TWarmTable& t) { return t.DataPath == dataPath; });
}
