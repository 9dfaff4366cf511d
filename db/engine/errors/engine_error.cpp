// The error context, EVUZODEEngineError, RaiseEngineError and the helpers around them.
//
// The context record and its lock are created on first use and never destroyed: engine threads
// may still raise while static objects are being torn down at exit, and the lock must be there
// before any session exists, whatever the order of static initialisation.
#include "db/engine/errors/engine_error.h"

#include <mutex>

#include "platform/net/socket_error.h"
#include "platform/os/os_error.h"

namespace {

constexpr std::string_view kUnknownErrorText = "An unknown error occurred";
constexpr int kTextItemCount = 7;  // items 0 to 6 are texts

// The last recorded error. Guarded by ErrorContextLock().
struct EngineErrorContext {
  uint16_t code = VUZODE_NONE;
  int32_t os_error_number = 0;
  int32_t socket_error_number = 0;
  std::string items[kTextItemCount];  // by item number, each at most kMaxErrorItemLength bytes
};

EngineErrorContext& Context() {
  static EngineErrorContext* const context = new EngineErrorContext;
  return *context;
}

// text cut to at most max_length bytes. The cut never splits a UTF-8 sequence: when the first
// byte left out is a continuation byte, the whole character it belongs to is left out.
std::string_view CutText(std::string_view text, size_t max_length) {
  if (text.size() <= max_length) return text;
  size_t length = max_length;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}

// REQUIRES: the caller holds ErrorContextLock().
std::string ItemLocked(int item) {
  const EngineErrorContext& context = Context();
  if (item >= 0 && item < kTextItemCount) return context.items[item];
  if (item == kErrorItemOsError) return std::to_string(context.os_error_number);
  if (item == kErrorItemSocketError) return std::to_string(context.socket_error_number);
  return {};
}

// REQUIRES: the caller holds ErrorContextLock().
std::string TextLocked(uint16_t code) {
  const TEngineErrorEntry* entry = FindEngineErrorEntry(code);
  if (entry == nullptr || entry->message_template.empty()) return std::string(kUnknownErrorText);
  const std::string_view pattern = entry->message_template;
  std::string text;
  size_t next_item = 0;
  size_t pos = 0;
  while (pos < pattern.size()) {
    const size_t mark = pattern.find("%s", pos);
    if (mark == std::string_view::npos) {
      text.append(pattern.substr(pos));
      break;
    }
    text.append(pattern.substr(pos, mark - pos));
    // The table's invariant guarantees one item per placeholder.
    if (next_item < entry->item_count) text += ItemLocked(entry->items[next_item++]);
    pos = mark + 2;
  }
  return std::string(CutText(text, kMaxErrorTextLength));
}

}  // namespace

platform::TCriticalSection& ErrorContextLock() {
  static platform::TCriticalSection* const lock = new platform::TCriticalSection;
  return *lock;
}

EVUZODEEngineError::EVUZODEEngineError(uint16_t code) : platform::EDatabaseError(std::string()) {
  // Re-entrant: inside RaiseEngineError this thread already holds the lock.
  std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
  const EngineErrorContext& context = Context();
  engine_code_ = code;
  const std::string text = TextLocked(code);
  context_server_ = context.items[kErrorItemServer];
  context_user_ = context.items[kErrorItemUser];
  context_database_ = context.items[kErrorItemDatabase];
  context_table_ = context.items[kErrorItemTable];
  context_field_ = context.items[kErrorItemField];
  context_index_ = context.items[kErrorItemIndex];
  context_detail_ = context.items[kErrorItemDetail];
  os_error_number_ = context.os_error_number;
  socket_error_number_ = context.socket_error_number;
  SetMessage("VUZODE Engine Error # " + std::to_string(code) + " " + text);
}

void RaiseEngineError(uint16_t code, std::string_view server, std::string_view user,
                      std::string_view database, std::string_view table, std::string_view field,
                      std::string_view index, std::string_view detail) {
  // Read both last-error values before anything else runs: taking the lock or allocating the
  // texts could otherwise change errno.
  const int32_t os_error_number = platform::LastOsError();
  const int32_t socket_error_number = platform::LastSocketError();

  // Held until the exception has left this function, so no other raiser can change the
  // context between recording it and building the exception from it (invariant 1).
  std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
  EngineErrorContext& context = Context();
  // Every item is overwritten, so nothing of an earlier error survives (invariant 3).
  const std::string_view texts[kTextItemCount] = {server, user,  database, table,
                                                  field,  index, detail};
  context.code = code;
  context.os_error_number = os_error_number;
  context.socket_error_number = socket_error_number;
  for (int item = 0; item < kTextItemCount; ++item) {
    context.items[item].assign(CutText(texts[item], kMaxErrorItemLength));
  }
  throw EVUZODEEngineError(code);
}

std::string EngineErrorText(uint16_t code) {
  std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
  return TextLocked(code);
}

std::string EngineErrorItem(int item) {
  std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
  return ItemLocked(item);
}

uint16_t LastEngineErrorCode() {
  std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
  return Context().code;
}

uint16_t ErrorCodeOf(const std::exception& error) {
  if (const auto* engine_error = dynamic_cast<const EVUZODEEngineError*>(&error)) {
    return engine_error->EngineCode();
  }
  return VUZODE_OSUNKNOWN;
}

uint16_t ErrorCodeOf(std::exception_ptr error) {
  if (!error) return VUZODE_OSUNKNOWN;
  try {
    std::rethrow_exception(error);
  } catch (const EVUZODEEngineError& engine_error) {
    return engine_error.EngineCode();
  } catch (...) {
    return VUZODE_OSUNKNOWN;
  }
}

std::string_view EngineErrorName(uint16_t code) {
  const TEngineErrorEntry* entry = FindEngineErrorEntry(code);
  return entry == nullptr ? std::string_view() : entry->name;
}
