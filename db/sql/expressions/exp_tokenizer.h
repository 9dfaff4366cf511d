// TExpTokenizer: turns expression and SQL text into tokens, and raises the parse errors of the
// text it holds. TExpressionParser builds on it; the statement parser drives the same tokenizer
// for its keywords.
//
// Tokens (kind, one byte):
//   0 end of text; 1 symbol (letter, "_" or byte 128..254, then letters, digits, "_", bytes
//   128..254, "!", "$", "@"); 2 [bracketed name] (no escapes); 3 'single-quoted' and
//   4 "double-quoted" strings ('' and "" stand for one quote); 5 #character constant (# and a
//   run of digits); 6 integer (digits); 7 real (digits, or "." and a digit, continued over
//   digits, ".", "E", "e", and "+" or "-" right after "E" or "e"); any other byte is a
//   one-character token whose kind is its code, so "<>" is two tokens and may hold blanks.
// Bytes 1..32 are white space; "/* ... */" comments may stand between any two tokens; there is
// no line comment.
//
// Invariants:
//   (1) The tokenizer never reads past the end of its private copy of the text; the text may
//       hold any bytes. A zero byte inside the text is refused (an error), never taken as the
//       end, so nothing after it can be silently ignored.
//   (2) After NextToken, TokenStart() <= TokenEnd() <= the text's length, and the current token
//       is text[TokenStart(), TokenEnd()).
//   (3) Every error goes through Fail: the caller's error code, the database and table context
//       texts, and the message cut to 255 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Token kinds.
inline constexpr uint8_t kTokenEnd = 0;
inline constexpr uint8_t kTokenSymbol = 1;
inline constexpr uint8_t kTokenBracketed = 2;
inline constexpr uint8_t kTokenSingleQuoted = 3;
inline constexpr uint8_t kTokenDoubleQuoted = 4;
inline constexpr uint8_t kTokenCharacter = 5;
inline constexpr uint8_t kTokenInteger = 6;
inline constexpr uint8_t kTokenReal = 7;

class TExpTokenizer {
 public:
  TExpTokenizer() = default;
  TExpTokenizer(const TExpTokenizer&) = delete;
  TExpTokenizer& operator=(const TExpTokenizer&) = delete;

  // Error settings: the code raised (VUZODE_SQLPARSE or VUZODE_INVALIDFILTER), the two context
  // texts passed with it, and ContextName, the text every message ends with. Callers set
  // ContextName before parsing a part and restore "SQL statement" after.
  uint16_t ErrorCode = 0;
  std::string ErrorDatabase;
  std::string ErrorTable;
  std::string ContextName = "SQL statement";

  // Copies text, moves to its start and makes the current token the end of text (kind 0) until
  // NextToken is called. Reuses the previous copy's allocation.
  void SetText(std::string_view text);
  std::string_view Text() const { return text_; }

  // Skips white space and comments and scans the next token; returns its kind. Raises for an
  // unterminated comment, quote or bracket and for a zero byte in the text.
  uint8_t NextToken();

  uint8_t TokenKind() const { return kind_; }
  bool TokenIs(uint8_t kind) const { return kind_ == kind; }
  // Kinds 1 to 4: a symbol, a bracketed name or a string.
  bool IsSymbolOrString() const { return kind_ >= kTokenSymbol && kind_ <= kTokenDoubleQuoted; }
  // A symbol equal to word ignoring ASCII letter case. Keywords are ASCII, and comparing them
  // by ASCII rules keeps them independent of the process locale (a dotless i never spells IN).
  bool IsKeyword(std::string_view word) const;
  // The current token without its delimiters: for kind 3 each '' becomes ', for kind 4 each ""
  // becomes ", for every other kind both doubled quotes are collapsed. Empty at the end of text.
  // The reference stays valid until the next NextToken or SetText.
  const std::string& TokenText();
  // The current token exactly as written, delimiters included.
  std::string_view RawToken() const {
    return std::string_view(text_).substr(token_start_, token_end_ - token_start_);
  }
  size_t TokenStart() const { return token_start_; }
  size_t TokenEnd() const { return token_end_; }

  // Marks the start of the current token; ConsumedText then gives the text from the mark to the
  // start of the current token, carriage returns and line feeds removed and trailing white
  // space dropped (so "a + b FROM" names a column "a + b", not "a + b ").
  void MarkStart() { mark_ = token_start_; }
  std::string ConsumedText() const;

  // Raises ErrorCode with message as the detail (cut to 255 bytes) and the context texts.
  [[noreturn]] void Fail(std::string_view message) const;
  // Raises prefix + TokenText() + "' in " + ContextName: the "instead found" form, whose prefix
  // ends in an apostrophe.
  [[noreturn]] void FailFound(std::string_view prefix);
  // Raises text + " in " + ContextName.
  [[noreturn]] void FailIn(std::string_view text) const;

 private:
  void SkipBlanksAndComments();
  void ScanQuoted(char quote, uint8_t kind, std::string_view message);
  void ScanNumber();

  std::string text_;
  size_t pos_ = 0;
  size_t token_start_ = 0;
  size_t token_end_ = 0;
  uint8_t kind_ = kTokenEnd;
  size_t mark_ = 0;
  std::string token_text_;
  bool token_text_valid_ = false;
};
