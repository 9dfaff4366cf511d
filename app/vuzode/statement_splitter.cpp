// Statement splitting (see statement_splitter.h).
#include "app/vuzode/statement_splitter.h"

namespace vuzode {
namespace {

// Removes "--" comments outside quotes, brackets and block comments; also tells whether
// anything but blanks and comments remains.
std::string WithoutLineComments(std::string_view text, bool& blank) {
  std::string out;
  blank = true;
  char closing = 0;  // the character that ends the quote, bracket or comment we are in
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (closing == '*') {
      out += c;
      if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') {
        out += '/';
        ++i;
        closing = 0;
      }
      continue;
    }
    if (closing) {
      out += c;
      if (c == closing) closing = 0;  // a doubled quote reopens at once
      continue;
    }
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
      if (i < text.size()) out += '\n';
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      closing = '*';
      out += "/*";
      ++i;
      continue;
    }
    if (c == '\'' || c == '"') closing = c;
    if (c == '[') closing = ']';
    if (static_cast<unsigned char>(c) > ' ') blank = false;
    out += c;
  }
  return out;
}

}  // namespace

TSplitText SplitStatements(std::string_view text) {
  TSplitText split;
  char closing = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (closing == '*') {
      if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') {
        ++i;
        closing = 0;
      }
    } else if (closing == '\n') {
      if (c == '\n') closing = 0;
    } else if (closing) {
      if (c == closing) closing = 0;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      closing = '\n';
      ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      closing = '*';
      ++i;
    } else if (c == '\'' || c == '"') {
      closing = c;
    } else if (c == '[') {
      closing = ']';
    } else if (c == ';') {
      bool blank = true;
      std::string statement = WithoutLineComments(text.substr(start, i - start), blank);
      if (!blank) split.Statements.push_back(std::move(statement));
      start = i + 1;
    }
  }
  split.Rest.assign(text.substr(start));
  return split;
}

std::string StripLineComments(std::string_view text) {
  bool blank = true;
  return WithoutLineComments(text, blank);
}

bool IsBlankSql(std::string_view text) {
  bool blank = true;
  WithoutLineComments(text, blank);
  return blank;
}

}  // namespace vuzode
