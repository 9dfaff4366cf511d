// TDataQuery: one parsed statement, or one part of a statement: the master query, a UNION
// member, the SELECT source of INSERT ... SELECT, or the sub-select of IN ( SELECT ... ). The
// parse fields follow; the execution layer adds its own state through ResultCursor, the source
// tables' cursors and the bound fields.
//
// Invariants:
//   (1) A query belongs to its statement's query list and is freed with it; the links between
//       queries (InsertSource, NextUnion, UnionMaster, a sub-select node's SubQuery) are never
//       owning.
//   (2) SourceTables[i]->TableNumber == i + 1; correlation names are unique among them
//       (compared without regard to ASCII case).
//   (3) Every list is at most kMaxListItems long and SourceTables at most kMaxSourceTables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/sql/statements/query_clauses.h"

class TQueryStatement;

class TDataQuery {
 public:
  explicit TDataQuery(TQueryStatement& statement);
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  // Parses one statement from the statement's current token. With subQuery or unionMember set,
  // only a SELECT is read and the end of the statement is not checked (the caller goes on from
  // the token after it); master is the query a UNION member belongs to. A ";" after a master
  // statement is consumed, so the next statement of a script starts at the current token.
  // Does nothing for a query that has run (Executed). Raises VUZODE_SQLPARSE.
  void Parse(bool subQuery, bool unionMember, TDataQuery* master);

  // Adds a source table numbered after the others and returns it. Raises past kMaxSourceTables.
  TSourceTable& AddSourceTable();

  // Makes this query like a new one of the same statement, releasing every tree and clause
  // object but keeping the capacity of the lists, so that a statement prepared again and again
  // reuses its queries instead of allocating them anew.
  void Recycle() noexcept;

  TQueryStatement& Statement;
  bool Executed = false;
  bool IsSubQuery = false;  // IN sub-selects and INSERT ... SELECT sources
  uint8_t Kind = 0;         // kStatementSelect ... kStatementCommit
  bool Parenthesised = false;
  double ExecutionTime = 0;  // seconds
  bool LiveAllowed = false;
  int64_t RowCount = 0;  // rows in the result, or rows affected
  int32_t MaxRowCount = -1;
  bool Distinct = false;
  bool HasAvg = false;
  bool HasExpressionColumns = false;
  bool SeveralTables = false;
  bool NoJoinOptimize = false;
  bool HasWhere = false, HasHaving = false, HasOrderBy = false, HasGroupBy = false;
  bool OrderByNoCase = false;
  std::vector<TOrderByField> OrderBy;
  std::vector<TGroupByField> GroupBy;
  bool Memory = false;  // the target table is an in-memory table
  bool InsertSelect = false;
  TDataQuery* InsertSource = nullptr;
  bool UnionMember = false;
  bool UnionFollows = false;  // a UNION follows this query; NextUnion is the next member
  bool UnionAll = true;       // of the UNION that follows: keep duplicate rows
  TDataQuery* NextUnion = nullptr;
  TDataQuery* UnionMaster = nullptr;  // of a member: the first query of its chain
  std::string TargetTable;  // INTO result table, or the table of CREATE/ALTER/DROP and indexes
  std::string IndexName;    // DROP INDEX
  TDataCursor* ResultCursor = nullptr;
  bool WithLocks = false;
  std::vector<std::unique_ptr<TSourceTable>> SourceTables;  // FROM and JOIN order
  std::vector<TJoinExpression> Joins;
  std::vector<TResultField> ResultFields;
  std::vector<TUpdateField> UpdateFields;
  std::vector<TUpdateValue> UpdateValues;
  std::vector<TCreateField> CreateFields;
  std::vector<TCreateIndex> CreateIndexes;
  bool HasTextIndex = false;
  TCreateIndex TextIndex;
  TOwnedExpTree Where;
  TOwnedExpTree Having;
  bool Encrypted = false;
  std::string Password;  // empty turns encryption off
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  int32_t BlobBlockSize = 512;
  std::string Description;
  int32_t UserMajorVersion = 1;
  int32_t UserMinorVersion = 0;
  int64_t LastAutoIncrement = -1;  // -1: not given
  bool NoAutoInc = false;
  bool NoBackup = false;
  bool Flush = false;
  int32_t CommitInterval = 0;
  bool EncryptedGiven = false, LanguageGiven = false, SortGiven = false;
  bool BlobBlockSizeGiven = false, DescriptionGiven = false;
  bool UserMajorVersionGiven = false, UserMinorVersionGiven = false;
  bool CommitIntervalGiven = false;
  int32_t Top = -1;  // -1: none
  bool IfExists = false;
  bool IfNotExists = false;
  std::vector<std::string> StopWords;
  bool StopWordsGiven = false;
  TCharacterSet SpaceChars{};
  TCharacterSet IncludeChars{};
  bool SingleStar = false;  // the select list is exactly one "*"
};
