// The writer and the readers of the serialised tree forms (layout and invariants in the header).
#include "db/sql/expressions/exp_tree_stream.h"

#include <bit>
#include <cstring>
#include <limits>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_check.h"
#include "db/sql/expressions/exp_tree_reshape.h"
#include "db/sql/expressions/exp_tree_text.h"

// Values are copied byte for byte between the node and the stream; the stream is little-endian.
static_assert(std::endian::native == std::endian::little,
              "value bytes are written in the node's own byte order");

namespace {

constexpr size_t kMaxColumnName = 255;

void PutLE32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t GetLE32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

class TTreeWriter {
 public:
  TTreeWriter(std::vector<uint8_t>& out, bool old, uint16_t errorCode)
      : out_(out), old_(old), error_code_(errorCode) {}

  void Node(const TExpToken* node, int depth) {
    if (depth > kMaxExpTreeHeight) Refuse(*node, "is nested too deeply to be written");
    if (node->NodeClass == kNodeSubSelect) Refuse(*node, "is a sub-select and cannot be written");
    Item(node->Text.data(), node->Text.size());
    Byte(node->NodeClass);
    Byte(node->OpCode);
    Byte(node->Servability);
    Item(node->ColumnName.data(), std::min(node->ColumnName.size(), kMaxColumnName));
    uint8_t field[2] = {static_cast<uint8_t>(node->FieldNo),
                        static_cast<uint8_t>(node->FieldNo >> 8)};
    Item(field, 2);
    Word(static_cast<uint32_t>(node->ValueSize()));
    Item(node->Value(), static_cast<size_t>(node->ValueSize()));
    Byte(node->IsNull);
    Word(static_cast<uint32_t>(node->PartialLength));
    Byte(node->NoCase);
    Byte(node->ValueType);
    Byte(node->SubType);
    Byte(node->Scale);
    size_t left = Placeholder();
    size_t right = Placeholder();
    size_t args = 0;
    size_t child = 0;
    if (old_) {
      child = Placeholder();
    } else {
      size_t count = 0;
      for (const TExpToken* arg : node->Args) count += arg ? 1 : 0;
      Word(static_cast<uint32_t>(count));
      args = Placeholder();
    }
    Subtree(left, node->Left, depth);
    Subtree(right, node->Right, depth);
    if (old_) {
      Subtree(child, node->Child, depth);
    } else {
      bool first = true;
      for (const TExpToken* arg : node->Args) {
        if (!arg) continue;
        if (first) Patch(args, out_.size());
        first = false;
        Node(arg, depth + 1);
      }
    }
  }

 private:
  [[noreturn]] void Refuse(const TExpToken& node, const char* why) {
    RaiseEngineError(error_code_, {}, {}, {}, {}, {}, {},
                     "Expression " + ExpOpName(node.OpCode) + " '" + node.Text + "' " + why);
  }
  void Item(const void* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      RaiseEngineError(error_code_, {}, {}, {}, {}, {}, {}, "Expression tree too large to write");
    PutLE32(out_, static_cast<uint32_t>(size));
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), bytes, bytes + size);
  }
  void Byte(uint8_t value) { Item(&value, 1); }
  void Word(uint32_t value) {
    PutLE32(out_, 4);
    PutLE32(out_, value);
  }
  size_t Placeholder() {
    PutLE32(out_, 4);
    size_t at = out_.size();
    PutLE32(out_, 0);
    return at;
  }
  void Patch(size_t at, size_t offset) {
    if (offset > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      RaiseEngineError(error_code_, {}, {}, {}, {}, {}, {}, "Expression tree too large to write");
    for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<uint8_t>(offset >> (8 * i));
  }
  void Subtree(size_t link, const TExpToken* node, int depth) {
    if (!node) return;
    Patch(link, out_.size());
    Node(node, depth + 1);
  }

  std::vector<uint8_t>& out_;
  bool old_;
  uint16_t error_code_;
};

class TTreeReader {
 public:
  TTreeReader(std::span<const uint8_t> bytes, bool old, TExpTokenStack& pool, uint16_t errorCode)
      : bytes_(bytes), old_(old), pool_(pool), error_code_(errorCode) {}

  TExpToken* Run() {
    try {
      TExpToken* root = Node(1);
      if (pos_ != bytes_.size()) Bad("bytes after the end of the tree");
      std::string fault;
      if (old_) fault = RestoreOldFormArguments(root);
      if (fault.empty()) fault = ExpTreeShapeFault(root);
      if (!fault.empty()) Fail("Invalid expression tree: " + fault);
      taken_.clear();
      return root;
    } catch (...) {
      // Invariant (4): every node taken goes back, however the tree's links stand now.
      for (TExpToken*& node : taken_) pool_.Return(node);
      taken_.clear();
      throw;
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& detail) {
    RaiseEngineError(error_code_, {}, {}, {}, {}, {}, {}, detail);
  }
  [[noreturn]] void Bad(const char* what) {
    Fail(std::string("Invalid expression tree: ") + what + " at offset " + std::to_string(pos_));
  }

  // Invariant (1): the length and then the whole item lie inside the buffer.
  uint32_t Length() {
    if (bytes_.size() - pos_ < 4) Bad("truncated item length");
    uint32_t length = GetLE32(bytes_.data() + pos_);
    pos_ += 4;
    if (length > bytes_.size() - pos_) Bad("item longer than the bytes left");
    return length;
  }
  const uint8_t* Fixed(uint32_t width) {
    if (Length() != width) Bad("item of the wrong width");
    const uint8_t* item = bytes_.data() + pos_;
    pos_ += width;
    return item;
  }
  uint8_t Byte() { return *Fixed(1); }
  uint32_t Word() { return GetLE32(Fixed(4)); }

  // Invariant (2): a subtree starts exactly where the depth-first order puts it.
  TExpToken* Subtree(uint32_t offset, int depth) {
    if (offset == 0) return nullptr;
    if (offset != pos_) Bad("link offset that does not point to the next record");
    return Node(depth + 1);
  }

  TExpToken* Node(int depth) {
    if (depth > kMaxExpTreeHeight) Bad("tree nested too deeply");
    TExpToken* node = pool_.Take();
    taken_.push_back(node);
    uint32_t length = Length();
    node->Text.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
    pos_ += length;
    node->NodeClass = Byte();
    node->OpCode = Byte();
    node->Servability = Byte();
    length = Length();
    if (length > kMaxColumnName) Bad("column name longer than 255 characters");
    node->ColumnName.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
    pos_ += length;
    const uint8_t* field = Fixed(2);
    node->FieldNo = static_cast<uint16_t>(field[0] | field[1] << 8);
    uint32_t size = Word();
    if (size > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
      Bad("negative value size");
    if (Length() != size) Bad("value item whose length differs from the value size");
    node->SetValueSize(static_cast<int32_t>(size));
    if (size > 0) std::memcpy(node->Value(), bytes_.data() + pos_, size);
    pos_ += size;
    node->IsNull = Byte();
    node->PartialLength = static_cast<int32_t>(Word());
    node->NoCase = Byte();
    node->ValueType = Byte();
    node->SubType = Byte();
    node->Scale = Byte();
    uint32_t left = Word();
    uint32_t right = Word();
    uint32_t third = Word();  // the older form's Child, else the argument count
    uint32_t args = old_ ? 0 : Word();
    node->Left = Subtree(left, depth);
    node->Right = Subtree(right, depth);
    if (old_) {
      node->Child = Subtree(third, depth);
    } else {
      if ((third == 0) != (args == 0)) Bad("argument count and argument offset disagree");
      if (args != 0) {
        node->Args.push_back(Subtree(args, depth));
        // Invariant (3): each further argument must be read from bytes that are really there,
        // so a huge count fails at the end of the buffer instead of allocating for it.
        for (uint32_t i = 1; i < third; ++i) node->Args.push_back(Node(depth + 1));
      }
    }
    node->Height = ExpHeightOf(*node);
    return node;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool old_;
  TExpTokenStack& pool_;
  uint16_t error_code_;
  std::vector<TExpToken*> taken_;
};

}  // namespace

size_t SerializeTree(const TExpToken* root, int32_t peerVersion, std::vector<uint8_t>& buffer,
                     TExpTokenStack& pool, uint16_t errorCode) {
  buffer.clear();
  bool old = peerVersion < kArgumentListVersion;
  if (!old) {
    TTreeWriter(buffer, false, errorCode).Node(root, 1);
    return buffer.size();
  }
  TExpToken* reshaped = ReshapeForOldForm(pool, root, errorCode);
  try {
    TTreeWriter(buffer, true, errorCode).Node(reshaped, 1);
  } catch (...) {
    ReleaseExpTree(pool, reshaped);
    throw;
  }
  ReleaseExpTree(pool, reshaped);
  return buffer.size();
}

TExpToken* ReadSerializedTree(std::span<const uint8_t> bytes, int32_t peerVersion,
                              TExpTokenStack& pool, uint16_t errorCode) {
  return TTreeReader(bytes, peerVersion < kArgumentListVersion, pool, errorCode).Run();
}
