// Table file names (see the header).
#include "db/engine/session/table_file_names.h"

#include <cctype>

#include "db/storage/names.h"

std::string TrimmedText(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return std::string(text.substr(first, last - first));
}

bool SameTableName(std::string_view a, std::string_view b) {
  const std::string x = TrimmedText(a);
  const std::string y = TrimmedText(b);
  return SameNameIgnoringCase(x, y);
}

std::string TableFileName(std::string_view tableName, std::string_view extension) {
  std::string name = TrimmedText(tableName);
  if (name.size() >= kDataExtension.size() &&
      SameTableName(std::string_view(name).substr(name.size() - kDataExtension.size()),
                    kDataExtension)) {
    name.resize(name.size() - kDataExtension.size());
  }
  name += extension;
  return name;
}

std::string DirectoryPathOf(std::string_view folder) {
  std::string path = TrimmedText(folder);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

bool HasPath(std::string_view name) {
  return name.find('\\') != std::string_view::npos || name.find('/') != std::string_view::npos;
}
