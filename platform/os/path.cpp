// Case-insensitive file names on a case-sensitive file system; see path.h.
#include "platform/os/path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/os/os_error.h"

namespace platform {
namespace {

// The lower-case partner of code point c in the ranges that have case; c itself elsewhere. Every
// pair has the same UTF-8 length, so folding never moves bytes.
char32_t FoldCodePoint(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;     // Latin-1 letters
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek capitals
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic А..Я
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;                // Cyrillic Ѐ..Џ
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;              // full-width Ａ..Ｚ
  return c;
}

// Decodes one well-formed UTF-8 sequence of at most 3 bytes at text[pos] (the folded ranges all
// lie below U+10000). Returns its length, or 0 when the bytes there are not such a sequence.
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& c) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[pos + i]); };
  const size_t left = text.size() - pos;
  if (byte(0) < 0x80) {
    c = byte(0);
    return 1;
  }
  if ((byte(0) & 0xE0) == 0xC0 && left >= 2 && (byte(1) & 0xC0) == 0x80) {
    c = (char32_t(byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    return c >= 0x80 ? 2 : 0;
  }
  if ((byte(0) & 0xF0) == 0xE0 && left >= 3 && (byte(1) & 0xC0) == 0x80 &&
      (byte(2) & 0xC0) == 0x80) {
    c = (char32_t(byte(0) & 0x0F) << 12) | (char32_t(byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    return c >= 0x800 ? 3 : 0;
  }
  return 0;
}

void EncodeUtf8(char32_t c, size_t length, std::string& out) {
  if (length == 1) {
    out += static_cast<char>(c);
  } else if (length == 2) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// The entry of directory dir ("" for the current one) that matches component case-insensitively;
// the empty text when none does.
std::string FindSpelling(const std::string& dir, const std::string& component) {
  DIR* stream = opendir(dir.empty() ? "." : dir.c_str());
  if (stream == nullptr) return {};
  const std::string wanted = FoldFileNameCase(component);
  std::string best;
  while (const dirent* entry = readdir(stream)) {
    const std::string_view entry_name = entry->d_name;
    if (entry_name == "." || entry_name == "..") continue;
    if (FoldFileNameCase(entry_name) != wanted) continue;
    if (entry_name == component) {
      best = component;
      break;
    }
    if (best.empty() || entry_name < best) best = entry_name;
  }
  closedir(stream);
  return best;
}

}  // namespace

std::string NormalizeFileName(std::string_view name) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  std::string result(name);
  for (char& c : result) {
    if (c == '\\') c = '/';
  }
  return result;
}

std::string FoldFileNameCase(std::string_view name) {
  std::string result;
  result.reserve(name.size());
  size_t pos = 0;
  while (pos < name.size()) {
    char32_t c = 0;
    const size_t length = DecodeUtf8(name, pos, c);
    if (length == 0) {
      result += name[pos++];
      continue;
    }
    EncodeUtf8(FoldCodePoint(c), length, result);
    pos += length;
  }
  return result;
}

bool SameFileName(std::string_view a, std::string_view b) {
  return FoldFileNameCase(NormalizeFileName(a)) == FoldFileNameCase(NormalizeFileName(b));
}

std::string ResolveFileName(std::string_view name) {
  TOsErrorKeeper keep;
  const std::string normalized = NormalizeFileName(name);
  if (normalized.empty() || Exists(normalized)) return normalized;

  std::vector<std::string> components;
  size_t start = 0;
  while (start <= normalized.size()) {
    size_t end = normalized.find('/', start);
    if (end == std::string::npos) end = normalized.size();
    if (end > start) components.emplace_back(normalized, start, end - start);
    start = end + 1;
  }
  std::string resolved = normalized.front() == '/' ? "/" : "";
  bool searching = true;
  for (const std::string& component : components) {
    std::string dir = resolved;
    if (!resolved.empty() && resolved.back() != '/') resolved += '/';
    if (searching && component != "." && component != ".." && !Exists(resolved + component)) {
      if (!dir.empty() && dir != "/" && dir.back() == '/') dir.pop_back();
      const std::string spelling = FindSpelling(dir, component);
      if (!spelling.empty()) {
        resolved += spelling;
        continue;
      }
      // Nothing below a missing directory can exist; keep the rest as given.
      searching = false;
    }
    resolved += component;
  }
  return resolved;
}

std::string FileDirectory(std::string_view name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(name.substr(0, slash));
}

std::string FileBaseName(std::string_view name) {
  const size_t slash = name.rfind('/');
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

std::string IncludeTrailingSeparator(std::string_view dir) {
  std::string result(dir);
  if (!result.empty() && result.back() != '/' && result.back() != '\\') result += '/';
  return result;
}

}  // namespace platform
