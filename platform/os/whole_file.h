// Whole small files on exact paths (no case resolution, no sharing locks): written, synced,
// read, removed in one call each, with the file layer's fault injection hooks. The commit
// journal of a table uses them: its name is derived from the on-disk name of the table's data
// file, so the per-lock check for a journal is one stat.
//
// Errors: a false result leaves the OS error number of the failing call in LastOsError().
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// Creates (or empties) path and writes the parts to it one after the other (one write call per
// part, or more for parts over 1 GiB); with sync, forces them to the disk before it returns.
// A failure may leave a partial file behind.
bool WriteWholeFile(const std::string& path, const std::vector<std::span<const uint8_t>>& parts,
                    bool sync);
// Reads all of path into bytes.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
// True when path exists as a regular file.
bool WholeFileExists(const std::string& path);
// Removes path; true also when it did not exist.
bool RemoveWholeFile(const std::string& path);
// Forces the directory entries of directory (created, removed files) to the disk.
bool SyncDirectory(const std::string& directory);

}  // namespace platform
