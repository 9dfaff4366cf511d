// Names for temporary files that no file of the same kind has yet.
#pragma once

#include <string>

// prefix (a directory, given a trailing separator when it lacks one; "\" is accepted) + the
// first 5 decimal digits of the calling thread's id + a counter from 0 + extension: the first
// such name for which FileList().FileExists(name, inMemory) is false.
//
// The name is free when returned, not reserved: two threads whose ids share their first 5 digits
// may get the same name. Creating it then fails for the second (VUZODE_OSEACCES, the first holds
// it exclusively), which is safe; callers that must succeed ask again.
std::string UniqueFileName(const std::string& prefix, const std::string& extension, bool inMemory);
