// Every engine error code against the published code list: its name, its value, and its
// message with each context item in its placeholder. The expected texts are written out in
// full here, apart from the code table, so that a changed template or a swapped item shows.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "db/engine/errors/engine_error.h"

namespace {

struct ExpectedRow {
  const char* name;
  uint16_t code;
  const char* text;  // with server srv, user usr, database db, table tbl, field fld,
                     // index idx, detail det and OS error number 32
};

const ExpectedRow kRows[] = {
    {"VUZODE_NONE", 0, "An unknown error occurred"},
    {"VUZODE_BOF", 8705, "Beginning of table 'tbl' unexpectedly encountered"},
    {"VUZODE_EOF", 8706, "End of table 'tbl' unexpectedly encountered"},
    {"VUZODE_KEYORRECDELETED", 8708,
     "Record has been changed or deleted by another user, session, or table cursor in the table "
     "'tbl'"},
    {"VUZODE_NOCURRREC", 8709, "No current record in the table 'tbl'"},
    {"VUZODE_RECNOTFOUND", 8710, "Record not found in the table 'tbl'"},
    {"VUZODE_ENDOFBLOB", 8711, "End of blob data in the table 'tbl' reached prematurely"},
    {"VUZODE_HEADERCORRUPT", 8961, "Header information corrupt in the table 'tbl'"},
    {"VUZODE_FILECORRUPT", 8962, "Data record buffers corrupt in the table 'tbl'"},
    {"VUZODE_MEMOCORRUPT", 8963, "BLOB block buffers corrupt in the table 'tbl'"},
    {"VUZODE_INDEXCORRUPT", 8965, "Index page buffers corrupt in the table 'tbl'"},
    {"VUZODE_READERR", 9217, "Error reading from the table 'tbl'"},
    {"VUZODE_WRITEERR", 9218, "Error writing to the table 'tbl'"},
    {"VUZODE_FILEDELETEFAIL", 9220, "Cannot delete the table 'tbl'"},
    {"VUZODE_FILENOACCESS", 9221, "Error accessing header information for the table 'tbl'"},
    {"VUZODE_RECTOOBIG", 9477, "Maximum record size exceeded in the table 'tbl'"},
    {"VUZODE_TABLEFULL", 9479, "The table 'tbl' is full and cannot contain any more data"},
    {"VUZODE_INTERNALLIMIT", 9482, "Too many filters defined for the table 'tbl'"},
    {"VUZODE_INDEXLIMIT", 9487,
     "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table "
     "'tbl'"},
    {"VUZODE_FLDLIMIT", 9492,
     "Maximum or minimum limits on number of fields, auto-increment field value, or field size "
     "exceeded in the table 'tbl'"},
    {"VUZODE_OPENBLOBLIMIT", 9494, "Too many blobs opened in the table 'tbl'"},
    {"VUZODE_BLOBLIMIT", 9498,
     "Too many blob fields or invalid blob block size specified for the table 'tbl'"},
    {"VUZODE_KEYVIOL", 9729, "Duplicate key found in the index 'idx' of the table 'tbl'"},
    {"VUZODE_MINVALERR", 9730,
     "The value for the field 'fld' in the table 'tbl' is below the minimum allowable value"},
    {"VUZODE_MAXVALERR", 9731,
     "The value for the field 'fld' in the table 'tbl' is above the maximum allowable value"},
    {"VUZODE_REQDERR", 9732, "A value must be provided for the field 'fld' in the table 'tbl'"},
    {"VUZODE_OUTOFRANGE", 9985, "Invalid field number or name 'fld' specified for the table 'tbl'"},
    {"VUZODE_PRIMARYKEYREDEFINE", 9993,
     "A primary index is already defined for the table 'tbl' and cannot be added again"},
    {"VUZODE_INVALIDBLOBOFFSET", 9998, "Invalid blob offset into the table 'tbl' specified"},
    {"VUZODE_INVALIDFLDTYPE", 10000,
     "Invalid field definition specified for the field 'fld' in the table 'tbl'"},
    {"VUZODE_INVALIDVCHKSTRUCT", 10006,
     "Invalid default, min or max validity check, or expression specified for the field 'fld' in "
     "the table 'tbl'"},
    {"VUZODE_INDEXNAMEREQUIRED", 10010,
     "The secondary index name is missing or not specified for the table 'tbl'"},
    {"VUZODE_INVALIDPASSWORD", 10015, "Password provided for the table 'tbl' is invalid"},
    {"VUZODE_INVALIDINDEXNAME", 10022,
     "Invalid secondary index name 'idx' specified for the table 'tbl'"},
    {"VUZODE_INVALIDIDXDESC", 10023,
     "Invalid field number 'fld' specified in the index 'idx' for the table 'tbl'"},
    {"VUZODE_INVALIDKEY", 10026,
     "Invalid key size specified in the index 'idx' for the table 'tbl'"},
    {"VUZODE_INDEXEXISTS", 10027, "The secondary index 'idx' already exists for the table 'tbl'"},
    {"VUZODE_INVALIDBLOBLEN", 10029, "Invalid blob length in the table 'tbl'"},
    {"VUZODE_INVALIDBLOBHANDLE", 10030, "Invalid blob handle for the table 'tbl' specified"},
    {"VUZODE_TABLEOPEN", 10031, "The table 'tbl' is already in use"},
    {"VUZODE_INVALIDFIELDNAME", 10038,
     "Invalid or duplicate field name 'fld' specified for the table 'tbl'"},
    {"VUZODE_NOSUCHFILTER", 10050, "Invalid filter handle specified for the table 'tbl'"},
    {"VUZODE_INVALIDFILTER", 10051, "Filter error for the table 'tbl' - det"},
    {"VUZODE_INVALIDINDEXDELETE", 10055,
     "The primary index cannot be removed from the table 'tbl'"},
    {"VUZODE_LOCKED", 10241, "The table 'tbl' is already locked by another user"},
    {"VUZODE_UNLOCKFAILED", 10242, "Cannot unlock table or record in the table 'tbl'"},
    {"VUZODE_LOCKTIMEOUT", 10249, "General lock failure with the table 'tbl'"},
    {"VUZODE_NEEDEXCLACCESS", 10253, "The table 'tbl' must be opened exclusively"},
    {"VUZODE_RECLOCKFAILED", 10258, "Record in the table 'tbl' is in use by another user"},
    {"VUZODE_NOTSUFFTABLERIGHTS", 10498,
     "Insufficient rights to the table 'tbl', a password is required"},
    {"VUZODE_NOTABLOB", 10753, "Invalid blob field 'fld' specified for the table 'tbl'"},
    {"VUZODE_NOTINITIALIZED", 10758, "The database engine is not initialized"},
    {"VUZODE_OSENOENT", 11010, "Table 'tbl' does not exist"},
    {"VUZODE_OSEMFILE", 11012,
     "Too many operating system files open while attempting to open the table 'tbl'"},
    {"VUZODE_OSEACCES", 11013, "Access denied to table 'tbl'"},
    {"VUZODE_OSEBADF", 11014, "Invalid operating system file handle for the table 'tbl'"},
    {"VUZODE_OSENOMEM", 11016,
     "There is insufficient operating system memory available for the current operation"},
    {"VUZODE_OSEINVMEM", 11017, "Invalid length for the in-memory table 'tbl'"},
    {"VUZODE_OSENODEV", 11023,
     "Access denied to logical operating system device for the table 'tbl'"},
    {"VUZODE_OSENOTSAM", 11025, "The table 'tbl' has been moved"},
    {"VUZODE_OSUNKNOWN", 11047,
     "An unknown operating system error 32 occurred with the table 'tbl'"},
    {"VUZODE_REMOTECOMMLOST", 11276,
     "The connection to the database server at 'srv' has been lost"},
    {"VUZODE_REMOTEUNKNOWN", 11279,
     "An unknown error ('det') occurred with the connection to the database server at 'srv', "
     "please check the server log"},
    {"VUZODE_REMOTECONNECT", 11280,
     "A connection to the database server at 'srv' cannot be established"},
    {"VUZODE_REMOTENOLOGIN", 11281,
     "A connection to the database server at 'srv' cannot be established, the server is not "
     "accepting new logins"},
    {"VUZODE_REMOTEMAXCONNECT", 11282,
     "A connection to the database server at 'srv' cannot be established, the maximum number of "
     "connections has been reached"},
    {"VUZODE_REMOTEADDRESSBLOCK", 11283,
     "A connection to the database server at 'srv' cannot be established, the client address is "
     "blocked"},
    {"VUZODE_REMOTECALLBACK", 11284, "An unknown error occurred"},
    {"VUZODE_REMOTECALLBACKERR", 11285,
     "A server callback error occurred for the database server at 'srv'"},
    {"VUZODE_REMOTEVERSION", 11286,
     "A call to the database server at 'srv' failed, the client engine version does not match the "
     "server"},
    {"VUZODE_REMOTEINVLOGIN", 11287,
     "A connection to the database server at 'srv' cannot be established, the login information "
     "provided is invalid"},
    {"VUZODE_REMOTENOTAUTH", 11288,
     "The user 'usr' is not authorized to perform this operation with the database 'db' on the "
     "database server at 'srv'"},
    {"VUZODE_REMOTENOTADMIN", 11289,
     "The user 'usr' is not authorized to perform administration functions on the database server "
     "at 'srv'"},
    {"VUZODE_REMOTEINVUSER", 11290, "The user name is either invalid or blank"},
    {"VUZODE_REMOTENOUSER", 11291, "The user 'usr' does not exist on the database server at 'srv'"},
    {"VUZODE_REMOTEDUPUSER", 11292,
     "The user 'usr' already exists on the database server at 'srv'"},
    {"VUZODE_REMOTEINVDB", 11293, "The database name or directory is either invalid or blank"},
    {"VUZODE_REMOTENODB", 11294,
     "The database 'db' does not exist on the database server at 'srv'"},
    {"VUZODE_REMOTEDUPDB", 11295,
     "The database 'db' already exists on the database server at 'srv'"},
    {"VUZODE_REMOTEINVDBUSER", 11296, "The database user name is either invalid or blank"},
    {"VUZODE_REMOTENODBUSER", 11297,
     "The database user 'usr' does not exist for the database 'db' on the database server at "
     "'srv'"},
    {"VUZODE_REMOTEDUPDBUSER", 11298,
     "The database user 'usr' already exists for the database 'db' on the database server at "
     "'srv'"},
    {"VUZODE_REMOTEINVREQUEST", 11299,
     "An invalid or unknown request was made to the database server at 'srv'"},
    {"VUZODE_IMPORTERROR", 11300, "An error occurred during the import into the table 'tbl' - det"},
    {"VUZODE_EXPORTERROR", 11301, "An error occurred during the export from the table 'tbl' - det"},
    {"VUZODE_SQLPARSE", 11949, "SQL error - det"},
    {"VUZODE_OLDVERSION", 12035, "The table 'tbl' is not the correct version"},
    {"VUZODE_SEARCHCOLREQD", 12292,
     "Invalid field 'fld' specified for the index 'idx' in the table 'tbl'"},
    {"VUZODE_TABLEEXISTS", 13060, "The table 'tbl' already exists"},
    {"VUZODE_COMPRESS", 15001, "Error compressing data"},
    {"VUZODE_UNCOMPRESS", 15002, "Error uncompressing data"},
    {"VUZODE_CANNOTLOADLDDRV", 15878,
     "The language driver for the table 'tbl' is not available or installed"},
};

TEST(EngineErrorList, EveryCodeHasItsNameValueAndMessage) {
  ASSERT_EQ(std::size(kRows), EngineErrorTable().size());
  for (const ExpectedRow& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(EngineErrorName(row.code), row.name);
    try {
      errno = 32;
      RaiseEngineError(row.code, "srv", "usr", "db", "tbl", "fld", "idx", "det");
    } catch (const EVUZODEEngineError& error) {
      EXPECT_EQ(error.EngineCode(), row.code);
      EXPECT_EQ(EngineErrorText(row.code), row.text);
      EXPECT_EQ(std::string(error.what()),
                "VUZODE Engine Error # " + std::to_string(row.code) + " " + row.text);
    }
  }
}

}  // namespace
