// Key encodings; the table of encodings is in index_key.h.
#include "db/storage/index/index_key.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "db/engine/errors/engine_error.h"
#include "db/storage/index/index_header.h"
#include "db/storage/le_codec.h"
#include "db/storage/locale/locale_case.h"

namespace {

void PutBE(uint8_t* out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace

void EncodeInt16Key(int16_t value, uint8_t* out) {
  PutBE(out, static_cast<uint16_t>(value) ^ 0x8000u, 2);
}
void EncodeWordKey(uint16_t value, uint8_t* out) {
  PutBE(out, value, 2);
}
void EncodeInt32Key(int32_t value, uint8_t* out) {
  PutBE(out, static_cast<uint32_t>(value) ^ 0x80000000u, 4);
}
void EncodeInt64Key(int64_t value, uint8_t* out) {
  PutBE(out, static_cast<uint64_t>(value) ^ 0x8000000000000000ull, 8);
}
void EncodeDoubleKey(double value, uint8_t* out) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  // -0.0 counts as >= 0 and so encodes exactly as +0.0: the two are equal values.
  bits = value >= 0 ? (bits | 0x8000000000000000ull) : ~bits;
  if (value == 0) bits = 0x8000000000000000ull;
  PutBE(out, bits, 8);
}
void EncodeRowIdKey(int32_t rowId, uint8_t* out) {
  EncodeInt32Key(rowId, out);
}
int32_t DecodeRowIdKey(const uint8_t* in) {
  const uint32_t v = (static_cast<uint32_t>(in[0]) << 24) | (static_cast<uint32_t>(in[1]) << 16) |
                     (static_cast<uint32_t>(in[2]) << 8) | in[3];
  return static_cast<int32_t>(v ^ 0x80000000u);
}

int64_t BcdToTenThousandths(const uint8_t* bcd) {
  const int precision = std::min<int>(bcd[0], 64);
  const bool negative = (bcd[1] & 0x80) != 0;
  const int places = std::min<int>(bcd[1] & 0x3F, precision);
  // Integer digits, then up to five fraction digits (the fifth decides the rounding).
  const int intDigits = precision - places;
  auto digit = [&](int i) {
    const uint8_t b = bcd[2 + i / 2];
    const int d = (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
    return std::min(d, 9);
  };
  constexpr uint64_t kLimit = 0x7FFFFFFFFFFFFFFFull;
  uint64_t value = 0;
  bool saturated = false;
  for (int i = 0; i < intDigits + 4; ++i) {
    const int d = i < precision ? digit(i) : 0;
    if (value > (kLimit - static_cast<uint64_t>(d)) / 10) {
      saturated = true;
      break;
    }
    value = value * 10 + static_cast<uint64_t>(d);
  }
  if (!saturated && intDigits + 4 < precision && digit(intDigits + 4) >= 5) {
    if (value < kLimit) ++value;  // half away from zero
  }
  if (saturated) value = kLimit;
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

void EncodeBcdKey(const uint8_t* bcd, uint8_t* out) {
  EncodeInt64Key(BcdToTenThousandths(bcd), out);
}

TKeyLayout MakeKeyLayout(int slot, const IndexDescriptor& d,
                         std::span<const FieldDescriptor> fields, uint16_t languageId,
                         uint16_t sortId) {
  TKeyLayout layout;
  layout.Slot = slot;
  layout.KeyLength = d.KeyLength;
  layout.Unique = d.Unique;
  layout.Descending = d.Descending;
  layout.CaseInsensitive = d.CaseInsensitive;
  layout.LanguageId = languageId;
  layout.SortId = sortId;
  if (slot <= 30) {
    uint16_t offset = 0;
    bool ok = d.FieldCount <= kMaxIndexFields;
    for (size_t i = 0; ok && i < d.FieldCount; ++i) {
      const uint16_t number = d.FieldNumbers[i];
      if (number == 0 || number > fields.size()) {
        ok = false;
        break;
      }
      const FieldDescriptor& f = fields[number - 1];
      if (f.Type == kFieldBlob || !IsValidFieldType(f.Type)) {
        ok = false;
        break;
      }
      TKeyField kf;
      kf.Type = f.Type;
      kf.FieldNumber = number;
      kf.RecordOffset = f.Offset;
      kf.StoredLength = StoredLengthOf(f.Type, f.Size);
      kf.KeyLength = FieldKeyLength(f.Type, kf.StoredLength);
      kf.KeyOffset = offset;
      kf.Descending = d.FieldDescending[i];
      kf.AutoIncrement = f.IsAutoIncrement();
      offset = static_cast<uint16_t>(offset + kf.KeyLength + 1);
      layout.Fields.push_back(kf);
    }
    if (!ok || offset + (d.Unique ? 0 : 4) != d.KeyLength) layout.Fields.clear();
  }
  if (languageId == 0 || slot == kDeletedSlot) {
    layout.Bytewise = true;
  } else if (slot == kTextSlot) {
    layout.Bytewise = false;
  } else {
    // Field by field only where a string needs the collation or a field reverses its own order;
    // otherwise the bytes already give the order.
    layout.Bytewise =
        std::none_of(layout.Fields.begin(), layout.Fields.end(),
                     [](const TKeyField& f) { return f.Type == kFieldString || f.Descending; });
  }
  layout.InvertsFields = languageId == 0 && !d.Descending && slot <= kMaxSecondaryIndexes;
  return layout;
}

void EncodeKey(const TKeyLayout& layout, TConstRecordImage record, IndexKey& key) {
  key.Reset(layout.KeyLength);
  for (const TKeyField& f : layout.Fields) {
    uint8_t* out = key.data() + f.KeyOffset;
    uint8_t* value = out + 1;
    const size_t valueOffset = f.AutoIncrement ? kRowIdOffset : f.RecordOffset + 1u;
    if (valueOffset + f.StoredLength > record.size() ||
        (!f.AutoIncrement && f.RecordOffset >= record.size())) {
      RaiseEngineError(VUZODE_FILECORRUPT);
    }
    const uint8_t* stored = record.data() + valueOffset;
    const bool present = f.AutoIncrement || record[f.RecordOffset] != 0;
    if (present) {
      out[0] = 1;
      switch (f.Type) {
        case kFieldString: {
          size_t n = 0;
          while (n + 1 < f.StoredLength && stored[n] != 0) ++n;
          std::memcpy(value, stored, n);
          if (layout.CaseInsensitive) {
            LocaleUpperCase(layout.LanguageId, layout.SortId, reinterpret_cast<char*>(value), n);
          }
          break;
        }
        case kFieldDate:
        case kFieldInteger:
        case kFieldTime:
          EncodeInt32Key(GetI32(stored), value);
          break;
        case kFieldSmallInt:
          EncodeInt16Key(GetI16(stored), value);
          break;
        case kFieldBoolean:
        case kFieldWord:
          EncodeWordKey(GetU16(stored), value);
          break;
        case kFieldFloat:
        case kFieldTimestamp:
          EncodeDoubleKey(GetF64(stored), value);
          break;
        case kFieldBcd:
          EncodeBcdKey(stored, value);
          break;
        case kFieldLargeInt:
          EncodeInt64Key(GetI64(stored), value);
          break;
        default:
          std::memcpy(value, stored, f.StoredLength);
          break;
      }
    }
    if (layout.InvertsFields && f.Descending) {
      // A string keeps its last byte (always 0) so a shorter text still ends before a longer.
      const size_t n = 1u + f.KeyLength - (f.Type == kFieldString ? 1u : 0u);
      for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(~out[i]);
    }
  }
  if (!layout.Unique && layout.KeyLength >= 4) {
    if (record.size() < kRecordHeaderSize) RaiseEngineError(VUZODE_FILECORRUPT);
    EncodeRowIdKey(GetI32(record.data() + kRowIdOffset), key.data() + layout.KeyLength - 4);
  }
}

void EncodeDeletedKey(uint8_t status, int32_t rowId, IndexKey& key) {
  key.Reset(kDeletedKeyLength);
  key.Bytes[0] = status;
  EncodeRowIdKey(rowId, key.data() + 1);
}

void EncodeTextKey(uint16_t fieldNumber, std::string_view word, int32_t rowId, IndexKey& key) {
  key.Reset(kTextKeyLength);
  key.Bytes[0] = 1;
  key.Bytes[1] = static_cast<uint8_t>(fieldNumber >> 8);
  key.Bytes[2] = static_cast<uint8_t>(fieldNumber);
  std::memcpy(key.data() + 3, word.data(), std::min(word.size(), kTextWordLength));
  EncodeRowIdKey(rowId, key.data() + 64);
}
