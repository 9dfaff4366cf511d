// TExpToken: reset, copy and the value buffer that grows in 256-byte steps (see the header for
// its invariants).
#include "db/sql/expressions/exp_token.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

int32_t RoundUpToStep(int32_t size) {
  // The first request of a node is 251 bytes, which rounds to one step; never less than one.
  int64_t steps = (static_cast<int64_t>(size) + TExpToken::kValueStep - 1) / TExpToken::kValueStep;
  if (steps < 1) steps = 1;
  return static_cast<int32_t>(steps * TExpToken::kValueStep);
}

template <typename T>
T ReadNative(const uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace

TExpToken::TExpToken() {
  ReserveValue(251);
  Args.reserve(4);
}

void TExpToken::ReserveValue(int32_t size) {
  assert(size >= 0 && "a value size is never negative");
  int32_t wanted = RoundUpToStep(size);
  if (wanted <= value_capacity_) return;
  std::unique_ptr<uint8_t[]> grown(new uint8_t[wanted]);
  if (value_capacity_ > 0) std::memcpy(grown.get(), value_.get(), value_capacity_);
  std::memset(grown.get() + value_capacity_, 0, wanted - value_capacity_);
  value_ = std::move(grown);
  value_capacity_ = wanted;
}

void TExpToken::SetValueSize(int32_t size) {
  assert(size >= 0 && "a value size is never negative");
  if (size != value_size_) ReserveValue(size);
  value_size_ = size;
}

void TExpToken::Reset() {
  if (value_capacity_ != kValueStep) {
    value_.reset(new uint8_t[kValueStep]);
    value_capacity_ = kValueStep;
  }
  std::memset(value_.get(), 0, kValueStep);
  value_size_ = 0;
  Left = Right = Child = Parent = nullptr;
  Args.clear();
  Text.clear();
  NodeClass = OpCode = Servability = HeldBack = 0;
  Estimate = Cost = -1;
  OrderMark = 0;
  PlannerFlag = OuterJoinSide = 0;
  ColumnName.clear();
  FieldNo = 0;
  TableAlias.clear();
  SourceTable = nullptr;
  SubQuery = nullptr;
  IsNull = IsParam = 0;
  PartialLength = 0;
  NoCase = 0;
  ValueType = SubType = Scale = 0;
  Resolved = 0;
  SavedType = SavedSubType = SavedScale = 0;
  SavedSize = 0;
  LeftOffset = RightOffset = ArgsOffset = StreamCursor = 0;
  Height = 1;
}

void TExpToken::CopyFrom(const TExpToken& other) {
  if (&other == this) return;
  SetValueSize(other.value_size_);
  if (other.value_size_ > 0) std::memcpy(value_.get(), other.value_.get(), other.value_size_);
  Left = other.Left;
  Right = other.Right;
  Child = other.Child;
  Parent = other.Parent;
  Args = other.Args;
  Text = other.Text;
  NodeClass = other.NodeClass;
  OpCode = other.OpCode;
  Servability = other.Servability;
  HeldBack = other.HeldBack;
  Estimate = other.Estimate;
  Cost = other.Cost;
  OrderMark = other.OrderMark;
  PlannerFlag = other.PlannerFlag;
  OuterJoinSide = other.OuterJoinSide;
  ColumnName = other.ColumnName;
  FieldNo = other.FieldNo;
  TableAlias = other.TableAlias;
  SourceTable = other.SourceTable;
  SubQuery = other.SubQuery;
  IsNull = other.IsNull;
  IsParam = other.IsParam;
  PartialLength = other.PartialLength;
  NoCase = other.NoCase;
  ValueType = other.ValueType;
  SubType = other.SubType;
  Scale = other.Scale;
  Resolved = other.Resolved;
  SavedType = other.SavedType;
  SavedSubType = other.SavedSubType;
  SavedSize = other.SavedSize;
  SavedScale = other.SavedScale;
  LeftOffset = other.LeftOffset;
  RightOffset = other.RightOffset;
  ArgsOffset = other.ArgsOffset;
  StreamCursor = other.StreamCursor;
  Height = other.Height;
}

void TExpToken::SetString(std::string_view text) {
  int32_t size = static_cast<int32_t>(text.size()) + 1;
  SetValueSize(size);
  if (!text.empty()) std::memcpy(value_.get(), text.data(), text.size());
  value_[text.size()] = 0;
  ValueType = 1;
  SubType = 0;
  IsNull = 0;
}

namespace {
template <typename T>
void StoreNative(TExpToken& node, uint8_t type, T value) {
  node.SetValueSize(sizeof value);
  std::memcpy(node.Value(), &value, sizeof value);
  node.ValueType = type;
  node.SubType = 0;
  node.IsNull = 0;
}
}  // namespace

void TExpToken::SetBoolean(bool value) {
  StoreNative<uint16_t>(*this, 4, value ? 1 : 0);
}
void TExpToken::SetInteger(int32_t value) {
  StoreNative(*this, 6, value);
}
void TExpToken::SetLargeInt(int64_t value) {
  StoreNative(*this, 18, value);
}
void TExpToken::SetFloat(double value) {
  StoreNative(*this, 7, value);
}
void TExpToken::SetDate(int32_t dayNumber) {
  StoreNative(*this, 2, dayNumber);
}
void TExpToken::SetTime(int32_t milliseconds) {
  StoreNative(*this, 10, milliseconds);
}
void TExpToken::SetTimestamp(double value) {
  StoreNative(*this, 11, value);
}

void TExpToken::SetNull() {
  SetValueSize(0);
  ValueType = 0;
  SubType = 0;
  IsNull = 1;
}

int32_t TExpToken::IntegerValue() const {
  return ReadNative<int32_t>(value_.get());
}
int64_t TExpToken::LargeIntValue() const {
  return ReadNative<int64_t>(value_.get());
}
double TExpToken::FloatValue() const {
  return ReadNative<double>(value_.get());
}
int16_t TExpToken::SmallIntValue() const {
  return ReadNative<int16_t>(value_.get());
}

std::string_view TExpToken::StringValue() const {
  const char* text = reinterpret_cast<const char*>(value_.get());
  size_t limit = static_cast<size_t>(std::min(value_size_, value_capacity_));
  const void* zero = std::memchr(text, 0, limit);
  return std::string_view(text, zero ? static_cast<const char*>(zero) - text : limit);
}

uint16_t ExpHeightOf(const TExpToken& node) {
  int highest = 0;
  for (const TExpToken* below : {node.Left, node.Right, node.Child})
    if (below) highest = std::max<int>(highest, below->Height);
  for (const TExpToken* arg : node.Args)
    if (arg) highest = std::max<int>(highest, arg->Height);
  return static_cast<uint16_t>(std::min(highest + 1, 65535));
}
