// The BLOB round trip of bench_cursor: one 1 MiB value written and read back through a cursor
// (a record appended with the value open, then the value read through the record) against the
// same through the BLOB file layer directly (a TBlobBuffer saved into, then loaded from, a
// TBlobFile of the same block size and cache), both writing through to the file.
#pragma once

#include <filesystem>

class TDataDirectory;

inline constexpr int kBlobRounds = 5;

struct TBlobTimes {
  double Cursor = 1e9;  // best round
  double File = 1e9;
};

// Creates the table BLOBS in directory and the file DIRECT.MB in folder; raises the engine's
// errors, and ends the run when a value reads back differently.
TBlobTimes TimeBlobRoundTrips(TDataDirectory& directory, const std::filesystem::path& folder);
