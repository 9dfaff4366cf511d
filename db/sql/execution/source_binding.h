// Binding names to the source tables of a query and reading their values while it runs.
//   TSourceResolver: column names of WHERE, ON and the select list to source fields. With a
//     correlation name, the table of that name (ASCII case ignored); without one, the first
//     table in FROM and JOIN order that has the field (a name several tables have is no
//     error, the first wins). The node's SourceTable is the TSourceState.
//   TResultResolver: names of HAVING to the query's result columns (FieldNo = result column).
//   TJoinEnvironment: reads a bound column from its table's current record; a table an outer
//     join left without partner reads as NULL. IN sub-selects look values up in the
//     sub-query's value set.
#pragma once

#include <functional>
#include <string>

#include "db/sql/execution/query_plan.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/type_check.h"

// The plan of another query of the same statement (sub-queries, UNION members).
using TPlanLookup = std::function<TQueryPlan*(const TDataQuery*)>;

class TSourceResolver : public TColumnResolver {
 public:
  TSourceResolver(TQueryPlan& plan, TPlanLookup lookup) : plan_(plan), lookup_(std::move(lookup)) {}
  bool ResolveColumn(TExpToken& node) override;
  int BindSubSelect(TExpToken& node) override;
  // The source whose correlation name is alias, or null.
  TSourceState* SourceNamed(const std::string& alias) const;

 private:
  TQueryPlan& plan_;
  TPlanLookup lookup_;
};

class TResultResolver : public TColumnResolver {
 public:
  explicit TResultResolver(TQueryPlan& plan) : plan_(plan) {}
  bool ResolveColumn(TExpToken& node) override;

 private:
  TQueryPlan& plan_;
};

class TJoinEnvironment : public TEvalEnvironment {
 public:
  explicit TJoinEnvironment(TPlanLookup lookup) : lookup_(std::move(lookup)) {}
  void FetchColumn(const uint8_t* record, const TExpToken& column, TExpToken& value) override;
  bool SubSelectHolds(const TExpToken& subSelect, const TExpToken& value) override;

 private:
  TPlanLookup lookup_;
};

// The lookup key of a value node, and of field in a result record: NULL, a number (every
// numeric, boolean, date and time type alike) or a text, so that IN finds a value whatever
// the numeric types of the two sides.
std::string ValueKeyOf(const TExpToken& value);
std::string FieldKeyOf(const FieldDescriptor& field, const uint8_t* record);
// Whether two names are equal without regard to ASCII case.
bool SameSqlName(std::string_view a, std::string_view b);
// Gives node the type data of field (as a column node of it).
void TypeNodeAsField(TExpToken& node, const FieldDescriptor& field);
