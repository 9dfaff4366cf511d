// The index checker; see index_checker.h and the invariants of btree.cpp.
#include "db/storage/index/index_checker.h"

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "db/storage/index/btree.h"
#include "db/storage/index/compare_keys.h"
#include "db/storage/index/index_file.h"

namespace {

class TTreeChecker {
 public:
  TTreeChecker(TIndexFile& file, int slot, std::unordered_set<int32_t>& seen)
      : file_(file),
        slot_(slot),
        seen_(seen),
        layout_(file.Layout(slot)),
        counts_(!file.PageFormat(slot).NoCounts),
        last_(file.Descriptor(slot).KeyLength) {}

  void Run() {
    const int32_t root = file_.Descriptor(slot_).RootPage;
    if (root != 0) {
      Walk(root, 0, nullptr);
      for (const std::vector<int32_t>& level : levels_) {
        for (size_t j = 0; j < level.size(); ++j) {
          TPage* page = file_.FetchPage(slot_, level[j]);
          const int32_t left = j > 0 ? level[j - 1] : 0;
          const int32_t right = j + 1 < level.size() ? level[j + 1] : 0;
          if (page->Left != left || page->Right != right) Fail("level links");
        }
      }
    }
    Chain(file_.Descriptor(slot_).FirstFreePage, false);
    if (slot_ == kTextSlot) Chain(file_.Descriptor(slot_).ParameterPage, true);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) { file_.RaiseIndexCorrupt(slot_, what); }

  void See(int32_t n) {
    if (!seen_.insert(n).second) Fail("page " + std::to_string(n) + " reached twice");
  }

  int64_t Walk(int32_t n, int level, const uint8_t* separator) {
    if (level >= kMaxTreeDepth) Fail("tree deeper than 64 levels");
    See(n);
    TPage* page = file_.FetchPage(slot_, n);
    const size_t kl = file_.Descriptor(slot_).KeyLength;
    if (page->Free || page->Count() == 0) Fail("empty page in a tree");
    if (page->Type > kPageRootLeaf) Fail("page of another kind in a tree");
    if (page->IsRoot() != (level == 0)) Fail("root out of place");
    if (separator && std::memcmp(separator, page->Key(0), kl) != 0) Fail("separator differs");
    if (page->Compressed()) {
      if (page->PackedSize() > kPageAreaSize) Fail("compressed leaf overfull");
    } else {
      if (page->Count() > page->Capacity()) Fail("page overfull");
      if (level > 0 && page->Right != 0 && page->Count() < page->Capacity() / 2) {
        Fail("page underfull");
      }
    }
    if (level == 0 && !page->IsLeaf() && page->Count() < 2) Fail("root with one child");
    for (int i = 1; i < page->Count(); ++i) {
      if (CompareKeys(layout_, page->Key(i - 1), page->Key(i), kl) >= 0) Fail("key order");
    }
    if (static_cast<int>(levels_.size()) <= level) levels_.resize(level + 1);
    levels_[level].push_back(n);
    if (page->IsLeaf()) {
      if (leaf_depth_ < 0) leaf_depth_ = level;
      if (leaf_depth_ != level) Fail("leaves at different depths");
      if (has_last_ && CompareKeys(layout_, last_.data(), page->Key(0), kl) >= 0) {
        Fail("key order across leaves");
      }
      std::memcpy(last_.data(), page->Key(page->Count() - 1), kl);
      has_last_ = true;
      return page->Count();
    }
    int64_t total = 0;
    for (int i = 0; i < page->Count(); ++i) {
      const int64_t below = Walk(page->Reference(i), level + 1, page->Key(i));
      if (counts_ && page->SubtreeCount(i) != below) Fail("subtree count");
      total += below;
    }
    return total;
  }

  void Chain(int32_t n, bool parameters) {
    while (n != 0) {
      See(n);
      TPage* page = file_.FetchPage(slot_, n);
      if (parameters ? page->Type != kPageParameter : !page->Free) {
        Fail(parameters ? "parameter chain reaches another page"
                        : "free chain reaches a page in use");
      }
      n = page->Right;
    }
  }

  TIndexFile& file_;
  int slot_;
  std::unordered_set<int32_t>& seen_;
  const TKeyLayout& layout_;
  bool counts_;
  IndexKey last_;
  bool has_last_ = false;
  int leaf_depth_ = -1;
  std::vector<std::vector<int32_t>> levels_;
};

}  // namespace

int64_t CheckIndexFile(TIndexFile& file, const TIndexCheckOptions& options) {
  std::unordered_set<int32_t> seen;
  for (int slot = 0; slot < kIndexSlotCount; ++slot) {
    if (!SlotInUse(file.Header(), slot)) continue;
    TTreeChecker(file, slot, seen).Run();
  }
  if (options.RequireAllPagesAccounted &&
      static_cast<int64_t>(seen.size()) != file.Header().NextPageNumber - 1) {
    file.RaiseIndexCorrupt(-1, "pages in no tree and no chain");
  }
  file.TrimPages();
  return static_cast<int64_t>(seen.size());
}

int64_t CheckIndexSlot(TIndexFile& file, int slot) {
  std::unordered_set<int32_t> seen;
  TTreeChecker(file, slot, seen).Run();
  file.TrimPages();
  return static_cast<int64_t>(seen.size());
}
