// TExpTokenizer: scanning of tokens, their text without delimiters, and the parse errors.
#include "db/sql/expressions/exp_tokenizer.h"

#include "db/engine/errors/engine_error.h"

namespace {

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool IsHighByte(unsigned char c) {
  return c >= 128 && c <= 254;
}
bool StartsSymbol(unsigned char c) {
  return IsLetter(c) || c == '_' || IsHighByte(c);
}
bool ContinuesSymbol(unsigned char c) {
  return StartsSymbol(c) || IsDigit(c) || c == '!' || c == '$' || c == '@';
}
char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

void TExpTokenizer::SetText(std::string_view text) {
  text_.assign(text.data(), text.size());
  pos_ = token_start_ = token_end_ = mark_ = 0;
  kind_ = kTokenEnd;
  token_text_valid_ = false;
}

void TExpTokenizer::SkipBlanksAndComments() {
  for (;;) {
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) >= 1 &&
           static_cast<unsigned char>(text_[pos_]) <= 32)
      ++pos_;
    if (pos_ + 1 < text_.size() && text_[pos_] == '/' && text_[pos_ + 1] == '*') {
      size_t close = text_.find("*/", pos_ + 2);
      if (close == std::string::npos) FailIn("Missing ending comment slash and asterisk");
      pos_ = close + 2;
      continue;
    }
    return;
  }
}

void TExpTokenizer::ScanQuoted(char quote, uint8_t kind, std::string_view message) {
  size_t at = pos_ + 1;
  for (;;) {
    size_t close = text_.find(quote, at);
    if (close == std::string::npos) {
      std::string detail(message);
      detail.append(text_, pos_ + 1);
      detail += "'";
      FailIn(detail);
    }
    if (close + 1 < text_.size() && text_[close + 1] == quote) {
      at = close + 2;  // a doubled quote stands for one
      continue;
    }
    pos_ = close + 1;
    kind_ = kind;
    return;
  }
}

void TExpTokenizer::ScanNumber() {
  // Starts at a digit, or at "." followed by a digit (then it is real from the start).
  kind_ = text_[pos_] == '.' ? kTokenReal : kTokenInteger;
  ++pos_;
  while (pos_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (IsDigit(static_cast<unsigned char>(c)) || c == '.' || c == 'E' || c == 'e') {
      kind_ = kTokenReal;
      ++pos_;
    } else if ((c == '+' || c == '-') && (text_[pos_ - 1] == 'E' || text_[pos_ - 1] == 'e')) {
      kind_ = kTokenReal;
      ++pos_;
    } else {
      break;
    }
  }
}

uint8_t TExpTokenizer::NextToken() {
  token_text_valid_ = false;
  SkipBlanksAndComments();
  token_start_ = pos_;
  if (pos_ >= text_.size()) {
    kind_ = kTokenEnd;
    token_end_ = pos_;
    return kind_;
  }
  unsigned char c = static_cast<unsigned char>(text_[pos_]);
  if (StartsSymbol(c)) {
    ++pos_;
    while (pos_ < text_.size() && ContinuesSymbol(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    kind_ = kTokenSymbol;
  } else if (c == '#') {
    ++pos_;
    while (pos_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    kind_ = kTokenCharacter;
  } else if (c == '\'') {
    ScanQuoted('\'', kTokenSingleQuoted, "Missing single quote after '");
  } else if (c == '"') {
    ScanQuoted('"', kTokenDoubleQuoted, "Missing double quote after '");
  } else if (c == '[') {
    size_t close = text_.find(']', pos_ + 1);
    if (close == std::string::npos) {
      std::string detail = "Missing right bracket after '";
      detail.append(text_, pos_ + 1);
      detail += "'";
      FailIn(detail);
    }
    pos_ = close + 1;
    kind_ = kTokenBracketed;
  } else if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() &&
                            IsDigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
    ScanNumber();
  } else if (c == 0) {
    // Invariant (1): a zero byte would end the text for a zero-terminated reader; refusing it
    // keeps what follows from being ignored.
    FailIn("Invalid character (code 0) found");
  } else {
    ++pos_;
    kind_ = c;
  }
  token_end_ = pos_;
  return kind_;
}

bool TExpTokenizer::IsKeyword(std::string_view word) const {
  if (kind_ != kTokenSymbol || token_end_ - token_start_ != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (AsciiUpper(text_[token_start_ + i]) != AsciiUpper(word[i])) return false;
  return true;
}

const std::string& TExpTokenizer::TokenText() {
  if (token_text_valid_) return token_text_;
  std::string_view raw = RawToken();
  if (kind_ == kTokenBracketed || kind_ == kTokenSingleQuoted || kind_ == kTokenDoubleQuoted)
    raw = raw.substr(1, raw.size() - 2);
  token_text_.clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    bool collapses =
        (c == '\'' && kind_ != kTokenDoubleQuoted) || (c == '"' && kind_ != kTokenSingleQuoted);
    if (collapses && i + 1 < raw.size() && raw[i + 1] == c) ++i;
    token_text_ += c;
  }
  token_text_valid_ = true;
  return token_text_;
}

std::string TExpTokenizer::ConsumedText() const {
  std::string consumed;
  size_t end = token_start_ < text_.size() ? token_start_ : text_.size();
  for (size_t i = mark_; i < end; ++i)
    if (text_[i] != '\r' && text_[i] != '\n') consumed += text_[i];
  while (!consumed.empty() && static_cast<unsigned char>(consumed.back()) <= 32 &&
         consumed.back() != 0)
    consumed.pop_back();
  return consumed;
}

void TExpTokenizer::Fail(std::string_view message) const {
  RaiseEngineError(ErrorCode, {}, {}, ErrorDatabase, ErrorTable, {}, {}, message);
}

void TExpTokenizer::FailFound(std::string_view prefix) {
  std::string message(prefix);
  message += TokenText();
  message += "' in ";
  message += ContextName;
  Fail(message);
}

void TExpTokenizer::FailIn(std::string_view text) const {
  std::string message(text);
  message += " in ";
  message += ContextName;
  Fail(message);
}
