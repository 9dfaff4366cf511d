// TExpressionParser: the recursive-descent parser that turns expression text into a tree of
// TExpToken nodes, shared by table filters, field checks and SQL. The statement parser drives
// the inherited tokenizer itself and calls the levels below where an expression may stand.
//
// Grammar, loosest level first (keywords ignore case):
//   Or         = And { OR And }                                   two-operand 11
//   And        = Not { AND Not }                                  two-operand 10
//   Not        = [NOT] Predicate                                  unary 9, one NOT only
//   Predicate  = Additive [ comparison Additive                  = <> < > <= >= (no chains)
//                         | [NOT] BETWEEN Additive AND Additive
//                         | [NOT] LIKE Additive
//                         | [NOT] IN ( Additive {, Additive} ) | [NOT] IN ( SELECT ... )
//                         | IS [NOT] NULL ]
//   Additive   = Multiplicative { (+ | - | "|" "|") Multiplicative }
//   Multiplicative = Unary { (* | /) Unary }
//   Unary      = [+ | -] Primary                                  one sign only
//   Primary    = ( Or ) | function | constant | column | * | ?
// Each level reads the longest expression that starts at the current token and stops before the
// first token that cannot continue it; that token stays current for the caller to judge.
//
// Invariants:
//   (1) A level either returns a complete tree owned by the caller, or raises and leaves
//       nothing behind: every node taken during the failed call goes back to the pool
//       (Guarded below), so an error never leaks nodes.
//   (2) Recursion is bounded: parentheses and function arguments nest at most kMaxNesting
//       levels and no tree is higher than kMaxExpTreeHeight; beyond either the parse fails with
//       a message naming the limit, so hostile text cannot exhaust the stack.
//   (3) Numbers are converted with std::from_chars, independent of the process locale: "."
//       is always the decimal point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"
#include "db/sql/expressions/exp_tokenizer.h"

// ParseFlags.
inline constexpr uint8_t kParseAggregates = 1;  // SUM, COUNT ... allowed
inline constexpr uint8_t kParseAllColumns = 2;  // "*" allowed as an operand
inline constexpr uint8_t kParsePredicates = 4;  // LIKE, BETWEEN, IN, IS NULL allowed
inline constexpr uint8_t kParseParameters = 8;  // "?" allowed
inline constexpr uint8_t kParseSubSelects = 16;
// "*" allowed as the argument of COUNT alone, where kParseAllColumns is not given (HAVING, so
// that "HAVING COUNT(*) > 1" matches a COUNT(*) of the select list).
inline constexpr uint8_t kParseCountStar = 32;

class TExpressionParser;

// What the parser needs from its owner (the statement that holds it). Implemented above this
// layer; a parser without an owner refuses sub-selects and keeps parameters to itself.
class TExpressionOwner {
 public:
  virtual ~TExpressionOwner() = default;
  // A "?" was read; parameters are numbered by their order in the text. The node stays part of
  // the tree; the owner only refers to it.
  virtual void AddParameter(TExpToken* parameter) = 0;
  // The current token is SELECT inside IN ( ... ): parse the sub-select into a new query,
  // store it in node->SubQuery and leave the token after the sub-select current.
  virtual void ParseSubSelect(TExpressionParser& parser, TExpToken* node) = 0;
};

class TExpressionParser : public TExpTokenizer {
 public:
  static constexpr int kMaxNesting = 200;

  explicit TExpressionParser(TExpressionOwner* owner = nullptr,
                             TExpTokenStack& pool = GlobalExpTokenStack());

  TExpTokenStack& Pool() { return pool_; }

  // The levels. Each starts at the current token and leaves the first token it cannot use
  // current; flags are ParseFlags. The returned tree belongs to the caller, who releases it
  // with ReleaseExpTree(Pool(), tree).
  TExpToken* ParseOr(uint8_t flags);
  TExpToken* ParseAnd(uint8_t flags);
  TExpToken* ParseNot(uint8_t flags);
  TExpToken* ParsePredicate(uint8_t flags);
  TExpToken* ParseAdditive(uint8_t flags);
  TExpToken* ParseMultiplicative(uint8_t flags);
  TExpToken* ParseUnary(uint8_t flags);
  TExpToken* ParsePrimary(uint8_t flags);

  // Reads an SQL data type at the current token into node: sets ValueType and SubType and
  // appends the type's arguments to node.Args (after CAST's operand, so they stand at 1 and 2).
  // With optional set, a word that names no type is left current and false returned; otherwise
  // it raises "SQL data type keyword expected". On an error node.Args is as it was.
  bool ParseDataType(TExpToken& node, uint8_t flags, bool optional);

  // A table filter: parses the whole of text with flags kParsePredicates in the context
  // "filter expression" and raises VUZODE_INVALIDFILTER (with ErrorTable as the table) when
  // the text is empty or when anything follows the expression. The caller owns the tree.
  TExpToken* ParseFilter(std::string_view text);

 private:
  // Runs one level: on an exception returns the nodes it took to the pool (invariant (1)).
  template <typename Level>
  TExpToken* Guarded(Level level);

  TExpToken* DoOr(uint8_t flags);
  TExpToken* DoAnd(uint8_t flags);
  TExpToken* DoNot(uint8_t flags);
  TExpToken* DoPredicate(uint8_t flags);
  TExpToken* DoExtendedPredicate(TExpToken* left, uint8_t flags);
  TExpToken* DoAdditive(uint8_t flags);
  TExpToken* DoMultiplicative(uint8_t flags);
  TExpToken* DoUnary(uint8_t flags);
  TExpToken* DoPrimary(uint8_t flags);
  TExpToken* DoSymbol(uint8_t flags);
  TExpToken* DoColumn(std::string name, uint8_t flags);
  // Column and correlation names are short strings: a longer one is refused, not cut.
  void CheckNameLength(std::string_view name);
  TExpToken* DoNumber();
  TExpToken* DoCharacter();
  TExpToken* DoCurrentMoment(int which);
  bool DoDataType(TExpToken& node, uint8_t flags, bool optional);

  // Functions (expression_parser_functions.cpp). Returns null when the symbol is no function.
  TExpToken* DoFunction(uint8_t flags);
  // When present, moves past the current token; otherwise raises the "instead found" message
  // whose prefix is the pieces joined. The pieces are joined only on failure, so a successful
  // parse builds no message text.
  void Expect(bool present, std::initializer_list<std::string_view> prefix);

  // A node of class and op whose text is the current token as written.
  TExpToken* NewNode(uint8_t nodeClass, uint8_t op);
  // A two-operand node; its height is checked (invariant (2)).
  TExpToken* NewBinary(uint8_t op, std::string_view text, TExpToken* left, TExpToken* right);
  // Sets node's height from its children and raises when the tree got too high.
  void CheckHeight(TExpToken* node);

  TExpressionOwner* owner_;
  TExpTokenStack& pool_;
  std::vector<TExpToken*> taken_;  // nodes taken by the levels now running (invariant (1))
  int nesting_ = 0;
};
