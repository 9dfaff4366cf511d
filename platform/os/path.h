// File names as the engine writes them, mapped onto a case-sensitive POSIX file system.
//
// The engine names files the way a case-insensitive system with "\" separators does:
// "DATA\Kazu.DAT" and "data/kazu.dat" denote the same file. This file holds the conversions:
//   - NormalizeFileName: "\" becomes "/", surrounding blanks go; nothing else changes.
//   - FoldFileNameCase / SameFileName: the case-insensitive comparison of names (ASCII, Latin-1,
//     Greek, Cyrillic and full-width Latin letters; everything else compares by its bytes).
//   - ResolveFileName: the spelling under which an existing file is stored on disk.
//
// Invariant: ResolveFileName only ever changes the letter case of components that do not exist
// under the given spelling; it never invents or drops components, so a name that does not exist
// comes back normalized and otherwise unchanged (the caller may then create it).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// name with every "\" replaced by "/" and leading and trailing blanks (spaces, tabs) removed.
std::string NormalizeFileName(std::string_view name);

// name with its letters mapped to one case, for comparisons only. Bytes that are not well-formed
// UTF-8 are kept as they are.
std::string FoldFileNameCase(std::string_view name);

// True when a and b denote the same name: equal after NormalizeFileName and FoldFileNameCase.
bool SameFileName(std::string_view a, std::string_view b);

// The normalized name with each component replaced by the on-disk spelling that matches it
// case-insensitively, where the exact spelling does not exist. When several entries of a
// directory match, the exact spelling wins, else the first in byte order (so the choice is
// stable). Components after the first one that exists in no spelling are kept as given.
// Preserves the OS last-error value.
std::string ResolveFileName(std::string_view name);

// The directory part of a normalized name, without a trailing "/" ("" for a bare name, "/" for a
// file in the root).
std::string FileDirectory(std::string_view name);

// The last component of a normalized name.
std::string FileBaseName(std::string_view name);

// dir with one trailing separator added when it has none ("" stays "").
std::string IncludeTrailingSeparator(std::string_view dir);

}  // namespace platform
