// The directories canned results are made in: the session's in-memory database and its
// private directory. Each is found among the session's open directories, or opened once and
// then kept for the life of the session, so result cursors never outlive their directory.
#pragma once

#include <string>

class TDataSession;
class TDataDirectory;

TDataDirectory& MemoryDirectoryOf(TDataSession& session);
TDataDirectory& PrivateDirectoryOf(TDataSession& session);
// The directory of a source table named with a folder ("folder\name") or "Memory".
TDataDirectory& FolderDirectoryOf(TDataSession& session, const std::string& folder);
