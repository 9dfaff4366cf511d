// TFilter: one filter of a cursor, an expression (a prepared filter tree) or a callback that
// answers for one record at a time, with its own record bitmap: the records it lets through
// among the candidates it was last computed on (see view_build.cpp).
//
// Invariants:
//   (1) Exactly one of Expression and Callback is set; a callback filter has servability 0.
//   (2) Programs holds compiled programs of subtrees of Expression only; any change of the
//       expression or of the cursor's fields clears it (ForgetPrograms).
//   (3) The filter list of a cursor keeps every after-others filter behind all others
//       (TDataCursor::AddFilter).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "db/sql/bitmaps/records_bitmap.h"

class TDataCursor;
class TEvalEnvironment;
class TExpToken;
class TFilterProgram;
class TRecordsBitmapStack;

// Answers whether the record (its image and number) passes. Errors it raises belong to its
// owner and pass through the cursor unchanged.
using TFilterCallback =
    std::function<bool(TDataCursor& cursor, const uint8_t* record, uint32_t recordNumber)>;

// How AddFilter builds a filter.
struct TFilterOptions {
  void* CallbackOwner = nullptr;
  TFilterCallback Callback;
  bool NoPartialCompare = false;  // "abc*" compares whole strings
  bool CaseInsensitive = false;   // string equality without regard to case
  bool Estimate = true;           // compute the servability estimates
  bool Threshold = true;          // refuse index ranges over 90 % of the records
  bool AfterOthers = false;       // evaluated only on records that passed the filters before
  bool OwnsExpression = true;     // a prebuilt tree is freed with the filter
};

class TFilter {
 public:
  TFilter();
  ~TFilter();
  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  TDataCursor* Cursor = nullptr;
  bool OwnsExpression = true;
  TExpToken* Expression = nullptr;
  void* CallbackOwner = nullptr;
  TFilterCallback Callback;
  std::unique_ptr<TRecordsBitmap> Bitmap;
  bool Active = false;
  bool CallbackKind = false;
  uint8_t Servability = 0;
  bool AfterOthers = false;
  bool EstimateFlag = false;
  bool ThresholdFlag = false;
  uint32_t RemoteHandle = 0;

  // The compiled program of subtree node of the expression (invariant (2)).
  TFilterProgram& ProgramFor(const TExpToken& node, TEvalEnvironment* env, uint16_t sortId,
                             uint16_t languageId);
  void ForgetPrograms();
  // Frees the expression when owned.
  void ReleaseExpression();

 private:
  std::map<const TExpToken*, std::unique_ptr<TFilterProgram>> programs_;
  const void* programs_env_ = nullptr;
  const TExpToken* last_node_ = nullptr;
  TFilterProgram* last_program_ = nullptr;
};

// The process-wide pool the cursors' view and filter bitmaps are lent from.
TRecordsBitmapStack& ViewBitmapPool();
