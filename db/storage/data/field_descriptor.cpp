// The codec of one field descriptor block (768 bytes, little-endian):
//
//   | Offset | Size | Content                                                        |
//   |--------|------|----------------------------------------------------------------|
//   |   0    |  2   | field number, 1-based                                          |
//   |   2    |  31  | name: length byte, then up to 30 characters                    |
//   |  33    |  51  | description: length byte, then up to 50 characters             |
//   |  84    |  1   | type code                                                      |
//   |  85    |  1   | subtype code                                                   |
//   |  86    |  1   | declared size (types 1, 9, 15), else 0                         |
//   |  87    |  1   | scale (type 8), else 0                                         |
//   |  88    |  1   | stored length of the value                                     |
//   |  89    |  1   | copy of the scale                                              |
//   |  90    |  2   | offset of the indicator byte in the record                     |
//   |  92    |  1   | required flag                                                  |
//   |  93    |  1   | character case: 0 as given, 1 lower, 2 upper                   |
//   |  94    |  51  | minimum value text                                             |
//   | 145    |  51  | maximum value text                                             |
//   | 196    |  51  | default value text                                             |
//   | 247    |  1   | computed flag (0 on disk)                                      |
//   | 248    | 520  | unused; written as zeros, ignored when read                    |
//
// A text's unused bytes after its characters are written as zeros.
#include <algorithm>
#include <cstring>

#include "db/storage/data/field_types.h"
#include "db/storage/le_codec.h"

namespace {

constexpr size_t kNumberAt = 0;
constexpr size_t kNameAt = 2;
constexpr size_t kDescriptionAt = 33;
constexpr size_t kTypeAt = 84;
constexpr size_t kSubTypeAt = 85;
constexpr size_t kSizeAt = 86;
constexpr size_t kScaleAt = 87;
constexpr size_t kStoredLengthAt = 88;
constexpr size_t kScaleCopyAt = 89;
constexpr size_t kOffsetAt = 90;
constexpr size_t kRequiredAt = 92;
constexpr size_t kCharCaseAt = 93;
constexpr size_t kMinAt = 94;
constexpr size_t kMaxAt = 145;
constexpr size_t kDefaultAt = 196;
constexpr size_t kComputedAt = 247;

void PutText(uint8_t* at, std::string_view text, size_t room) {
  const size_t n = std::min(text.size(), room);
  at[0] = static_cast<uint8_t>(n);
  std::memcpy(at + 1, text.data(), n);
  std::memset(at + 1 + n, 0, room - n);
}

bool GetText(const uint8_t* at, size_t room, std::string& text) {
  if (at[0] > room) return false;
  text.assign(reinterpret_cast<const char*>(at + 1), at[0]);
  return true;
}

}  // namespace

void EncodeFieldDescriptor(const FieldDescriptor& d, uint8_t* block) {
  std::memset(block, 0, kFieldDescriptorSize);
  PutU16(block + kNumberAt, d.FieldNumber);
  PutText(block + kNameAt, d.Name, kMaxFieldNameLength);
  PutText(block + kDescriptionAt, d.Description, kMaxFieldTextLength);
  block[kTypeAt] = d.Type;
  block[kSubTypeAt] = d.SubType;
  block[kSizeAt] = d.Size;
  block[kScaleAt] = d.Scale;
  block[kStoredLengthAt] = d.StoredLength;
  block[kScaleCopyAt] = d.Scale;
  PutU16(block + kOffsetAt, d.Offset);
  block[kRequiredAt] = d.Required ? 1 : 0;
  block[kCharCaseAt] = d.CharCase;
  PutText(block + kMinAt, d.MinValue, kMaxFieldTextLength);
  PutText(block + kMaxAt, d.MaxValue, kMaxFieldTextLength);
  PutText(block + kDefaultAt, d.DefaultValue, kMaxFieldTextLength);
  block[kComputedAt] = d.Computed ? 1 : 0;
}

bool DecodeFieldDescriptor(const uint8_t* block, FieldDescriptor& d) {
  d.FieldNumber = GetU16(block + kNumberAt);
  if (!GetText(block + kNameAt, kMaxFieldNameLength, d.Name)) return false;
  if (!GetText(block + kDescriptionAt, kMaxFieldTextLength, d.Description)) return false;
  d.Type = block[kTypeAt];
  d.SubType = block[kSubTypeAt];
  d.Size = block[kSizeAt];
  d.Scale = block[kScaleAt];
  d.StoredLength = block[kStoredLengthAt];
  d.Offset = GetU16(block + kOffsetAt);
  d.Required = block[kRequiredAt] != 0;
  d.CharCase = block[kCharCaseAt];
  if (!GetText(block + kMinAt, kMaxFieldTextLength, d.MinValue)) return false;
  if (!GetText(block + kMaxAt, kMaxFieldTextLength, d.MaxValue)) return false;
  if (!GetText(block + kDefaultAt, kMaxFieldTextLength, d.DefaultValue)) return false;
  d.Computed = block[kComputedAt] != 0;
  return true;
}
