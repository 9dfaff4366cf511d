// Table file names: how a table name becomes the names of its three files (and their backups).
// A name ending in ".DAT" (any case) has that extension replaced; any other name keeps what it
// has and gets the extension appended. Local file names are the directory path followed by the
// table's file name; names compare trimmed and without regard to letter case.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kDataExtension = ".DAT";
inline constexpr std::string_view kIndexExtension = ".IDX";
inline constexpr std::string_view kBlobExtension = ".BLB";
inline constexpr std::string_view kDataBackupExtension = ".DBK";
inline constexpr std::string_view kIndexBackupExtension = ".IBK";
inline constexpr std::string_view kBlobBackupExtension = ".BBK";
// The commit journal left beside a table by a commit that did not finish, and its backup name.
inline constexpr std::string_view kJournalExtension = ".JNL";
inline constexpr std::string_view kJournalBackupExtension = ".JBK";

// Surrounding blanks (spaces, tabs, line ends) removed.
std::string TrimmedText(std::string_view text);
// Equal after trimming, without regard to ASCII letter case.
bool SameTableName(std::string_view a, std::string_view b);
// The table name with its extension made extension (".DAT" replaced, anything else kept).
std::string TableFileName(std::string_view tableName, std::string_view extension);
// The text trimmed, with one trailing backslash (the empty text stays empty).
std::string DirectoryPathOf(std::string_view folder);
// Whether name holds a directory part (a "\" or "/").
bool HasPath(std::string_view name);
