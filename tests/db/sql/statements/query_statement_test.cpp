// TQueryStatement: scripts of several statements run through a recording runner, the totals of
// time and rows, the refusal to execute without a runner, parameters in text order and their
// binding, and the life of the queries.
#include "db/sql/statements/query_statement.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/storage/data/field_types.h"
#include "query_text.h"

namespace {

// Records what it is asked to do; each executed statement affects as many rows as its kind
// code and takes a quarter of a second.
class TRecordingRunner : public TStatementRunner {
 public:
  void PrepareQuery(TQueryStatement& statement, TDataQuery& query) override {
    (void)statement;
    log += "prepare " + QueryText(query).substr(0, 6) + "; ";
    if (&query == statement.Master()) statement.ResultIsLive = query.LiveAllowed;
  }
  TDataCursor* ExecuteStatement(TQueryStatement& statement, bool returnResult) override {
    TDataQuery& master = *statement.Master();
    log += "execute " + std::string(StatementName(master.Kind)) +
           (returnResult ? "" : " (no result)") + "; ";
    master.RowCount = master.Kind;
    master.ExecutionTime = 0.25;
    return returnResult ? result : nullptr;
  }
  void ReleaseQuery(TDataQuery& query) noexcept override {
    (void)query;
    ++released;
  }
  std::string log;
  int released = 0;
  TDataCursor* result = nullptr;
};

std::string ErrorOf(TQueryStatement& statement, const std::string& text) {
  try {
    statement.Prepare(text);
    statement.Execute();
  } catch (const EVUZODEEngineError& error) {
    return error.ContextDetail();
  }
  return "";
}

TEST(QueryStatement, ExecutingWithoutARunnerIsRefusedButParsingWorks) {
  ASSERT_EQ(InstalledStatementRunner(), nullptr);
  TQueryStatement statement(nullptr);
  statement.Prepare("SELECT a FROM t");
  EXPECT_EQ(statement.Kind(), kStatementSelect);
  try {
    statement.Execute();
    FAIL() << "executed without a runner";
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_NOTINITIALIZED);
    EXPECT_EQ(error.ContextDetail(),
              "SQL statements cannot be executed: no statement runner is installed");
  }
}

TEST(QueryStatement, ScriptRunsEveryStatementAndSumsTimeAndRows) {
  TRecordingRunner runner;
  TQueryStatement statement(nullptr);
  statement.Runner = &runner;
  int marker = 0;
  runner.result = reinterpret_cast<TDataCursor*>(&marker);
  // Rows: INSERT 2; START remembers 2; UPDATE 3 (5); ROLLBACK restores 2; DELETE 4 (6).
  statement.Prepare(
      "INSERT INTO t VALUES (1); START TRANSACTION; UPDATE t SET a = 1; ROLLBACK;"
      "DELETE FROM t;");
  EXPECT_EQ(runner.log, "prepare INSERT; ");
  EXPECT_EQ(statement.Execute(), runner.result);  // the first statement's result
  EXPECT_EQ(statement.RowsAffected(), 6);
  EXPECT_DOUBLE_EQ(statement.ExecutionTime(), 1.25);
  EXPECT_EQ(runner.log,
            "prepare INSERT; execute INSERT; prepare START ; execute START TRANSACTION (no "
            "result); prepare UPDATE; execute UPDATE (no result); prepare ROLLBA; execute "
            "ROLLBACK (no result); prepare DELETE; execute DELETE (no result); ");
  EXPECT_FALSE(statement.HasNextStatement());  // the trailing ";" starts no statement
  EXPECT_EQ(runner.released, 4);               // each statement's query freed before the next
}

TEST(QueryStatement, QueriesArePreparedLastCreatedFirst) {
  TRecordingRunner runner;
  TQueryStatement statement(nullptr);
  statement.Runner = &runner;
  statement.RequestLive = true;
  statement.Prepare("SELECT a FROM t WHERE a IN (SELECT b FROM u) UNION SELECT c FROM v");
  EXPECT_EQ(runner.log, "prepare SELECT; prepare SELECT; prepare SELECT; ");
  ASSERT_EQ(statement.Queries().size(), 3u);
  EXPECT_TRUE(statement.ResultIsLive);
  // The sub-select was met before the UNION member, so it was created second.
  EXPECT_TRUE(statement.Queries()[1]->IsSubQuery);
  EXPECT_TRUE(statement.Queries()[2]->UnionMember);
  EXPECT_EQ(statement.Master()->NextUnion, statement.Queries()[2].get());
}

TEST(QueryStatement, ScriptStopsAtTheFirstBadStatement) {
  TRecordingRunner runner;
  TQueryStatement statement(nullptr);
  statement.Runner = &runner;
  EXPECT_EQ(ErrorOf(statement, "DELETE FROM t; DELETE t"),
            "FROM keyword expected, instead found 't'");
  EXPECT_EQ(runner.log, "prepare DELETE; execute DELETE; ");
  EXPECT_EQ(ErrorOf(statement, "DELETE FROM t WHERE a = 1 DELETE FROM u"),
            "End of DELETE statement expected, instead found 'DELETE'");
}

TEST(QueryStatement, StatementInformationFollowsEachPrepare) {
  struct TInfo {
    std::string seen;
  } info;
  TQueryStatement statement(nullptr);
  statement.Callbacks.StatementInfoData = &info;
  statement.Callbacks.StatementInfo = [](void* data, uint8_t kind, bool star, bool live,
                                         bool cursor) {
    static_cast<TInfo*>(data)->seen +=
        std::to_string(kind) + (star ? "*" : "") + (live ? "L" : "") + (cursor ? "C" : "") + " ";
  };
  statement.Prepare("SELECT * FROM t");
  statement.Prepare("DROP TABLE t");
  EXPECT_EQ(info.seen, "1* 7 ");
  EXPECT_TRUE(statement.Master() != nullptr);
  EXPECT_EQ(statement.Queries().size(), 1u);
}

TEST(QueryStatement, ParametersAreListedInTextOrderAcrossSubSelects) {
  TQueryStatement statement(nullptr);
  statement.Prepare("SELECT a FROM t WHERE b = ? AND c IN (SELECT d FROM u WHERE e = ?) AND f = ?");
  ASSERT_EQ(statement.ParameterCount(), 3u);
  const TExpToken* where = statement.Master()->Where.get();
  // (AND (AND (= b ?1) (IN c SELECT)) (= f ?3))
  EXPECT_EQ(statement.Parameters()[0], where->Left->Left->Right);
  EXPECT_EQ(statement.Parameters()[1], statement.Queries()[1]->Where->Right);
  EXPECT_EQ(statement.Parameters()[2], where->Right->Right);
  statement.Prepare("DELETE FROM t");
  EXPECT_EQ(statement.ParameterCount(), 0u);
}

TEST(QueryStatement, BindParametersCopiesEachValueAndRefusesBadLayouts) {
  TQueryStatement statement(nullptr);
  statement.Prepare("INSERT INTO t VALUES (?, ?, ?, ?)");
  const char memo[] = "long text";
  std::vector<uint8_t> values(64, 0);
  std::vector<FieldDescriptor> descriptors(4);
  descriptors[0].Type = kFieldInteger;  // 42 at offset 0
  descriptors[0].StoredLength = 4;
  descriptors[0].Offset = 0;
  values[0] = 1;
  int32_t answer = 42;
  std::memcpy(&values[1], &answer, 4);
  descriptors[1].Type = kFieldString;  // "ab" in a CHAR(3) at offset 5
  descriptors[1].StoredLength = 4;
  descriptors[1].Offset = 5;
  values[5] = 1;
  std::memcpy(&values[6], "ab", 3);
  descriptors[2].Type = kFieldBcd;  // NULL at offset 10
  descriptors[2].Scale = 2;
  descriptors[2].StoredLength = 34;
  descriptors[2].Offset = 10;
  descriptors[3].Type = kFieldBlob;  // a memo's length and content pointer at offset 45
  descriptors[3].SubType = kSubtypeMemo;
  descriptors[3].Scale = 3;
  descriptors[3].Offset = 45;
  values[45] = 1;
  uint32_t length = 9;
  const char* content = memo;
  std::memcpy(&values[46], &length, 4);
  std::memcpy(&values[50], &content, sizeof content);
  statement.BindParameters(descriptors, values);

  auto parameters = statement.Parameters();
  EXPECT_EQ(parameters[0]->IntegerValue(), 42);
  EXPECT_EQ(parameters[1]->StringValue(), "ab");
  EXPECT_EQ(parameters[1]->ValueSize(), 4);
  EXPECT_TRUE(parameters[2]->IsNull);
  EXPECT_EQ(parameters[2]->Scale, 2);
  EXPECT_EQ(parameters[3]->ValueType, kFieldBlob);
  EXPECT_EQ(parameters[3]->Scale, 0);
  EXPECT_EQ(parameters[3]->ValueSize(), 10);  // the content and its terminating zero
  EXPECT_EQ(parameters[3]->StringValue(), "long text");

  auto refused = [&](std::vector<FieldDescriptor> given, const std::string& message) {
    try {
      statement.BindParameters(given, values);
      ADD_FAILURE() << "accepted: " << message;
    } catch (const EVUZODEEngineError& error) {
      EXPECT_EQ(error.ContextDetail(), message);
    }
  };
  refused({descriptors.begin(), descriptors.begin() + 3},
          "3 parameter values given for 4 parameters");
  std::vector<FieldDescriptor> outside = descriptors;
  outside[2].Offset = 40;  // 1 + 34 bytes from 40 pass the end of the 64
  refused(outside, "The value of parameter 3 lies outside the parameter values");
  std::vector<FieldDescriptor> badType = descriptors;
  badType[0].Type = 99;
  refused(badType, "Invalid data type given for parameter 1");
}

TEST(QueryStatement, AQueryThatHasRunIsNotParsedAgain) {
  TQueryStatement statement(nullptr);
  statement.Prepare("SELECT a FROM t; SELECT b FROM u");
  TDataQuery& master = *statement.Master();
  master.Executed = true;
  master.Parse(false, false, nullptr);  // would read the second statement into it otherwise
  EXPECT_EQ(QueryText(master), "SELECT cols=[a] from=[t]");
  EXPECT_TRUE(statement.HasNextStatement());
}

TEST(QueryStatement, FreedStatementsHandTheirQueriesBackToTheRunner) {
  TRecordingRunner runner;
  {
    TQueryStatement statement(nullptr);
    statement.Runner = &runner;
    statement.Prepare("INSERT INTO t SELECT a FROM u WHERE a IN (SELECT b FROM v)");
    EXPECT_EQ(statement.Queries().size(), 3u);
    // A failed parse keeps the queries made so far until the statement goes.
    EXPECT_EQ(ErrorOf(statement, "SELECT a FROM t WHERE a IN (SELECT b FROM u) x"),
              "End of SELECT statement expected, instead found 'x'");
    EXPECT_EQ(runner.released, 3);
    EXPECT_EQ(statement.Queries().size(), 2u);
  }
  EXPECT_EQ(runner.released, 5);
}

}  // namespace
