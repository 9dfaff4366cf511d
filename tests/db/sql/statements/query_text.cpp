// QueryText: see query_text.h.
#include "query_text.h"

#include "db/sql/expressions/exp_tree_text.h"
#include "db/sql/statements/sql_keywords.h"

namespace {

constexpr const char* kAggregates[] = {"", "SUM", "RUNSUM", "MIN", "MAX", "AVG", "COUNT"};
constexpr const char* kJoins[] = {"", "INNER", "LEFT", "RIGHT"};
constexpr const char* kCases[] = {"", "LOWER", "UPPER"};
constexpr const char* kCompressions[] = {"", "DUPBYTE", "TRAILBYTE", "FULL"};

void Flag(std::string& out, bool set, const char* name) {
  if (set) out += std::string(" ") + name;
}

void Item(std::string& out, const char* name, const std::string& value) {
  if (!value.empty()) out += std::string(" ") + name + "=" + value;
}

std::string Column(const std::string& alias, const std::string& column) {
  return alias.empty() ? column : alias + "." + column;
}

std::string GroupItem(const TGroupByField& field) {
  if (field.ColumnNumber) return std::to_string(field.ColumnNumber);
  return Column(field.TableAlias, field.ColumnName);
}

std::string Index(const TCreateIndex& index) {
  std::string out = index.PrimaryKey ? "KEY" : index.IndexName;
  Flag(out, index.Add, "ADD");
  Flag(out, index.Redefine, "REDEFINE");
  Flag(out, index.Drop, "DROP");
  Flag(out, index.Unique, "UNIQUE");
  Flag(out, index.Descending, "DESC");
  Flag(out, index.NoCase, "NOCASE");
  Item(out, "compress", kCompressions[index.Compression]);
  if (!index.Columns.empty()) {
    out += " (";
    for (size_t i = 0; i < index.Columns.size(); ++i)
      out += (i ? ", " : "") + ExpTreeText(index.Columns[i].get());
    out += ")";
  }
  return out;
}

std::string Field(const TCreateField& field) {
  std::string out = field.ColumnName;
  Flag(out, field.Add, "ADD");
  Flag(out, field.Redefine, "REDEFINE");
  Flag(out, field.Drop, "DROP");
  Item(out, "new", field.NewColumnName);
  if (field.DataType) {
    out += " type=" + std::to_string(field.DataType);
    if (field.SubType) out += "/" + std::to_string(field.SubType);
    const auto& args = field.Column->Args;
    for (size_t i = 0; i < args.size(); ++i) out += (i ? "," : "(") + ExpTreeText(args[i]);
    if (!args.empty()) out += ")";
  }
  if (field.AtPosition) out += " at=" + std::to_string(field.AtPosition);
  if (field.DescriptionGiven) out += " desc='" + field.Description + "'";
  Flag(out, field.NotNull, "NOTNULL");
  if (field.DefaultGiven) out += " default=" + field.DefaultValue;
  if (field.MinGiven) out += " min=" + field.MinValue;
  if (field.MaxGiven) out += " max=" + field.MaxValue;
  if (field.CharCaseGiven)
    out += std::string(" case=") + (field.CharCase ? kCases[field.CharCase] : "NOCHANGE");
  return out;
}

template <typename T, typename F>
std::string List(const std::vector<T>& items, F item) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + item(items[i]);
  return out + "]";
}

std::string Characters(const TCharacterSet& set) {
  std::string out;
  for (int c = 0; c < 256; ++c)
    if (InCharacterSet(set, static_cast<unsigned char>(c))) out += static_cast<char>(c);
  return out;
}

}  // namespace

std::string QueryText(const TDataQuery& q) {
  std::string out(StatementName(q.Kind));
  Flag(out, q.IsSubQuery, "SUB");
  Flag(out, q.UnionMember, "MEMBER");
  Flag(out, q.Parenthesised, "PAREN");
  Flag(out, q.Distinct, "DISTINCT");
  Flag(out, q.SingleStar, "STAR");
  Flag(out, q.HasAvg, "AVG");
  Flag(out, q.HasExpressionColumns, "EXPR");
  Flag(out, q.SeveralTables, "SEVERAL");
  Flag(out, q.Memory, "MEMORY");
  Flag(out, q.Kind == kStatementSelect && q.LiveAllowed, "LIVE");
  Flag(out, q.IfExists, "IFEXISTS");
  Flag(out, q.IfNotExists, "IFNOTEXISTS");
  if (q.Kind == kStatementSelect)
    out += " cols=" + List(q.ResultFields, [](const TResultField& f) {
             std::string body =
                 f.IsExpression ? "{" + f.ExpressionText + "}" : Column(f.TableAlias, f.ColumnName);
             if (f.Aggregate) body = std::string(kAggregates[f.Aggregate]) + ":" + body;
             if (f.ResultName != f.ColumnName || f.IsExpression) body += "=" + f.ResultName;
             return body;
           });
  Item(out, "target", q.TargetTable);
  Item(out, "index", q.IndexName);
  if (!q.SourceTables.empty())
    out += " from=" + List(q.SourceTables, [](const std::unique_ptr<TSourceTable>& t) {
             std::string s =
                 (t->InMemory ? "MEMORY " : "") +
                 (t->DatabaseName.empty() || t->InMemory ? "" : t->DatabaseName + "\\") +
                 t->TableName;
             if (t->CorrelationName != t->TableName) s += " AS " + t->CorrelationName;
             return s;
           });
  if (!q.Joins.empty())
    out += " joins=" + List(q.Joins, [](const TJoinExpression& j) {
             return std::string(kJoins[j.Kind]) + " " + j.Table->CorrelationName + " ON " +
                    ExpTreeText(j.Condition.get());
           });
  if (q.HasWhere) out += " where=" + ExpTreeText(q.Where.get());
  if (q.HasGroupBy) out += " group=" + List(q.GroupBy, GroupItem);
  if (q.HasHaving) out += " having=" + ExpTreeText(q.Having.get());
  if (q.HasOrderBy)
    out += " order=" + List(q.OrderBy, [](const TOrderByField& f) {
             return GroupItem(f) + (f.Descending ? " DESC" : "");
           });
  Flag(out, q.OrderByNoCase, "ORDERNOCASE");
  if (q.Top >= 0) out += " top=" + std::to_string(q.Top);
  Flag(out, q.WithLocks, "LOCKS");
  if (q.LanguageGiven) out += " language=" + std::to_string(q.LanguageId);
  if (q.SortGiven) out += " sort=" + std::to_string(q.SortId);
  if (q.EncryptedGiven) out += " password='" + q.Password + "'";
  Flag(out, q.NoJoinOptimize, "NOJOINOPTIMIZE");
  if (q.UnionFollows) out += q.UnionAll ? " UNION ALL" : " UNION";
  if (!q.UpdateFields.empty())
    out += " columns=" + List(q.UpdateFields, [](const TUpdateField& f) {
             return f.AllColumns ? std::string("*") : ExpTreeText(f.Column.get());
           });
  if (!q.UpdateValues.empty())
    out += " values=" +
           List(q.UpdateValues, [](const TUpdateValue& v) { return ExpTreeText(v.Value.get()); });
  Flag(out, q.InsertSelect, "INSERTSELECT");
  Flag(out, q.NoAutoInc, "NOAUTOINC");
  if (q.CommitIntervalGiven) out += " interval=" + std::to_string(q.CommitInterval);
  Flag(out, q.Flush, "FLUSH");
  if (!q.CreateFields.empty()) out += " fields=" + List(q.CreateFields, Field);
  if (!q.CreateIndexes.empty()) out += " indexes=" + List(q.CreateIndexes, Index);
  if (q.HasTextIndex) out += " text=" + Index(q.TextIndex);
  if (q.StopWordsGiven) out += " stop=" + List(q.StopWords, [](const std::string& w) { return w; });
  Item(out, "space", Characters(q.SpaceChars));
  Item(out, "include", Characters(q.IncludeChars));
  if (q.DescriptionGiven) out += " desc='" + q.Description + "'";
  if (q.BlobBlockSizeGiven) out += " blob=" + std::to_string(q.BlobBlockSize);
  if (q.UserMajorVersionGiven) out += " major=" + std::to_string(q.UserMajorVersion);
  if (q.UserMinorVersionGiven) out += " minor=" + std::to_string(q.UserMinorVersion);
  if (q.LastAutoIncrement != -1) out += " last=" + std::to_string(q.LastAutoIncrement);
  Flag(out, q.NoBackup, "NOBACKUP");
  return out;
}

std::string StatementText(const TQueryStatement& statement) {
  std::string out;
  for (const auto& query : statement.Queries()) {
    if (!out.empty()) out += " | ";
    out += QueryText(*query);
  }
  return out;
}
