// Planning conditions: WHERE and ON are type-checked, split over their AND-trees and each
// part is placed where it is checked first:
//   - on the cursor of its one table, as a filter the engine may answer from indexes: the
//     driving table's conditions, and those of any inner table that is not sought by index;
//   - in the Match list of the loop level where its last table is positioned (an inner join's
//     ON parts and WHERE parts alike; every ON part of a LEFT OUTER join, which decides
//     partners and never removes the outer row);
//   - in the After list of that level when it names a table a LEFT OUTER join may leave
//     without partner (a WHERE part, checked on the joined row, NULL partner included).
// An equality between an indexed column of a level's table and a value of earlier tables
// makes the level seek that index for each outer row instead of reading the whole table.
//
// Loop order: FROM and JOIN order; "a RIGHT JOIN b" walks b first as "b LEFT JOIN a" (only
// the first two tables may be so joined); without outer joins and without NOJOINOPTIMIZE, the
// order with the least estimated work (table sizes, seeks) among all orders of up to six
// tables, FROM order on ties.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "db/sql/execution/select_prepare.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/expressions/prepare_filter.h"

namespace {

struct TConjunct {
  const TExpToken* Tree = nullptr;
  uint64_t Mask = 0;  // bit i: source i is named
  bool FromWhere = true;
  int JoinTarget = -1;  // of an ON part: the joined source
  bool HasSubSelect = false;
};

void Scan(const TExpToken* node, TConjunct& conjunct) {
  if (!node) return;
  if (node->NodeClass == kNodeColumn && node->SourceTable)
    conjunct.Mask |= uint64_t{1} << static_cast<TSourceState*>(node->SourceTable)->Number;
  if (node->NodeClass == kNodeSubSelect || node->SubQuery) conjunct.HasSubSelect = true;
  Scan(node->Left, conjunct);
  Scan(node->Right, conjunct);
  for (const TExpToken* arg : node->Args) Scan(arg, conjunct);
}

void Split(const TExpToken* node, std::vector<TConjunct>& out, bool fromWhere, int target) {
  if (!node) return;
  if ((node->NodeClass == kNodeBinary || node->NodeClass == kNodeUnary) && node->OpCode == kOpAnd) {
    Split(node->Left, out, fromWhere, target);
    Split(node->Right, out, fromWhere, target);
    return;
  }
  TConjunct conjunct;
  conjunct.Tree = node;
  conjunct.FromWhere = fromWhere;
  conjunct.JoinTarget = target;
  Scan(node, conjunct);
  out.push_back(conjunct);
}

void CheckCondition(TDataQuery& query, TOwnedExpTree& owned, TSourceResolver& resolver,
                    const char* context) {
  if (!owned) return;
  TTypeCheckOptions options;
  options.ErrorCode = VUZODE_SQLPARSE;
  options.RewriteBooleanColumns = true;
  options.Resolver = &resolver;
  options.ContextName = context;
  options.Pool = &query.Statement.Pool();
  TExpToken* tree = owned.release();
  try {
    CheckTypes(options, nullptr, tree);
    if (tree->ValueType != kFieldBoolean)
      SqlFail("WHERE or JOIN clause must be a boolean expression");
  } catch (...) {
    owned.reset(tree);
    throw;
  }
  owned.reset(tree);
}

}  // namespace

int SeekIndexFor(const TSourceState& source, uint16_t field) {
  TIndexFile& indexes = source.Cursor->Table()->IndexFile();
  const auto& fields = source.Cursor->FieldDescriptors();
  if (field == 0 || field > fields.size() || fields[field - 1].Computed) return -1;
  const bool text = fields[field - 1].Type == kFieldString;
  const int secondary = indexes.Header().SecondaryIndexCount;
  for (int slot = 0; slot <= secondary; ++slot) {
    const IndexDescriptor& index = indexes.Descriptor(slot);
    if (index.FieldCount == 0 || index.FieldNumbers[0] != field) continue;
    if (index.CaseInsensitive) continue;  // "=" compares with case
    if (text && source.Cursor->Table()->IndexFile().Layout(slot).LanguageId != 0) continue;
    if (slot == 0 && source.Cursor->Table()->IndexFile().NoPrimaryIndex()) continue;
    return slot;
  }
  return -1;
}

namespace {

// Whether conjunct is "column of source = value of the sources in earlier"; fills the seek.
bool SeekOf(const TConjunct& conjunct, const TSourceState& source, uint64_t earlier,
            TJoinLevel* level) {
  const TExpToken& node = *conjunct.Tree;
  if (node.NodeClass != kNodeBinary || node.OpCode != kOpEqual || conjunct.HasSubSelect)
    return false;
  for (int side = 0; side < 2; ++side) {
    const TExpToken* column = side == 0 ? node.Left : node.Right;
    const TExpToken* value = side == 0 ? node.Right : node.Left;
    if (!column || !value || column->NodeClass != kNodeColumn || column->SourceTable != &source ||
        column->ValueType != value->ValueType)
      continue;
    TConjunct other;
    Scan(value, other);
    if ((other.Mask & ~earlier) != 0 || other.HasSubSelect) continue;
    const int index = SeekIndexFor(source, column->FieldNo);
    if (index < 0) continue;
    if (level) {
      level->SeekIndex = index;
      level->SeekField = column->FieldNo;
      level->SeekValue = value;
      level->SeekCondition = &node;
    }
    return true;
  }
  return false;
}

double EstimatedWork(const std::vector<int>& order, const std::vector<TConjunct>& conjuncts,
                     const std::vector<double>& sizes, const TQueryPlan& plan) {
  double work = 0, rows = 1;
  uint64_t earlier = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    const int t = order[i];
    const double size = std::max(1.0, sizes[t]);
    bool seek = false, linked = false;
    for (const TConjunct& c : conjuncts) {
      if (!(c.Mask >> t & 1) || (c.Mask & ~(earlier | uint64_t{1} << t)) != 0) continue;
      if (c.Mask != (uint64_t{1} << t)) linked = true;
      if (i > 0 && SeekOf(c, *plan.Sources[t], earlier, nullptr)) seek = true;
    }
    if (i == 0) {
      work += size;
      rows = size;
    } else if (seek) {
      work += rows * std::log2(size + 2);
    } else {
      work += rows * size;
      if (!linked) rows *= size;
    }
    earlier |= uint64_t{1} << t;
  }
  return work;
}

}  // namespace

void PlanConditions(TDataQuery& query, TQueryPlan& plan, TSourceResolver& resolver) {
  CheckCondition(query, query.Where, resolver, "WHERE clause");
  for (TJoinExpression& join : query.Joins)
    CheckCondition(query, join.Condition, resolver, "JOIN clause");
  plan.CursorConditions.clear();
  plan.Levels.clear();
  plan.Residual.clear();
  const size_t n = plan.Sources.size();
  if (n > 64) SqlFail("Too many source tables in one query");

  // Join kinds of the joined tables and the outer ones.
  std::vector<TConjunct> conjuncts;
  Split(query.Where.get(), conjuncts, true, -1);
  std::vector<bool> outer(n, false);
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  bool anyOuter = false;
  for (const TJoinExpression& join : query.Joins) {
    const int target = join.Table->TableNumber - 1;
    if (join.Kind == kJoinRightOuter) {
      if (target != 1)
        SqlFail("Internal join error - table correlation name \"" +
                plan.Sources[0]->Table->CorrelationName +
                "\" cannot be the target of a RIGHT OUTER JOIN");
      std::swap(order[0], order[1]);
      outer[0] = true;
      anyOuter = true;
      Split(join.Condition.get(), conjuncts, false, 0);
      continue;
    }
    if (join.Kind == kJoinLeftOuter) outer[target] = true, anyOuter = true;
    Split(join.Condition.get(), conjuncts, false, target);
  }
  if (!anyOuter && !query.NoJoinOptimize && n > 1 && n <= 6) {
    std::vector<double> sizes(n);
    for (size_t i = 0; i < n; ++i) sizes[i] = plan.Sources[i]->Cursor->RecordCount();
    std::vector<int> candidate = order, best = order;
    double bestWork = EstimatedWork(order, conjuncts, sizes, plan);
    while (std::next_permutation(candidate.begin(), candidate.end())) {
      const double work = EstimatedWork(candidate, conjuncts, sizes, plan);
      if (work < bestWork) bestWork = work, best = candidate;
    }
    order = best;
  }

  std::vector<int> position(n);
  for (size_t i = 0; i < n; ++i) position[order[i]] = static_cast<int>(i);
  for (size_t i = 0; i < n; ++i) {
    TJoinLevel& level = plan.Levels.emplace_back();
    level.Source = plan.Sources[order[i]].get();
    level.Outer = outer[order[i]];
  }
  // A WHERE part naming a table an outer join may leave without partner is checked after it.
  auto nullable = [&](uint64_t mask) {
    for (size_t t = 0; t < n; ++t)
      if ((mask >> t & 1) && outer[t]) return true;
    return false;
  };
  for (const TConjunct& c : conjuncts) {
    int last = -1;
    for (size_t t = 0; t < n; ++t)
      if (c.Mask >> t & 1) last = std::max(last, position[t]);
    if (!c.FromWhere && outer[c.JoinTarget]) {
      plan.Levels[position[c.JoinTarget]].Match.push_back(c.Tree);
      continue;
    }
    if (last < 0) {
      plan.Residual.push_back(c.Tree);
      continue;
    }
    if (c.FromWhere && nullable(c.Mask))
      plan.Levels[last].After.push_back(c.Tree);
    else
      plan.Levels[last].Match.push_back(c.Tree);
  }
  // Seeks, then single-table parts to cursor filters where the table is read whole.
  uint64_t earlier = 0;
  for (size_t i = 0; i < n; ++i) {
    TJoinLevel& level = plan.Levels[i];
    const uint64_t self = uint64_t{1} << level.Source->Number;
    if (i > 0)
      for (const TExpToken* tree : level.Match) {
        TConjunct c;
        c.Tree = tree;
        Scan(tree, c);
        if (SeekOf(c, *level.Source, earlier, &level)) break;
      }
    if (level.SeekIndex >= 0) {
      // The seek checks its equality itself; the records it finds need no second look.
      std::erase(level.Match, level.SeekCondition);
      const IndexDescriptor& index =
          level.Source->Cursor->Table()->IndexFile().Descriptor(level.SeekIndex);
      level.SeekUnique = index.Unique && index.FieldCount == 1;
    }
    if (level.SeekIndex < 0) {
      std::vector<const TExpToken*> kept;
      for (const TExpToken* tree : level.Match) {
        TConjunct c;
        c.Tree = tree;
        Scan(tree, c);
        if (c.Mask == self && !c.HasSubSelect)
          plan.CursorConditions.emplace_back(level.Source, tree);
        else
          kept.push_back(tree);
      }
      level.Match = std::move(kept);
    }
    earlier |= self;
  }
}
