// The code table: each engine error code with its name, its English message template and the
// context items that fill the template's placeholders, in placeholder order.
//
// Invariants: rows are sorted by code and codes are unique (static_assert below, since
// FindEngineErrorEntry searches by halving), and each row has one item per "%s" placeholder
// (checked by the tests). The name of a row is spelt from its constant by the ROW macro, so the
// two cannot drift apart.
#include "db/engine/errors/engine_error_codes.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace {

constexpr uint8_t kServer = kErrorItemServer;
constexpr uint8_t kUser = kErrorItemUser;
constexpr uint8_t kDatabase = kErrorItemDatabase;
constexpr uint8_t kTable = kErrorItemTable;
constexpr uint8_t kField = kErrorItemField;
constexpr uint8_t kIndex = kErrorItemIndex;
constexpr uint8_t kDetail = kErrorItemDetail;
constexpr uint8_t kOsError = kErrorItemOsError;

constexpr TEngineErrorEntry MakeEntry(uint16_t code, std::string_view name,
                                      std::string_view message_template,
                                      std::initializer_list<uint8_t> items) {
  TEngineErrorEntry entry{code, name, message_template, 0, {}};
  for (uint8_t item : items) entry.items[entry.item_count++] = item;
  return entry;
}

#define ROW(code, message_template, ...) MakeEntry(code, #code, message_template, {__VA_ARGS__})

// clang-format off
constexpr TEngineErrorEntry kEntries[] = {
    ROW(VUZODE_NONE, ""),
    ROW(VUZODE_BOF, "Beginning of table '%s' unexpectedly encountered", kTable),
    ROW(VUZODE_EOF, "End of table '%s' unexpectedly encountered", kTable),
    ROW(VUZODE_KEYORRECDELETED, "Record has been changed or deleted by another user, session, "
        "or table cursor in the table '%s'", kTable),
    ROW(VUZODE_NOCURRREC, "No current record in the table '%s'", kTable),
    ROW(VUZODE_RECNOTFOUND, "Record not found in the table '%s'", kTable),
    ROW(VUZODE_ENDOFBLOB, "End of blob data in the table '%s' reached prematurely", kTable),
    ROW(VUZODE_HEADERCORRUPT, "Header information corrupt in the table '%s'", kTable),
    ROW(VUZODE_FILECORRUPT, "Data record buffers corrupt in the table '%s'", kTable),
    ROW(VUZODE_MEMOCORRUPT, "BLOB block buffers corrupt in the table '%s'", kTable),
    ROW(VUZODE_INDEXCORRUPT, "Index page buffers corrupt in the table '%s'", kTable),
    ROW(VUZODE_READERR, "Error reading from the table '%s'", kTable),
    ROW(VUZODE_WRITEERR, "Error writing to the table '%s'", kTable),
    ROW(VUZODE_FILEDELETEFAIL, "Cannot delete the table '%s'", kTable),
    ROW(VUZODE_FILENOACCESS, "Error accessing header information for the table '%s'", kTable),
    ROW(VUZODE_RECTOOBIG, "Maximum record size exceeded in the table '%s'", kTable),
    ROW(VUZODE_TABLEFULL, "The table '%s' is full and cannot contain any more data", kTable),
    ROW(VUZODE_INTERNALLIMIT, "Too many filters defined for the table '%s'", kTable),
    ROW(VUZODE_INDEXLIMIT, "Maximum or minimum limits on number of indexes or fields in an "
        "index exceeded in the table '%s'", kTable),
    ROW(VUZODE_FLDLIMIT, "Maximum or minimum limits on number of fields, auto-increment field "
        "value, or field size exceeded in the table '%s'", kTable),
    ROW(VUZODE_OPENBLOBLIMIT, "Too many blobs opened in the table '%s'", kTable),
    ROW(VUZODE_BLOBLIMIT, "Too many blob fields or invalid blob block size specified for the "
        "table '%s'", kTable),
    ROW(VUZODE_KEYVIOL, "Duplicate key found in the index '%s' of the table '%s'", kIndex, kTable),
    ROW(VUZODE_MINVALERR, "The value for the field '%s' in the table '%s' is below the minimum "
        "allowable value", kField, kTable),
    ROW(VUZODE_MAXVALERR, "The value for the field '%s' in the table '%s' is above the maximum "
        "allowable value", kField, kTable),
    ROW(VUZODE_REQDERR, "A value must be provided for the field '%s' in the table '%s'",
        kField, kTable),
    ROW(VUZODE_OUTOFRANGE, "Invalid field number or name '%s' specified for the table '%s'",
        kField, kTable),
    ROW(VUZODE_PRIMARYKEYREDEFINE, "A primary index is already defined for the table '%s' and "
        "cannot be added again", kTable),
    ROW(VUZODE_INVALIDBLOBOFFSET, "Invalid blob offset into the table '%s' specified", kTable),
    ROW(VUZODE_INVALIDFLDTYPE, "Invalid field definition specified for the field '%s' in the "
        "table '%s'", kField, kTable),
    ROW(VUZODE_INVALIDVCHKSTRUCT, "Invalid default, min or max validity check, or expression "
        "specified for the field '%s' in the table '%s'", kField, kTable),
    ROW(VUZODE_INDEXNAMEREQUIRED, "The secondary index name is missing or not specified for the "
        "table '%s'", kTable),
    ROW(VUZODE_INVALIDPASSWORD, "Password provided for the table '%s' is invalid", kTable),
    ROW(VUZODE_INVALIDINDEXNAME, "Invalid secondary index name '%s' specified for the table '%s'",
        kIndex, kTable),
    ROW(VUZODE_INVALIDIDXDESC, "Invalid field number '%s' specified in the index '%s' for the "
        "table '%s'", kField, kIndex, kTable),
    ROW(VUZODE_INVALIDKEY, "Invalid key size specified in the index '%s' for the table '%s'",
        kIndex, kTable),
    ROW(VUZODE_INDEXEXISTS, "The secondary index '%s' already exists for the table '%s'",
        kIndex, kTable),
    ROW(VUZODE_INVALIDBLOBLEN, "Invalid blob length in the table '%s'", kTable),
    ROW(VUZODE_INVALIDBLOBHANDLE, "Invalid blob handle for the table '%s' specified", kTable),
    ROW(VUZODE_TABLEOPEN, "The table '%s' is already in use", kTable),
    ROW(VUZODE_INVALIDFIELDNAME, "Invalid or duplicate field name '%s' specified for the table "
        "'%s'", kField, kTable),
    ROW(VUZODE_NOSUCHFILTER, "Invalid filter handle specified for the table '%s'", kTable),
    ROW(VUZODE_INVALIDFILTER, "Filter error for the table '%s' - %s", kTable, kDetail),
    ROW(VUZODE_INVALIDINDEXDELETE, "The primary index cannot be removed from the table '%s'",
        kTable),
    ROW(VUZODE_LOCKED, "The table '%s' is already locked by another user", kTable),
    ROW(VUZODE_UNLOCKFAILED, "Cannot unlock table or record in the table '%s'", kTable),
    ROW(VUZODE_LOCKTIMEOUT, "General lock failure with the table '%s'", kTable),
    ROW(VUZODE_NEEDEXCLACCESS, "The table '%s' must be opened exclusively", kTable),
    ROW(VUZODE_RECLOCKFAILED, "Record in the table '%s' is in use by another user", kTable),
    ROW(VUZODE_NOTSUFFTABLERIGHTS, "Insufficient rights to the table '%s', a password is required",
        kTable),
    ROW(VUZODE_NOTABLOB, "Invalid blob field '%s' specified for the table '%s'", kField, kTable),
    ROW(VUZODE_NOTINITIALIZED, "The database engine is not initialized"),
    ROW(VUZODE_OSENOENT, "Table '%s' does not exist", kTable),
    ROW(VUZODE_OSEMFILE, "Too many operating system files open while attempting to open the "
        "table '%s'", kTable),
    ROW(VUZODE_OSEACCES, "Access denied to table '%s'", kTable),
    ROW(VUZODE_OSEBADF, "Invalid operating system file handle for the table '%s'", kTable),
    ROW(VUZODE_OSENOMEM, "There is insufficient operating system memory available for the "
        "current operation"),
    ROW(VUZODE_OSEINVMEM, "Invalid length for the in-memory table '%s'", kTable),
    ROW(VUZODE_OSENODEV, "Access denied to logical operating system device for the table '%s'",
        kTable),
    ROW(VUZODE_OSENOTSAM, "The table '%s' has been moved", kTable),
    ROW(VUZODE_OSUNKNOWN, "An unknown operating system error %s occurred with the table '%s'",
        kOsError, kTable),
    ROW(VUZODE_REMOTECOMMLOST, "The connection to the database server at '%s' has been lost",
        kServer),
    ROW(VUZODE_REMOTEUNKNOWN, "An unknown error ('%s') occurred with the connection to the "
        "database server at '%s', please check the server log", kDetail, kServer),
    ROW(VUZODE_REMOTECONNECT, "A connection to the database server at '%s' cannot be established",
        kServer),
    ROW(VUZODE_REMOTENOLOGIN, "A connection to the database server at '%s' cannot be "
        "established, the server is not accepting new logins", kServer),
    ROW(VUZODE_REMOTEMAXCONNECT, "A connection to the database server at '%s' cannot be "
        "established, the maximum number of connections has been reached", kServer),
    ROW(VUZODE_REMOTEADDRESSBLOCK, "A connection to the database server at '%s' cannot be "
        "established, the client address is blocked", kServer),
    ROW(VUZODE_REMOTECALLBACK, ""),
    ROW(VUZODE_REMOTECALLBACKERR, "A server callback error occurred for the database server at "
        "'%s'", kServer),
    ROW(VUZODE_REMOTEVERSION, "A call to the database server at '%s' failed, the client engine "
        "version does not match the server", kServer),
    ROW(VUZODE_REMOTEINVLOGIN, "A connection to the database server at '%s' cannot be "
        "established, the login information provided is invalid", kServer),
    ROW(VUZODE_REMOTENOTAUTH, "The user '%s' is not authorized to perform this operation with "
        "the database '%s' on the database server at '%s'", kUser, kDatabase, kServer),
    ROW(VUZODE_REMOTENOTADMIN, "The user '%s' is not authorized to perform administration "
        "functions on the database server at '%s'", kUser, kServer),
    ROW(VUZODE_REMOTEINVUSER, "The user name is either invalid or blank"),
    ROW(VUZODE_REMOTENOUSER, "The user '%s' does not exist on the database server at '%s'",
        kUser, kServer),
    ROW(VUZODE_REMOTEDUPUSER, "The user '%s' already exists on the database server at '%s'",
        kUser, kServer),
    ROW(VUZODE_REMOTEINVDB, "The database name or directory is either invalid or blank"),
    ROW(VUZODE_REMOTENODB, "The database '%s' does not exist on the database server at '%s'",
        kDatabase, kServer),
    ROW(VUZODE_REMOTEDUPDB, "The database '%s' already exists on the database server at '%s'",
        kDatabase, kServer),
    ROW(VUZODE_REMOTEINVDBUSER, "The database user name is either invalid or blank"),
    ROW(VUZODE_REMOTENODBUSER, "The database user '%s' does not exist for the database '%s' on "
        "the database server at '%s'", kUser, kDatabase, kServer),
    ROW(VUZODE_REMOTEDUPDBUSER, "The database user '%s' already exists for the database '%s' on "
        "the database server at '%s'", kUser, kDatabase, kServer),
    ROW(VUZODE_REMOTEINVREQUEST, "An invalid or unknown request was made to the database server "
        "at '%s'", kServer),
    ROW(VUZODE_IMPORTERROR, "An error occurred during the import into the table '%s' - %s",
        kTable, kDetail),
    ROW(VUZODE_EXPORTERROR, "An error occurred during the export from the table '%s' - %s",
        kTable, kDetail),
    ROW(VUZODE_SQLPARSE, "SQL error - %s", kDetail),
    ROW(VUZODE_OLDVERSION, "The table '%s' is not the correct version", kTable),
    ROW(VUZODE_SEARCHCOLREQD, "Invalid field '%s' specified for the index '%s' in the table '%s'",
        kField, kIndex, kTable),
    ROW(VUZODE_TABLEEXISTS, "The table '%s' already exists", kTable),
    ROW(VUZODE_COMPRESS, "Error compressing data"),
    ROW(VUZODE_UNCOMPRESS, "Error uncompressing data"),
    ROW(VUZODE_CANNOTLOADLDDRV, "The language driver for the table '%s' is not available or "
        "installed", kTable),
};
// clang-format on

#undef ROW

static_assert(std::size(kEntries) == 92, "the code set is closed at 92 codes");

constexpr bool SortedAndUnique() {
  for (size_t i = 1; i < std::size(kEntries); ++i) {
    if (kEntries[i - 1].code >= kEntries[i].code) return false;
  }
  return true;
}
static_assert(SortedAndUnique(), "FindEngineErrorEntry searches by halving");

}  // namespace

std::span<const TEngineErrorEntry> EngineErrorTable() {
  return kEntries;
}

const TEngineErrorEntry* FindEngineErrorEntry(uint16_t code) {
  const auto it = std::lower_bound(
      std::begin(kEntries), std::end(kEntries), code,
      [](const TEngineErrorEntry& entry, uint16_t value) { return entry.code < value; });
  if (it == std::end(kEntries) || it->code != code) return nullptr;
  return &*it;
}
