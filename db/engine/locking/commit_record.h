// The commit record of a transaction over several tables: a small file in the tables' folder
// naming the group id that each table's journal carries and the journals' paths. A journal of
// a group is replayed only while the group's record is whole, so the tables of a transaction
// are completed all together or none of them.
//
//   | Offset | Size | Field                                                 |
//   |--------|------|-------------------------------------------------------|
//   |   0    |  8   | magic "PBJGRP\x01\x00"                                |
//   |   8    |  8   | group id                                              |
//   |  16    |  4   | journal count n                                       |
//   |  20    |  ... | n times: u32 length, then the journal's path          |
//   |  end-4 |  4   | CRC-32 of everything before                           |
//
// Invariant: the record is written (and synced, with forced flushes) only after every journal
// of the group is complete, and removed only after every one of them is (transactions.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The record's path for group in directory (a folder path with or without its separator).
std::string CommitRecordPath(const std::string& directory, uint64_t group);
// A new group id, never 0.
uint64_t NewCommitGroup();
// Writes the record; false with the OS error on failure (a partial file may be left; it never
// reads as whole).
bool WriteCommitRecord(const std::string& path, uint64_t group,
                       const std::vector<std::string>& journals, bool sync);
// True when the record at path is whole and names group; its journals go to journals.
bool ReadCommitRecord(const std::string& path, uint64_t group, std::vector<std::string>& journals);
