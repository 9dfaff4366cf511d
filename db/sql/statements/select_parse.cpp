// SELECT, in its fixed order:
//   SELECT [ALL] [DISTINCT] item {, item} [INTO [MEMORY] [table]] FROM sources
//   [WHERE c] [GROUP BY col {, col}] [HAVING c] [ORDER BY col [ASC|DESC] {, ...} [NOCASE]]
//   [TOP n] [WITH LOCKS] [LANGUAGE 'l' [SORT 's']] [ENCRYPTED WITH 'p'] [NOJOINOPTIMIZE]
//   [")" when it began with "("] {UNION [ALL] select} [ORDER BY ... ] [TOP n]
// A UNION member reads neither its own ORDER BY nor a UNION: the first query of the chain reads
// the members one after the other (no recursion), then the ORDER BY and TOP of the whole union.
#include <cstdint>
#include <limits>
#include <string>

#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"
#include "db/sql/statements/statement_parse.h"

namespace {

// Aggregates stand only at the top of a select-list item and never inside each other. The
// recursion is bounded by the tree's height (the parser keeps it within kMaxExpTreeHeight).
void CheckAggregates(TSqlReader& reader, const TExpToken* node, bool inAggregate, bool atTop) {
  if (!node) return;
  const bool aggregate = AggregateKindOf(*node) != kAggregateNone;
  if (aggregate && inAggregate) reader.Fail("Aggregate functions cannot be nested");
  if (aggregate && !atTop) reader.Fail("Aggregate functions cannot be used within expressions");
  const bool inside = inAggregate || aggregate;
  CheckAggregates(reader, node->Left, inside, false);
  CheckAggregates(reader, node->Right, inside, false);
  CheckAggregates(reader, node->Child, inside, false);
  for (const TExpToken* arg : node->Args) CheckAggregates(reader, arg, inside, false);
}

// A result name from an expression's text: at most 255 bytes, not cut inside a UTF-8
// character.
std::string ShortName(const std::string& text) {
  if (text.size() <= kMaxSqlNameLength) return text;
  size_t end = kMaxSqlNameLength;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// [AS] name [. name] after a select-list item; the empty text when there is none.
std::string ReadResultAlias(TSqlReader& reader) {
  std::string alias;
  if (reader.Accept("AS")) {
    alias = reader.ReadName("Symbol or string expected after AS keyword, instead found '",
                            "Column name");
  } else if (reader.Parser.IsSymbolOrString() && !reader.Is("INTO") && !reader.Is("FROM")) {
    alias = reader.ReadName("", "Column name");
  } else {
    return alias;
  }
  if (reader.AcceptChar('.'))
    alias = reader.ReadName(
        "Symbol or string expected after table correlation name, instead found '", "Column name");
  return alias;
}

void ParseSelectItem(TSqlReader& reader, TDataQuery& query) {
  TExpressionParser& parser = reader.Parser;
  if (reader.AtStatementEnd() || reader.IsChar(',') || reader.Is("FROM") || reader.Is("INTO"))
    reader.Fail("Source column expression is empty");
  reader.CheckCount(query.ResultFields.size(), kMaxListItems, "columns in the select list");
  TResultField& field = query.ResultFields.emplace_back();
  field.Owner = &query;
  parser.MarkStart();
  field.Expression = OwnExpTree(
      reader.Statement.Pool(),
      reader.Expression(TExpLevel::kOr, kParseAggregates | kParseAllColumns | kParsePredicates,
                        "source column expression"));
  std::string text = parser.ConsumedText();
  std::string alias = ReadResultAlias(reader);
  const TExpToken& tree = *field.Expression;
  CheckAggregates(reader, &tree, false, true);

  const uint8_t aggregate = AggregateKindOf(tree);
  if (aggregate == kAggregateAvg) query.HasAvg = true;
  if (tree.NodeClass == kNodeColumn) {
    field.ColumnName = tree.ColumnName;
    field.TableAlias = tree.TableAlias;
    field.ResultName = alias.empty() ? tree.ColumnName : alias;
  } else if (aggregate != kAggregateNone && tree.Args.size() == 1 &&
             tree.Args[0]->NodeClass == kNodeColumn) {
    field.Aggregate = aggregate;
    field.ColumnName = tree.Args[0]->ColumnName;
    field.TableAlias = tree.Args[0]->TableAlias;
    field.ResultName = alias.empty() ? ShortName(text) : alias;
  } else {
    field.IsExpression = true;
    query.HasExpressionColumns = true;
    field.ResultName = alias.empty() ? ShortName(text) : alias;
    field.ExpressionText = std::move(text);
  }
}

// A column name, a correlation name "." column name, or a column number.
void ReadColumnItem(TSqlReader& reader, TGroupByField& field, std::string_view missing) {
  if (reader.Parser.TokenIs(kTokenInteger)) {
    field.ColumnNumber = static_cast<int16_t>(reader.ReadInteger(missing, 1, kMaxColumnNumber));
    return;
  }
  field.ColumnName = reader.ReadName(missing, "Column name");
  if (reader.AcceptChar('.')) {
    field.TableAlias = std::move(field.ColumnName);
    field.ColumnName = reader.ReadName(missing, "Column name");
  }
}

void ParseGroupBy(TSqlReader& reader, TDataQuery& query) {
  reader.Expect("BY", "BY keyword expected after GROUP keyword, instead found '");
  query.HasGroupBy = true;
  do {
    reader.CheckCount(query.GroupBy.size(), kMaxListItems, "items in the GROUP BY clause");
    TGroupByField& field = query.GroupBy.emplace_back();
    field.Owner = &query;
    ReadColumnItem(reader, field,
                   "Column name or column number expected in GROUP BY clause, instead found '");
  } while (reader.AcceptChar(','));
}

// After ORDER.
void ParseOrderBy(TSqlReader& reader, TDataQuery& query) {
  reader.Expect("BY", "BY keyword expected after ORDER keyword, instead found '");
  query.HasOrderBy = true;
  do {
    reader.CheckCount(query.OrderBy.size(), kMaxListItems, "items in the ORDER BY clause");
    TOrderByField& field = query.OrderBy.emplace_back();
    field.Owner = &query;
    ReadColumnItem(reader, field,
                   "Column name or column number expected in ORDER BY clause, instead found '");
    if (reader.Accept("DESC") || reader.Accept("DESCENDING"))
      field.Descending = true;
    else if (!reader.Accept("ASC"))
      reader.Accept("ASCENDING");
  } while (reader.AcceptChar(','));
  if (reader.Accept("NOCASE")) query.OrderByNoCase = true;
}

void ParseTop(TSqlReader& reader, TDataQuery& query) {
  if (reader.Accept("TOP"))
    query.Top = reader.ReadInteger("Integer value expected after TOP keyword, instead found '", 0,
                                   std::numeric_limits<int32_t>::max());
}

// Steps 1 to 10: everything of one SELECT up to the UNION that may follow it.
void ParseSelectBody(TSqlReader& reader, TDataQuery& query, bool parenthesised,
                     std::span<const std::string_view> aliasStops) {
  query.Parenthesised = parenthesised;
  reader.Next();  // SELECT
  reader.Accept("ALL");
  if (reader.Accept("DISTINCT")) query.Distinct = true;
  do ParseSelectItem(reader, query);
  while (reader.AcceptChar(','));
  const TResultField& first = query.ResultFields.front();
  query.SingleStar = query.ResultFields.size() == 1 && first.Expression->NodeClass == kNodeColumn &&
                     first.Expression->Text == "*";

  if (reader.Accept("INTO")) {
    if (query.IsSubQuery || query.UnionMember)
      reader.Fail("The INTO clause can only be used with the master query");
    TTableReference target;
    reader.ReadTableReference(target, "Result table name expected in INTO clause, instead found '",
                              "Result table name expected in INTO clause, instead found '", true);
    query.TargetTable = std::move(target.Name);
    query.Memory = target.Memory;
    query.LiveAllowed = false;
  }
  reader.Expect("FROM", "FROM keyword expected, instead found '");
  ParseFromList(reader, query, aliasStops, false);
  ParseWhere(reader, query);
  if (reader.Accept("GROUP")) ParseGroupBy(reader, query);
  if (reader.Accept("HAVING")) {
    query.HasHaving = true;
    query.Having = OwnExpTree(
        reader.Statement.Pool(),
        reader.Expression(TExpLevel::kOr, kParseAggregates | kParseCountStar, "HAVING clause"));
  }
  if (!query.UnionMember && reader.Accept("ORDER")) ParseOrderBy(reader, query);
  ParseTop(reader, query);
  if (reader.Accept("WITH")) {
    reader.Expect("LOCKS", "LOCKS keyword expected after WITH keyword, instead found '");
    query.WithLocks = true;
  }
  ParseLanguage(reader, query);
  ParseEncryption(reader, query);
  if (reader.Accept("NOJOINOPTIMIZE")) query.NoJoinOptimize = true;
  if (parenthesised)
    reader.ExpectChar(')', "Right parentheses expected after SELECT statement, instead found '");
}

}  // namespace

void ParseSelect(TSqlReader& reader, TDataQuery& query, bool parenthesised,
                 std::span<const std::string_view> aliasStops) {
  ParseSelectBody(reader, query, parenthesised, aliasStops);
  if (query.UnionMember) return;
  TDataQuery* last = &query;
  while (reader.Is("UNION")) {
    if (query.HasOrderBy) reader.Fail("You cannot use an ORDER BY clause within a UNIONed query");
    reader.Next();
    last->UnionFollows = true;
    last->UnionAll = reader.Accept("ALL");
    TDataQuery& member = reader.Statement.NewQuery();
    member.Kind = kStatementSelect;
    member.UnionMember = true;
    member.UnionMaster = &query;
    member.IsSubQuery = query.IsSubQuery;
    member.LiveAllowed = true;
    last->NextUnion = &member;
    const bool memberParenthesised = reader.AcceptChar('(');
    if (!reader.Is("SELECT")) reader.FailFound("SELECT keyword expected, instead found '");
    ParseSelectBody(reader, member, memberParenthesised, aliasStops);
    last = &member;
  }
  if (!query.UnionFollows) return;
  if (reader.Accept("ORDER")) ParseOrderBy(reader, query);
  ParseTop(reader, query);
}

void ParseSelectSource(TSqlReader& reader, TDataQuery& query,
                       std::span<const std::string_view> aliasStops) {
  const bool parenthesised = reader.AcceptChar('(');
  if (!reader.Is("SELECT")) reader.FailFound("SELECT keyword expected, instead found '");
  ParseSelect(reader, query, parenthesised, aliasStops);
}
