// The index file header codec and its bounds check; the layout table is in index_header.h.
#include "db/storage/index/index_header.h"

#include <cstring>

#include "db/engine/errors/engine_error_codes.h"
#include "db/storage/le_codec.h"

IndexFileHeader NewIndexFileHeader() {
  IndexFileHeader header;
  IndexDescriptor& deleted = header.Slots[kDeletedSlot];
  deleted.Name = "Sys Deleted";
  deleted.KeyLength = kDeletedKeyLength;
  IndexDescriptor& text = header.Slots[kTextSlot];
  text.Name = "Sys Text";
  text.KeyLength = kTextKeyLength;
  text.Compression = kCompressFull;
  return header;
}

void EncodeIndexFileHeader(const IndexFileHeader& h, uint8_t* page) {
  std::memset(page, 0, kIndexPageSize);
  PutI32(page + 0, h.ChangeCount);
  page[8] = h.FormatVersion;
  PutI32(page + 9, h.NextPageNumber);
  page[13] = h.SecondaryIndexCount;
  for (int slot = 0; slot < kIndexSlotCount; ++slot) {
    EncodeIndexDescriptor(h.Slots[slot], page + 14 + slot * kIndexDescriptorSize);
  }
  PutI32(page + 3974, h.ActiveRecordCount);
  page[3978] = h.NoPrimaryIndex ? 1 : 0;
  page[3979] = 0;
}

void DecodeIndexFileHeader(const uint8_t* page, IndexFileHeader& h) {
  h.ChangeCount = GetI32(page + 0);
  h.FormatVersion = page[8];
  h.NextPageNumber = GetI32(page + 9);
  h.SecondaryIndexCount = page[13];
  for (int slot = 0; slot < kIndexSlotCount; ++slot) {
    DecodeIndexDescriptor(page + 14 + slot * kIndexDescriptorSize, h.Slots[slot]);
  }
  h.ActiveRecordCount = GetI32(page + 3974);
  h.NoPrimaryIndex = page[3978] != 0;
  h.HeaderDirty = false;
}

bool SlotInUse(const IndexFileHeader& h, int slot) {
  if (slot == kPrimarySlot) return !h.NoPrimaryIndex && h.Slots[0].KeyLength != 0;
  if (slot == kDeletedSlot || slot == kTextSlot) return true;
  return slot >= 1 && slot <= h.SecondaryIndexCount;
}

uint16_t CheckIndexHeaderBounds(const IndexFileHeader& h) {
  if (h.FormatVersion != kIndexFormatVersion) return VUZODE_OLDVERSION;
  // Only slots 1..30 are secondary; 31 and 32 are the system slots, so a count of 31 or 32
  // would make the system slots be taken for secondary indexes.
  if (h.SecondaryIndexCount > kMaxSecondaryIndexes) return VUZODE_HEADERCORRUPT;
  if (h.NextPageNumber < 1 || static_cast<uint32_t>(h.NextPageNumber) > kMaxIndexPages) {
    return VUZODE_HEADERCORRUPT;
  }
  auto pageOk = [&](int32_t page) { return page >= 0 && page < h.NextPageNumber; };
  for (int slot = 0; slot < kIndexSlotCount; ++slot) {
    if (!SlotInUse(h, slot)) continue;
    const IndexDescriptor& d = h.Slots[slot];
    if (d.Compression > kCompressFull || d.FieldCount > kMaxIndexFields) {
      return VUZODE_HEADERCORRUPT;
    }
    if (d.KeyLength > kMaxKeyLength) return VUZODE_HEADERCORRUPT;
    if (slot >= 1 && slot <= kMaxSecondaryIndexes && d.KeyLength == 0) return VUZODE_HEADERCORRUPT;
    if (slot == kDeletedSlot && d.KeyLength != kDeletedKeyLength) return VUZODE_HEADERCORRUPT;
    if (slot == kTextSlot && d.KeyLength != kTextKeyLength) return VUZODE_HEADERCORRUPT;
    // A non-unique key ends in a 4-byte row id; a shorter key has no room for it.
    if (!d.Unique && d.KeyLength != 0 && d.KeyLength < 5) return VUZODE_HEADERCORRUPT;
    if (!pageOk(d.RootPage) || !pageOk(d.FirstFreePage) || !pageOk(d.ParameterPage)) {
      return VUZODE_HEADERCORRUPT;
    }
    if (slot != kTextSlot && d.ParameterPage != 0) return VUZODE_HEADERCORRUPT;
    if (d.KeyLength == 0 && d.RootPage != 0) return VUZODE_HEADERCORRUPT;
  }
  return 0;
}
