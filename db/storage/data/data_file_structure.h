// The checks of a data file's header and descriptors against each other and the file size.
// Every value read from a data file passes through these before it is used:
//
//   (1) CheckHeaderBounds, at every open and header reread: version, field count, record size,
//       record count against the file size, deleted-chain head, row id, BLOB field count. After
//       it, every record number below NextRecordNumber lies inside the file.
//   (2) CheckDescriptorBounds, at every open: valid type codes, sizes, and each field's indicator
//       and value inside the record. After it no field access can leave a record buffer. The
//       stored length and scale copy bytes are recomputed, never trusted.
//   (3) VerifyDescriptorLayout, for VerifyStructure: the full structure check (names, numbers,
//       texts, contiguous offsets, record size equal to the sum of the fields).
// Each raises VUZODE_HEADERCORRUPT naming the table (VUZODE_OLDVERSION for a foreign version).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "db/storage/data/data_file_header.h"
#include "db/storage/data/field_types.h"

// Largest record count of a data file (also the last lockable record).
inline constexpr int32_t kMaxRecordCount = 200000000;

// Where record 1 starts.
constexpr int64_t FirstRecordOffset(uint32_t fieldCount) {
  return static_cast<int64_t>(kDataFileHeaderSize) +
         static_cast<int64_t>(kFieldDescriptorSize) * fieldCount;
}

// When exactSize, the file must hold exactly the records the header counts; otherwise it may be
// longer (a write that was cut short between the records and the header).
void CheckHeaderBounds(const TDataFileHeader& header, int64_t fileSize, bool exactSize,
                       std::string_view table);

// REQUIRES: descriptors.size() == header field count.
void CheckDescriptorBounds(std::vector<FieldDescriptor>& descriptors, uint16_t recordSize,
                           std::string_view table);

// Whether a minimum, maximum or default text is a valid literal of the field's type; the
// expression layer supplies it. An empty function accepts every text.
using TFieldTextCheck = std::function<bool(const FieldDescriptor&, std::string_view)>;

void VerifyDescriptorLayout(std::vector<FieldDescriptor>& descriptors, uint16_t recordSize,
                            const TFieldTextCheck& textCheck, std::string_view table);

// 9 + the record bytes of every field (auto-increment and computed fields take none).
uint64_t ComputeRecordSize(const std::vector<FieldDescriptor>& descriptors);
