// TExpToken: the node of every expression tree (filters, field checks, SQL), with its node
// classes, operator and function codes, and the value buffer that constants and computed values
// live in.
//
// Invariants:
//   (1) The value buffer holds ValueCapacity() bytes, a positive multiple of 256, and never
//       shrinks while the node is in use; bytes past ValueSize() are zero after a reset, and bytes
//       added by growth are zero. So a reader of a fixed-width value (at most 34 bytes) never
//       reads outside the buffer, whatever ValueSize() claims. Kept by SetValueSize and Reset.
//   (2) Left, Right, Child and the entries of Args point to nodes of the same pool or are null;
//       a node never owns another one: trees are released node by node (ReleaseExpTree).
//   (3) Height is 1 for a leaf and one more than the highest node below otherwise; the parser
//       and the tree readers refuse trees higher than kMaxExpTreeHeight, so every recursive
//       walk over a tree they produced has a bounded depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDataQuery;  // the query of a sub-select; lives in the statement layer above

// Node classes (NodeClass).
inline constexpr uint8_t kNodeUnary = 1;
inline constexpr uint8_t kNodeBinary = 2;
inline constexpr uint8_t kNodeStringMatch = 3;
inline constexpr uint8_t kNodeColumn = 4;
inline constexpr uint8_t kNodeConstant = 5;
inline constexpr uint8_t kNodeSubSelect = 6;
inline constexpr uint8_t kNodeFunction = 10;
inline constexpr uint8_t kNodePredicate = 12;

// Operator and function codes (OpCode).
enum : uint8_t {
  kOpIsNull = 1,  // never produced by the parser; accepted by type checks and evaluation
  kOpIsNotNull = 2,
  kOpEqual = 3,
  kOpNotEqual = 4,
  kOpGreater = 5,
  kOpLess = 6,
  kOpGreaterEqual = 7,
  kOpLessEqual = 8,
  kOpNot = 9,
  kOpAnd = 10,
  kOpOr = 11,
  kOpNegate = 15,
  kOpPlusSign = 16,
  kOpAdd = 17,  // + and ||
  kOpSubtract = 18,
  kOpMultiply = 19,
  kOpDivide = 20,
  kOpSum = 23,
  kOpRunSum = 24,
  kOpCount = 25,
  kOpMin = 26,
  kOpMax = 27,
  kOpAvg = 28,
  kOpLike = 32,
  kOpIn = 33,
  kOpInSelect = 34,
  kOpUpper = 36,
  kOpLower = 37,
  kOpBetween = 41,
  kOpNotBetween = 42,
  kOpNotLike = 43,
  kOpNotIn = 44,
  kOpNotInSelect = 45,
  kOpSubstring = 46,
  kOpReplace = 47,
  kOpPos = 48,
  kOpOccurs = 49,
  kOpTrimLeading = 50,
  kOpTrimTrailing = 51,
  kOpTrimBoth = 52,
  kOpLength = 53,
  kOpCast = 54,
  kOpExtractYear = 55,    // .. kOpExtractSecond, in the order YEAR MONTH WEEK DAY DAYOFWEEK
  kOpExtractSecond = 63,  // DAYOFYEAR HOUR MINUTE SECOND
  kOpIf = 64,
  kOpCoalesce = 65,
  kOpIfNull = 66,
  kOpAbs = 67,
  kOpRound = 68,
  kOpTextSearch = 69,
  kOpTextOccurs = 70,
  kOpLastAutoInc = 71,
  kOpIdentCurrent = 72,
};

// The highest tree the parser and the readers build (see invariant (3)).
inline constexpr int kMaxExpTreeHeight = 1000;

class TExpToken {
 public:
  static constexpr int32_t kValueStep = 256;

  // A node with a 256-byte zeroed value buffer, an empty argument list, every other field clear
  // (estimates -1).
  TExpToken();
  TExpToken(const TExpToken&) = delete;
  TExpToken& operator=(const TExpToken&) = delete;

  // Clears the text and every field, zeroes the value buffer (a buffer that had grown past 256
  // bytes is replaced by a fresh 256-byte one, so a pooled node never keeps a large value
  // alive) and clears Args. Keeps the capacity of the strings and of Args, so a node taken
  // again from the pool allocates nothing for values and names of ordinary size.
  void Reset();

  // Copies every field and the argument list from other; the argument nodes are shared, not
  // copied. The value bytes are copied up to other's value size.
  void CopyFrom(const TExpToken& other);

  // Value buffer (invariant (1)).
  uint8_t* Value() { return value_.get(); }
  const uint8_t* Value() const { return value_.get(); }
  int32_t ValueCapacity() const { return value_capacity_; }
  int32_t ValueSize() const { return value_size_; }
  // Records size and grows the buffer (in 256-byte steps, new bytes zeroed) when it does not
  // hold size bytes. REQUIRES: size >= 0.
  void SetValueSize(int32_t size);
  // Grows the buffer to hold at least size bytes (rounded up to 256), zeroing the new bytes.
  void ReserveValue(int32_t size);

  // Constant setters: each sets ValueType, SubType 0, the value and its size, clears IsNull.
  void SetString(std::string_view text);  // type 1, size length + 1, zero-terminated
  void SetBoolean(bool value);            // type 4, size 2
  void SetInteger(int32_t value);         // type 6, size 4
  void SetLargeInt(int64_t value);        // type 18, size 8
  void SetFloat(double value);            // type 7, size 8
  void SetDate(int32_t dayNumber);        // type 2, size 4
  void SetTime(int32_t milliseconds);     // type 10, size 4
  void SetTimestamp(double value);        // type 11, size 8
  // The NULL constant of the keyword NULL: type 0, size 0, IsNull 1.
  void SetNull();

  // Readers of the value as stored (native byte order). REQUIRES: the matching type.
  int32_t IntegerValue() const;
  int64_t LargeIntValue() const;
  double FloatValue() const;
  int16_t SmallIntValue() const;
  std::string_view StringValue() const;  // up to the first zero byte or the value size

  // Children: Left and Right (unary nodes use Left only), Child (the older serialised form's
  // third link, see exp_tree_reshape.h) and Args.
  TExpToken* Left = nullptr;
  TExpToken* Right = nullptr;
  TExpToken* Child = nullptr;
  TExpToken* Parent = nullptr;  // set by the type checks
  std::vector<TExpToken*> Args;

  std::string Text;  // the token as written
  uint8_t NodeClass = 0;
  uint8_t OpCode = 0;
  uint8_t Servability = 0;  // index-servability verdict of a filter node
  uint8_t HeldBack = 0;     // an index could serve the node but the estimate was too high
  int32_t Estimate = -1;    // estimated selected records
  int32_t Cost = -1;
  int32_t OrderMark = 0;  // used when the filter reorders AND operands
  uint8_t PlannerFlag = 0;
  uint8_t OuterJoinSide = 0;       // the second planner flag
  std::string ColumnName;          // "*" for all columns; at most 255 characters
  uint16_t FieldNo = 0;            // once bound
  std::string TableAlias;          // at most 255 characters
  void* SourceTable = nullptr;     // the source table or cursor a column is bound to
  TDataQuery* SubQuery = nullptr;  // of a sub-select node; owned by the statement
  uint8_t IsNull = 0;
  uint8_t IsParam = 0;
  int32_t PartialLength = 0;  // string match: leading characters compared, 0 = all
  uint8_t NoCase = 0;
  uint8_t ValueType = 0;  // field type code, 0 for the untyped NULL constant
  uint8_t SubType = 0;
  uint8_t Scale = 0;
  uint8_t Resolved = 0;   // a string constant re-bound as a column; a column keeping a preset
  uint8_t SavedType = 0;  // type data of a string constant before it was re-bound
  uint8_t SavedSubType = 0;
  int32_t SavedSize = 0;
  uint8_t SavedScale = 0;
  int32_t LeftOffset = 0;  // offsets inside a serialised tree
  int32_t RightOffset = 0;
  int32_t ArgsOffset = 0;
  int32_t StreamCursor = 0;
  uint16_t Height = 1;  // invariant (3)

 private:
  std::unique_ptr<uint8_t[]> value_;
  int32_t value_capacity_ = 0;
  int32_t value_size_ = 0;
};

// The height of a node from its children's heights (invariant (3)); saturates at 65535.
uint16_t ExpHeightOf(const TExpToken& node);
