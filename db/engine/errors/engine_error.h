// Engine errors: the process-wide error context, the exception that carries it and the one
// operation through which engine code raises.
//
// Invariants:
//   (1) Every write and read of the context happens under ErrorContextLock(); RaiseEngineError
//       holds it from clearing the context until the exception has been built from it, so an
//       exception's fields are always those of one raise.
//   (2) ErrorContextLock() is re-entrant and the innermost lock: nothing else is taken while it
//       is held.
//   (3) The context keeps the last raised error until the next RaiseEngineError replaces all of
//       it; nothing else changes it.
//   (4) Context texts are at most 255 bytes, message texts at most 254 bytes; both are cut at a
//       UTF-8 character boundary so a cut never leaves half a character.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "db/engine/errors/engine_error_codes.h"
#include "platform/data/database_error.h"
#include "platform/os/system.h"

// The longest context text, and the longest message text of a code.
inline constexpr size_t kMaxErrorItemLength = 255;
inline constexpr size_t kMaxErrorTextLength = 254;

// The lock guarding the error context. It lives for the whole process (it is never destroyed,
// so a thread raising during process exit still finds it).
platform::TCriticalSection& ErrorContextLock();

// The exception of every engine failure. Its message is "VUZODE Engine Error # <code> <text>",
// the text being EngineErrorText(code) at construction.
class EVUZODEEngineError : public platform::EDatabaseError {
 public:
  // Builds the exception from code and the context as it stands now (the last recorded error).
  // The component layer uses this directly to turn a code returned by a cursor operation into
  // an exception.
  explicit EVUZODEEngineError(uint16_t code);

  uint16_t EngineCode() const { return engine_code_; }
  int32_t OsErrorNumber() const { return os_error_number_; }
  int32_t SocketErrorNumber() const { return socket_error_number_; }
  const std::string& ContextServer() const { return context_server_; }
  const std::string& ContextUser() const { return context_user_; }
  const std::string& ContextDatabase() const { return context_database_; }
  const std::string& ContextTable() const { return context_table_; }
  const std::string& ContextField() const { return context_field_; }
  const std::string& ContextIndex() const { return context_index_; }
  const std::string& ContextDetail() const { return context_detail_; }

 private:
  uint16_t engine_code_;
  int32_t os_error_number_;
  int32_t socket_error_number_;
  std::string context_server_;
  std::string context_user_;
  std::string context_database_;
  std::string context_table_;
  std::string context_field_;
  std::string context_index_;
  std::string context_detail_;
};

// Records code, the OS and socket layers' last-error values as they stand at the call, and the
// seven texts (each cut to 255 bytes; empty where they do not apply), then raises
// EVUZODEEngineError. This is the one way engine code raises.
// REQUIRES: nothing between the failing OS or socket call and this call may change their
// last-error values (the argument texts may be built; that touches neither).
[[noreturn]] void RaiseEngineError(uint16_t code, std::string_view server = {},
                                   std::string_view user = {}, std::string_view database = {},
                                   std::string_view table = {}, std::string_view field = {},
                                   std::string_view index = {}, std::string_view detail = {});

// The message text of code, formatted from the current context: the code's template with its
// items in placeholder order, or "An unknown error occurred" for a code without a template
// (VUZODE_NONE, VUZODE_REMOTECALLBACK, any value outside the set). At most 254 bytes.
std::string EngineErrorText(uint16_t code);

// One context item by its number (kErrorItemServer .. kErrorItemSocketError); items 7 and 8
// in signed decimal; the empty text for any other number.
std::string EngineErrorItem(int item);

// The code of the last recorded error (VUZODE_NONE before the first).
uint16_t LastEngineErrorCode();

// The EngineCode of an EVUZODEEngineError; VUZODE_OSUNKNOWN for any other exception. The
// exception_ptr form serves catch (...) handlers; a null pointer also gives VUZODE_OSUNKNOWN.
uint16_t ErrorCodeOf(const std::exception& error);
uint16_t ErrorCodeOf(std::exception_ptr error);

// The name of code as in the code table ("VUZODE_KEYVIOL"), or the empty text for a value
// outside the set.
std::string_view EngineErrorName(uint16_t code);
