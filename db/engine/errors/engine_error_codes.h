// The engine's error codes: 92 named unsigned 16-bit values, 0 meaning success.
//
// The set is closed. Related codes share the high byte: 0x22 record positioning, 0x23 corrupt
// buffers, 0x24 file input/output, 0x25 limits, 0x26 validity checks, 0x27 invalid requests and
// definitions, 0x28 locks, 0x29 rights, 0x2A BLOB field and engine state, 0x2B operating system,
// 0x2C database server. The values travel outside the process (server replies) and as cursor
// results, so they never change. The name, the message template and the context items that fill
// each template live in one table (engine_error_codes.cpp), reached through FindEngineErrorEntry.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// clang-format off
inline constexpr uint16_t VUZODE_NONE               =     0;  // 0x0000
inline constexpr uint16_t VUZODE_BOF                =  8705;  // 0x2201
inline constexpr uint16_t VUZODE_EOF                =  8706;  // 0x2202
inline constexpr uint16_t VUZODE_KEYORRECDELETED    =  8708;  // 0x2204
inline constexpr uint16_t VUZODE_NOCURRREC          =  8709;  // 0x2205
inline constexpr uint16_t VUZODE_RECNOTFOUND        =  8710;  // 0x2206
inline constexpr uint16_t VUZODE_ENDOFBLOB          =  8711;  // 0x2207
inline constexpr uint16_t VUZODE_HEADERCORRUPT      =  8961;  // 0x2301
inline constexpr uint16_t VUZODE_FILECORRUPT        =  8962;  // 0x2302
inline constexpr uint16_t VUZODE_MEMOCORRUPT        =  8963;  // 0x2303
inline constexpr uint16_t VUZODE_INDEXCORRUPT       =  8965;  // 0x2305
inline constexpr uint16_t VUZODE_READERR            =  9217;  // 0x2401
inline constexpr uint16_t VUZODE_WRITEERR           =  9218;  // 0x2402
inline constexpr uint16_t VUZODE_FILEDELETEFAIL     =  9220;  // 0x2404
inline constexpr uint16_t VUZODE_FILENOACCESS       =  9221;  // 0x2405
inline constexpr uint16_t VUZODE_RECTOOBIG          =  9477;  // 0x2505
inline constexpr uint16_t VUZODE_TABLEFULL          =  9479;  // 0x2507
inline constexpr uint16_t VUZODE_INTERNALLIMIT      =  9482;  // 0x250A
inline constexpr uint16_t VUZODE_INDEXLIMIT         =  9487;  // 0x250F
inline constexpr uint16_t VUZODE_FLDLIMIT           =  9492;  // 0x2514
inline constexpr uint16_t VUZODE_OPENBLOBLIMIT      =  9494;  // 0x2516
inline constexpr uint16_t VUZODE_BLOBLIMIT          =  9498;  // 0x251A
inline constexpr uint16_t VUZODE_KEYVIOL            =  9729;  // 0x2601
inline constexpr uint16_t VUZODE_MINVALERR          =  9730;  // 0x2602
inline constexpr uint16_t VUZODE_MAXVALERR          =  9731;  // 0x2603
inline constexpr uint16_t VUZODE_REQDERR            =  9732;  // 0x2604
inline constexpr uint16_t VUZODE_OUTOFRANGE         =  9985;  // 0x2701
inline constexpr uint16_t VUZODE_PRIMARYKEYREDEFINE =  9993;  // 0x2709
inline constexpr uint16_t VUZODE_INVALIDBLOBOFFSET  =  9998;  // 0x270E
inline constexpr uint16_t VUZODE_INVALIDFLDTYPE     = 10000;  // 0x2710
inline constexpr uint16_t VUZODE_INVALIDVCHKSTRUCT  = 10006;  // 0x2716
inline constexpr uint16_t VUZODE_INDEXNAMEREQUIRED  = 10010;  // 0x271A
inline constexpr uint16_t VUZODE_INVALIDPASSWORD    = 10015;  // 0x271F
inline constexpr uint16_t VUZODE_INVALIDINDEXNAME   = 10022;  // 0x2726
inline constexpr uint16_t VUZODE_INVALIDIDXDESC     = 10023;  // 0x2727
inline constexpr uint16_t VUZODE_INVALIDKEY         = 10026;  // 0x272A
inline constexpr uint16_t VUZODE_INDEXEXISTS        = 10027;  // 0x272B
inline constexpr uint16_t VUZODE_INVALIDBLOBLEN     = 10029;  // 0x272D
inline constexpr uint16_t VUZODE_INVALIDBLOBHANDLE  = 10030;  // 0x272E
inline constexpr uint16_t VUZODE_TABLEOPEN          = 10031;  // 0x272F
inline constexpr uint16_t VUZODE_INVALIDFIELDNAME   = 10038;  // 0x2736
inline constexpr uint16_t VUZODE_NOSUCHFILTER       = 10050;  // 0x2742
inline constexpr uint16_t VUZODE_INVALIDFILTER      = 10051;  // 0x2743
inline constexpr uint16_t VUZODE_INVALIDINDEXDELETE = 10055;  // 0x2747
inline constexpr uint16_t VUZODE_LOCKED             = 10241;  // 0x2801
inline constexpr uint16_t VUZODE_UNLOCKFAILED       = 10242;  // 0x2802
inline constexpr uint16_t VUZODE_LOCKTIMEOUT        = 10249;  // 0x2809
inline constexpr uint16_t VUZODE_NEEDEXCLACCESS     = 10253;  // 0x280D
inline constexpr uint16_t VUZODE_RECLOCKFAILED      = 10258;  // 0x2812
inline constexpr uint16_t VUZODE_NOTSUFFTABLERIGHTS = 10498;  // 0x2902
inline constexpr uint16_t VUZODE_NOTABLOB           = 10753;  // 0x2A01
inline constexpr uint16_t VUZODE_NOTINITIALIZED     = 10758;  // 0x2A06
inline constexpr uint16_t VUZODE_OSENOENT           = 11010;  // 0x2B02
inline constexpr uint16_t VUZODE_OSEMFILE           = 11012;  // 0x2B04
inline constexpr uint16_t VUZODE_OSEACCES           = 11013;  // 0x2B05
inline constexpr uint16_t VUZODE_OSEBADF            = 11014;  // 0x2B06
inline constexpr uint16_t VUZODE_OSENOMEM           = 11016;  // 0x2B08
inline constexpr uint16_t VUZODE_OSEINVMEM          = 11017;  // 0x2B09
inline constexpr uint16_t VUZODE_OSENODEV           = 11023;  // 0x2B0F
inline constexpr uint16_t VUZODE_OSENOTSAM          = 11025;  // 0x2B11
inline constexpr uint16_t VUZODE_OSUNKNOWN          = 11047;  // 0x2B27
inline constexpr uint16_t VUZODE_REMOTECOMMLOST     = 11276;  // 0x2C0C
inline constexpr uint16_t VUZODE_REMOTEUNKNOWN      = 11279;  // 0x2C0F
inline constexpr uint16_t VUZODE_REMOTECONNECT      = 11280;  // 0x2C10
inline constexpr uint16_t VUZODE_REMOTENOLOGIN      = 11281;  // 0x2C11
inline constexpr uint16_t VUZODE_REMOTEMAXCONNECT   = 11282;  // 0x2C12
inline constexpr uint16_t VUZODE_REMOTEADDRESSBLOCK = 11283;  // 0x2C13
inline constexpr uint16_t VUZODE_REMOTECALLBACK     = 11284;  // 0x2C14
inline constexpr uint16_t VUZODE_REMOTECALLBACKERR  = 11285;  // 0x2C15
inline constexpr uint16_t VUZODE_REMOTEVERSION      = 11286;  // 0x2C16
inline constexpr uint16_t VUZODE_REMOTEINVLOGIN     = 11287;  // 0x2C17
inline constexpr uint16_t VUZODE_REMOTENOTAUTH      = 11288;  // 0x2C18
inline constexpr uint16_t VUZODE_REMOTENOTADMIN     = 11289;  // 0x2C19
inline constexpr uint16_t VUZODE_REMOTEINVUSER      = 11290;  // 0x2C1A
inline constexpr uint16_t VUZODE_REMOTENOUSER       = 11291;  // 0x2C1B
inline constexpr uint16_t VUZODE_REMOTEDUPUSER      = 11292;  // 0x2C1C
inline constexpr uint16_t VUZODE_REMOTEINVDB        = 11293;  // 0x2C1D
inline constexpr uint16_t VUZODE_REMOTENODB         = 11294;  // 0x2C1E
inline constexpr uint16_t VUZODE_REMOTEDUPDB        = 11295;  // 0x2C1F
inline constexpr uint16_t VUZODE_REMOTEINVDBUSER    = 11296;  // 0x2C20
inline constexpr uint16_t VUZODE_REMOTENODBUSER     = 11297;  // 0x2C21
inline constexpr uint16_t VUZODE_REMOTEDUPDBUSER    = 11298;  // 0x2C22
inline constexpr uint16_t VUZODE_REMOTEINVREQUEST   = 11299;  // 0x2C23
inline constexpr uint16_t VUZODE_IMPORTERROR        = 11300;  // 0x2C24
inline constexpr uint16_t VUZODE_EXPORTERROR        = 11301;  // 0x2C25
inline constexpr uint16_t VUZODE_SQLPARSE           = 11949;  // 0x2EAD
inline constexpr uint16_t VUZODE_OLDVERSION         = 12035;  // 0x2F03
inline constexpr uint16_t VUZODE_SEARCHCOLREQD      = 12292;  // 0x3004
inline constexpr uint16_t VUZODE_TABLEEXISTS        = 13060;  // 0x3304
inline constexpr uint16_t VUZODE_COMPRESS           = 15001;  // 0x3A99
inline constexpr uint16_t VUZODE_UNCOMPRESS         = 15002;  // 0x3A9A
inline constexpr uint16_t VUZODE_CANNOTLOADLDDRV    = 15878;  // 0x3E06
// clang-format on

// The numbers of the items of the error context, as EngineErrorItem takes them. Items 0 to 6 are
// texts; 7 and 8 are the OS and socket error numbers, given as signed decimal text.
enum : int {
  kErrorItemServer = 0,
  kErrorItemUser = 1,
  kErrorItemDatabase = 2,
  kErrorItemTable = 3,
  kErrorItemField = 4,
  kErrorItemIndex = 5,
  kErrorItemDetail = 6,
  kErrorItemOsError = 7,
  kErrorItemSocketError = 8,
};

// One row of the code table.
// Invariant: item_count equals the number of "%s" placeholders in message_template, and
// message_template contains no other '%'. A row without a template has an empty
// message_template and item_count 0.
struct TEngineErrorEntry {
  uint16_t code;
  std::string_view name;              // "VUZODE_KEYVIOL"
  std::string_view message_template;  // every placeholder is "%s"
  uint8_t item_count;
  uint8_t items[3];  // context item numbers filling the placeholders, in order
};

// All rows, in ascending code order.
std::span<const TEngineErrorEntry> EngineErrorTable();

// The row of code, or nullptr for a value outside the set.
const TEngineErrorEntry* FindEngineErrorEntry(uint16_t code);
